// The strict Scilab reader of the tests.
#include "scilab_reader.h"

#include "scilab_format.h"

#include <cstring>
#include <stdexcept>

#include "fiff_builder.h"

namespace {

class TCursor {
 public:
  explicit TCursor(const std::vector<uint8_t>& Data) : FData(Data) {}
  size_t Pos() const { return FPos; }
  bool AtEnd() const { return FPos == FData.size(); }
  void Need(size_t N, const char* What) const {
    if (FData.size() - FPos < N)
      Fail(std::string("truncated ") + What + ": need " + std::to_string(N) + " bytes, " +
           std::to_string(FData.size() - FPos) + " left");
  }
  int32_t Long(const char* What) {
    Need(4, What);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{FData[FPos + i]} << (8 * i);
    FPos += 4;
    return static_cast<int32_t>(v);
  }
  void Expect(int32_t Value, const char* What) {
    const size_t at = FPos;
    const int32_t got = Long(What);
    if (got != Value)
      Fail(std::string(What) + " at offset " + std::to_string(at) + " is " + std::to_string(got) + ", expected " +
           std::to_string(Value));
  }
  const uint8_t* Take(size_t N, const char* What) {
    Need(N, What);
    const uint8_t* p = FData.data() + FPos;
    FPos += N;
    return p;
  }
  [[noreturn]] void Fail(const std::string& Message) const {
    throw std::runtime_error("Scilab file, offset " + std::to_string(FPos) + ": " + Message);
  }

 private:
  const std::vector<uint8_t>& FData;
  size_t FPos = 0;
};

char CodeToChar(int Code) {
  if (Code >= 0 && Code <= 9) return static_cast<char>('0' + Code);
  if (Code >= 10 && Code <= 35) return static_cast<char>('a' + Code - 10);
  if (Code <= -10 && Code >= -35) return static_cast<char>('A' - Code - 10);
  if (Code == 36) return '_';
  return 0;
}

size_t CheckedCount(TCursor& C, int64_t Rows, int64_t Cols, int64_t Unit) {
  if (Rows < 0 || Cols < 0) C.Fail("negative dimensions " + std::to_string(Rows) + "x" + std::to_string(Cols));
  const int64_t n = Rows * Cols;
  C.Need(static_cast<size_t>(n * Unit), "matrix data");
  return static_cast<size_t>(n);
}

std::vector<double> Doubles(const uint8_t* P, size_t N) {
  std::vector<double> out(N);
  if (N > 0) std::memcpy(out.data(), P, N * 8);  // little-endian, as the host
  return out;
}

}  // namespace

std::string DecodeScilabName(const uint8_t* Area) {
  std::string name;
  for (int w = 0; w < 6; ++w) {
    int32_t word;
    std::memcpy(&word, Area + 4 * w, 4);
    int64_t rest = word;
    for (int k = 0; k < 4; ++k) {
      const int code = static_cast<int>(((rest + 128) & 255) - 128);
      rest = (rest - code) / 256;
      if (code == 40) return name;
      const char c = CodeToChar(code);
      if (c == 0) throw std::runtime_error("name area holds code " + std::to_string(code));
      name += c;
    }
  }
  return name;
}

std::vector<TScilabVar> ParseScilab(const std::vector<uint8_t>& Data) {
  std::vector<TScilabVar> vars;
  TCursor c(Data);
  while (!c.AtEnd()) {
    TScilabVar v;
    v.Offset = static_cast<int64_t>(c.Pos());
    const uint8_t* area = c.Take(24, "name area");
    std::memcpy(v.NameBytes.data(), area, 24);
    v.Name = DecodeScilabName(area);
    const int32_t type = c.Long("type");
    if (type == scilab::kTypeRealMatrix) {
      v.Type = TScilabVar::RealMatrix;
      v.Rows = c.Long("rows");
      v.Cols = c.Long("columns");
      c.Expect(0, "complex flag");
      const size_t n = CheckedCount(c, v.Rows, v.Cols, 8);
      v.Reals = Doubles(c.Take(n * 8, "doubles"), n);
    } else if (type == scilab::kTypeIntegerMatrix) {
      v.Type = TScilabVar::Int16Matrix;
      v.Rows = c.Long("rows");
      v.Cols = c.Long("columns");
      c.Expect(scilab::kInt16, "integer kind");
      const size_t n = CheckedCount(c, v.Rows, v.Cols, 2);
      v.Shorts.resize(n);
      const uint8_t* p = c.Take(n * 2, "int16 data");
      if (n > 0) std::memcpy(v.Shorts.data(), p, n * 2);
    } else if (type == scilab::kTypeMlist) {
      c.Expect(3, "field count");
      c.Expect(1, "field 1 offset");
      c.Expect(12, "field 2 offset");
      c.Expect(16, "field 3 offset");
      const int32_t end = c.Long("end offset");
      for (int k = 6; k < 6 + scilab::kHypermatFieldWords; ++k)
        c.Expect(scilab::kHypermatTemplate[k], "hypermatrix field header");
      for (int32_t& d : v.Dims) d = c.Long("dimension");
      const int32_t entryType = c.Long("entries type");
      const int32_t d = c.Long("entry count");
      c.Expect(1, "entries columns");
      const int32_t kind = c.Long("entries kind");
      const int64_t product = int64_t{v.Dims[0]} * v.Dims[1] * v.Dims[2];
      if (v.Dims[0] < 0 || v.Dims[1] < 0 || v.Dims[2] < 0 || product != d)
        c.Fail("entry count " + std::to_string(d) + " is not the product of the dimensions");
      if (entryType == scilab::kTypeIntegerMatrix && kind == scilab::kUInt8) {
        v.Type = TScilabVar::UInt8Hypermat;
        if (end != d / 8 + scilab::kHypermatByteEndBase) c.Fail("byte hypermatrix end offset " + std::to_string(end));
        const uint8_t* p = c.Take(static_cast<size_t>(d), "hypermatrix bytes");
        v.Bytes.assign(p, p + d);
      } else if (entryType == scilab::kTypeRealMatrix && kind == scilab::kReal) {
        v.Type = TScilabVar::RealHypermat;
        if (end != d + scilab::kHypermatDoubleEndBase) c.Fail("double hypermatrix end offset " + std::to_string(end));
        v.Reals = Doubles(c.Take(static_cast<size_t>(d) * 8, "hypermatrix doubles"), static_cast<size_t>(d));
      } else {
        c.Fail("unknown hypermatrix entries " + std::to_string(entryType) + "/" + std::to_string(kind));
      }
    } else {
      c.Fail("unknown variable type " + std::to_string(type));
    }
    vars.push_back(std::move(v));
  }
  return vars;
}

std::vector<TScilabVar> ReadScilabFile(const std::string& Path) {
  try {
    return ParseScilab(ReadFileBytes(Path));
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(Path + ": " + e.what());
  }
}

std::vector<const TScilabVar*> FindAll(const std::vector<TScilabVar>& Vars, const std::string& Name) {
  std::vector<const TScilabVar*> out;
  for (const TScilabVar& v : Vars)
    if (v.Name == Name) out.push_back(&v);
  return out;
}

const TScilabVar& FindOne(const std::vector<TScilabVar>& Vars, const std::string& Name) {
  const auto all = FindAll(Vars, Name);
  if (all.size() != 1)
    throw std::runtime_error("expected one variable " + Name + ", found " + std::to_string(all.size()));
  return *all[0];
}

std::vector<std::string> Names(const std::vector<TScilabVar>& Vars) {
  std::vector<std::string> out;
  for (const TScilabVar& v : Vars) out.push_back(v.Name);
  return out;
}
