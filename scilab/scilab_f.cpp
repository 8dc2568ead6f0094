// The Scilab data file writer: name encoding, matrix and hypermatrix headers, checked writes.
#include "scilab_f.h"

#include "checked_size.h"
#include "scilab_format.h"

#include <sys/mman.h>

#include <cstring>
#include <new>
#include <stdexcept>

namespace {

// Zero pages from the system that cost nothing until written: headers touch the first page only.
uint8_t* MapBuffer() {
  void* p = ::mmap(nullptr, TScilab::kBufferSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  return static_cast<uint8_t*>(p);
}

}  // namespace

TScilab::TScilab() : FBuffer(MapBuffer()) {}

void TScilab::TFree::operator()(uint8_t* P) const { ::munmap(P, kBufferSize); }

TScilab::~TScilab() = default;

void TScilab::OpenOutput(const std::string& FileName) { FOut.OpenInPlace(FileName); }

void TScilab::OpenOutputAtomic(const std::string& FileName) { FOut.OpenAtomic(FileName); }

void TScilab::CloseOutput() { FOut.Commit(); }

void TScilab::CloseOutput(TOutputBatch& Batch) {
  FOut.Complete();
  Batch.Add(std::move(FOut));
}

void TScilab::DiscardOutput() { FOut.Discard(); }

void TScilab::CheckRange(int32_t Pos, int32_t Count) const {
  if (Pos < 0 || Count < 0 || Pos > kBufferSize - Count)
    throw std::out_of_range("TScilab: staging position " + std::to_string(Pos) + " + " + std::to_string(Count) +
                            " is outside the buffer");
}

void TScilab::PutLong(int32_t Pos, int32_t Value) {
  CheckRange(Pos, 4);
  const uint32_t v = static_cast<uint32_t>(Value);
  for (int i = 0; i < 4; ++i) FBuffer[Pos + i] = static_cast<uint8_t>(v >> (8 * i));
}

void TScilab::PutShort(int32_t Pos, int16_t Value) {
  CheckRange(Pos, 2);
  const uint16_t v = static_cast<uint16_t>(Value);
  FBuffer[Pos] = static_cast<uint8_t>(v);
  FBuffer[Pos + 1] = static_cast<uint8_t>(v >> 8);
}

void TScilab::PutByte(int32_t Pos, uint8_t Value) {
  CheckRange(Pos, 1);
  FBuffer[Pos] = Value;
}

void TScilab::PutDouble(int32_t Pos, double Value) {
  CheckRange(Pos, 8);
  uint64_t bits;
  std::memcpy(&bits, &Value, sizeof bits);
  for (int i = 0; i < 8; ++i) FBuffer[Pos + i] = static_cast<uint8_t>(bits >> (8 * i));
}

void TScilab::WriteBuffer(int32_t Count) {
  CheckRange(0, Count);
  FOut.Write(FBuffer.get(), Count);
}

void TScilab::Write(const uint8_t* Data, int64_t Count) { FOut.Write(Data, Count); }

void TScilab::EncodeName(const std::string& Name) {
  std::memset(FBuffer.get(), scilab::kNameBlank, scilab::kNameArea + 1);
  // Scilab's own packing of three names differs from what the loop below gives.
  static const struct {
    const char* Name;
    uint8_t Bytes[8];
  } kFixed[] = {
      {"slice2MR", {28, 21, 18, 12, 14, 2, 234, 228}},
      {"HEAD2MRI", {239, 241, 245, 242, 2, 234, 228, 237}},
      {"Volume3D", {225, 23, 21, 30, 22, 14, 3, 243}},
  };
  for (const auto& f : kFixed)
    if (Name == f.Name) {
      std::memcpy(FBuffer.get(), f.Bytes, 8);
      return;
    }

  // A capital's negative code borrows one from the next byte, as Scilab reads the words.
  const size_t len = Name.size() < scilab::kNameArea ? Name.size() : scilab::kNameArea;
  uint8_t borrow = 0;
  for (size_t i = 0; i < len; ++i) {
    const unsigned char c = static_cast<unsigned char>(Name[i]);
    if (c >= '0' && c <= '9') {
      FBuffer[i] = static_cast<uint8_t>(c - '0' - borrow);
      borrow = 0;
    } else if (c >= 'a' && c <= 'z') {
      FBuffer[i] = static_cast<uint8_t>(c - 87 - borrow);
      borrow = 0;
    } else if (c >= 'A' && c <= 'Z') {
      FBuffer[i] = static_cast<uint8_t>(55 - c - borrow);
      borrow = 1;
    } else if (c == '_') {
      FBuffer[i] = static_cast<uint8_t>(36 - borrow);
      borrow = 0;
    }
  }
  if (Name != "MEG2HEAD") FBuffer[len] = static_cast<uint8_t>(scilab::kNameBlank - borrow);
}

void TScilab::WriteMatrixHeader(const std::string& Name, int32_t Type, int32_t Rows, int32_t Cols, int32_t Kind) {
  EncodeName(Name);
  PutLong(scilab::kMatrixType, Type);
  PutLong(scilab::kMatrixRows, Rows);
  PutLong(scilab::kMatrixCols, Cols);
  PutLong(scilab::kMatrixKind, Kind);
  WriteBuffer(scilab::kMatrixHeader);
}

void TScilab::WriteRealMatrixHeader(const std::string& Name, int32_t Rows, int32_t Cols) {
  WriteMatrixHeader(Name, scilab::kTypeRealMatrix, Rows, Cols, scilab::kReal);
}

void TScilab::WriteInt16MatrixHeader(const std::string& Name, int32_t Rows, int32_t Cols) {
  WriteMatrixHeader(Name, scilab::kTypeIntegerMatrix, Rows, Cols, scilab::kInt16);
}

void TScilab::PutHypermatTemplate() {
  std::memset(FBuffer.get(), 0, scilab::kNameArea);
  for (int i = 0; i < 38; ++i) PutLong(scilab::kNameArea + 4 * i, scilab::kHypermatTemplate[i]);
}

void TScilab::WriteHypermatHeader(const std::string& Name, int32_t D1, int32_t D2, int32_t D3, bool Bytes) {
  PutHypermatTemplate();
  // The product and the sum the format stores, in 32 bits.
  const int32_t d = Wrap32(int64_t{Wrap32(int64_t{D1} * D2)} * D3);
  EncodeName(Name);
  PutLong(scilab::kMatrixType, scilab::kTypeMlist);
  PutLong(scilab::kHypermatEndOffset,
          Bytes ? d / 8 + scilab::kHypermatByteEndBase : Wrap32(int64_t{d} + scilab::kHypermatDoubleEndBase));
  PutLong(scilab::kHypermatDims, D1);
  PutLong(scilab::kHypermatDims + 4, D2);
  PutLong(scilab::kHypermatDims + 8, D3);
  PutLong(scilab::kHypermatEntryType, Bytes ? scilab::kTypeIntegerMatrix : scilab::kTypeRealMatrix);
  PutLong(scilab::kHypermatEntryRows, d);
  PutLong(scilab::kHypermatEntryKind, Bytes ? scilab::kUInt8 : scilab::kReal);
  WriteBuffer(scilab::kHypermatHeader);
}

void TScilab::WriteUInt8HypermatHeader(const std::string& Name, int32_t D1, int32_t D2, int32_t D3) {
  WriteHypermatHeader(Name, D1, D2, D3, true);
}

void TScilab::WriteRealHypermatHeader(const std::string& Name, int32_t D1, int32_t D2, int32_t D3) {
  WriteHypermatHeader(Name, D1, D2, D3, false);
}
