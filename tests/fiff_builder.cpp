// The FIFF builder of the tests.
#include "fiff_builder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

TBytes BE32(int32_t Value) {
  const uint32_t v = static_cast<uint32_t>(Value);
  return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
          static_cast<uint8_t>(v)};
}

TBytes BE16(int16_t Value) {
  const uint16_t v = static_cast<uint16_t>(Value);
  return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

TBytes BEFloat(float Value) {
  int32_t bits;
  std::memcpy(&bits, &Value, 4);
  return BE32(bits);
}

TBytes BEInts(const std::vector<int32_t>& Values) {
  TBytes out;
  for (int32_t v : Values) out = out + BE32(v);
  return out;
}

TBytes BEFloats(const std::vector<float>& Values) {
  TBytes out;
  out.reserve(Values.size() * 4);
  for (float v : Values) {
    const TBytes b = BEFloat(v);
    out.insert(out.end(), b.begin(), b.end());
  }
  return out;
}

TBytes BEDoubles(const std::vector<double>& Values) {
  TBytes out;
  for (const double v : Values) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    out = out + BE32(static_cast<int32_t>(bits >> 32)) + BE32(static_cast<int32_t>(bits));
  }
  return out;
}

TBytes BEShorts(const std::vector<int16_t>& Values) {
  TBytes out;
  out.reserve(Values.size() * 2);
  for (int16_t v : Values) {
    out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
    out.push_back(static_cast<uint8_t>(v));
  }
  return out;
}

TBytes operator+(TBytes A, const TBytes& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

TFiffBuilder::TFiffBuilder(int16_t Major, int16_t Minor) {
  Tag(100, kTypeId, BE16(Major) + BE16(Minor) + TBytes(16, 0));
}

TFiffBuilder TFiffBuilder::Empty() {
  TFiffBuilder b;
  b.FData.clear();
  return b;
}

TFiffBuilder& TFiffBuilder::TagWithSize(int32_t Kind, int32_t Type, int32_t Size, const TBytes& Data) {
  const TBytes header = BE32(Kind) + BE32(Type) + BE32(Size) + BE32(0);
  FData.insert(FData.end(), header.begin(), header.end());
  FData.insert(FData.end(), Data.begin(), Data.end());
  return *this;
}

TFiffBuilder& TFiffBuilder::Tag(int32_t Kind, int32_t Type, const TBytes& Data, int32_t Next) {
  const TBytes header = BE32(Kind) + BE32(Type) + BE32(static_cast<int32_t>(Data.size())) + BE32(Next);
  FData.insert(FData.end(), header.begin(), header.end());
  FData.insert(FData.end(), Data.begin(), Data.end());
  return *this;
}

TFiffBuilder& TFiffBuilder::Text(int32_t Kind, const std::string& Value) {
  return Tag(Kind, kTypeString, TBytes(Value.begin(), Value.end()));
}

std::array<float, 12> Locations(float Base) {
  std::array<float, 12> loc;
  for (int k = 0; k < 12; ++k) loc[k] = Base + k;
  return loc;
}

TFiffBuilder& TFiffBuilder::Channel(const TChannel& Ch) {
  TBytes d = BE32(Ch.Scan) + BE32(Ch.Scan) + BE32(Ch.Kind) + BEFloat(Ch.Range) + BEFloat(Ch.Cal) + BE32(Ch.Coil) +
             BEFloats(std::vector<float>(Ch.Loc.begin(), Ch.Loc.end())) + BE32(Ch.Unit) + BE32(0);
  const std::string name = Ch.Name.empty() ? "CH" + std::to_string(Ch.Scan) : Ch.Name;
  TBytes n(16, 0);
  std::memcpy(n.data(), name.data(), std::min<size_t>(name.size(), 15));
  return Tag(203, kTypeChInfo, d + n);
}

TFiffBuilder& TFiffBuilder::DigPoint(int32_t PointKind, int32_t Ident, float X, float Y, float Z) {
  return Tag(213, kTypeDigPoint, BE32(PointKind) + BE32(Ident) + BEFloats({X, Y, Z}));
}

TFiffBuilder& TFiffBuilder::Transform(int32_t From, int32_t To, const std::vector<float>& Values24) {
  if (Values24.size() != 24) throw std::invalid_argument("a transform has 24 values");
  return Tag(222, kTypeCoordTrans, BE32(From) + BE32(To) + BEFloats(Values24));
}

TFiffBuilder& TFiffBuilder::Epoch(float Offset, float Scale, const std::vector<int16_t>& Samples) {
  return Tag(302, kTypeOldPack, BEFloat(Offset) + BEFloat(Scale) + BEShorts(Samples));
}

TFiffBuilder& TFiffBuilder::RawBuffer(const std::vector<int16_t>& Samples, int32_t Type) {
  return Tag(300, Type, BEShorts(Samples));
}

TFiffBuilder& TFiffBuilder::Projection(const std::vector<float>& Values) {
  const int32_t n = static_cast<int32_t>(Values.size());
  return Tag(3415, 0x40000004, BEFloats(Values) + BE32(n) + BE32(1) + BE32(2));
}

TFiffBuilder& TFiffBuilder::Matrix(int32_t Kind, int32_t Type, const TBytes& Values, const std::vector<int32_t>& Dims) {
  TBytes data = Values;
  for (auto d = Dims.rbegin(); d != Dims.rend(); ++d) data = data + BE32(*d);
  return Tag(Kind, 0x40000000 | Type, data + BE32(static_cast<int32_t>(Dims.size())));
}

TFiffBuilder& TFiffBuilder::Bytes(const TBytes& Raw) {
  FData.insert(FData.end(), Raw.begin(), Raw.end());
  return *this;
}

TFiffBuilder& TFiffBuilder::Truncate(size_t Size) {
  FData.resize(Size);
  return *this;
}

std::string TFiffBuilder::Write(const std::string& Path) const {
  WriteFileBytes(Path, FData);
  return Path;
}

void WriteFileBytes(const std::string& Path, const TBytes& Data) {
  std::ofstream out(Path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
  if (!out) throw std::runtime_error("cannot write test file " + Path);
}

TBytes ReadFileBytes(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary | std::ios::ate);
  if (!in) throw std::runtime_error("cannot read test file " + Path);
  // One read of the whole file: the fuzz harness reads every output, a byte at a time was most of its time.
  TBytes data(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size())))
    throw std::runtime_error("cannot read test file " + Path);
  return data;
}
