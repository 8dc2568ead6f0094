// Builds FIFF files for tests: tags of any kind, type and size, stray bytes and truncation.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "fiff_kinds.h"

using TBytes = std::vector<uint8_t>;

// Big-endian encodings, as FIFF stores its numbers.
TBytes BE32(int32_t Value);
TBytes BE16(int16_t Value);
TBytes BEFloat(float Value);
TBytes BEInts(const std::vector<int32_t>& Values);
TBytes BEFloats(const std::vector<float>& Values);
TBytes BEShorts(const std::vector<int16_t>& Values);
TBytes BEDoubles(const std::vector<double>& Values);
TBytes operator+(TBytes A, const TBytes& B);

// FIFF data types used by the builder's helpers, from the reader's vocabulary.
using fiff::kTypeChInfo, fiff::kTypeCoordTrans, fiff::kTypeDauPack16, fiff::kTypeDigPoint, fiff::kTypeDouble,
    fiff::kTypeFloat, fiff::kTypeId, fiff::kTypeInt, fiff::kTypeOldPack, fiff::kTypeShort, fiff::kTypeString;

// A channel record, made with designated initializers: TChannel{.Scan = 2, .Kind = 2, .Coil = 1}.
struct TChannel {
  int32_t Scan = 1;
  int32_t Kind = 1;  // 1 MEG, 2 EEG, 3 stimulus
  float Range = 1.0f;
  float Cal = 1.0f;
  int32_t Coil = 3012;
  std::array<float, 12> Loc{};
  int32_t Unit = 112;  // T
  std::string Name;    // "CH" and the scan number when empty
};
// Locations Base, Base + 1, ... Base + 11: different for each channel given its own Base.
std::array<float, 12> Locations(float Base);

class TFiffBuilder {
 public:
  // Starts with the file-identification tag of the given version (1.1 unless told).
  explicit TFiffBuilder(int16_t Major = 1, int16_t Minor = 1);
  // An empty builder, for files that do not start with a signature.
  static TFiffBuilder Empty();

  // A tag whose header declares Data's size.
  TFiffBuilder& Tag(int32_t Kind, int32_t Type, const TBytes& Data, int32_t Next = 0);
  // A tag whose header declares Size whatever the data that follow.
  TFiffBuilder& TagWithSize(int32_t Kind, int32_t Type, int32_t Size, const TBytes& Data);
  TFiffBuilder& Int(int32_t Kind, int32_t Value) { return Tag(Kind, kTypeInt, BE32(Value)); }
  TFiffBuilder& Float(int32_t Kind, float Value) { return Tag(Kind, kTypeFloat, BEFloat(Value)); }
  TFiffBuilder& Text(int32_t Kind, const std::string& Value);
  TFiffBuilder& Channel(const TChannel& Ch);
  TFiffBuilder& DigPoint(int32_t PointKind, int32_t Ident, float X, float Y, float Z);
  TFiffBuilder& Transform(int32_t From, int32_t To, const std::vector<float>& Values24);
  // An epoch of the packed 16-bit form: offset, scale, samples.
  TFiffBuilder& Epoch(float Offset, float Scale, const std::vector<int16_t>& Samples);
  // A raw data buffer of 16-bit samples (sample by sample, channels inside).
  TFiffBuilder& RawBuffer(const std::vector<int16_t>& Samples, int32_t Type = kTypeShort);
  // A projection-vectors matrix tag: the values and the three trailing matrix words.
  TFiffBuilder& Projection(const std::vector<float>& Values);
  // A dense matrix tag: the values as given (big-endian elements of Type), then the dimensions,
  // the slowest first as Dims lists them, stored last first, and their count.
  TFiffBuilder& Matrix(int32_t Kind, int32_t Type, const TBytes& Values, const std::vector<int32_t>& Dims);
  // Opens and closes a block of Kind.
  TFiffBuilder& Begin(int32_t Kind) { return Int(104, Kind); }
  TFiffBuilder& End(int32_t Kind) { return Int(105, Kind); }
  TFiffBuilder& Bytes(const TBytes& Raw);  // stray bytes, no header
  TFiffBuilder& Truncate(size_t Size);

  const TBytes& Data() const { return FData; }
  size_t Size() const { return FData.size(); }
  // Writes the file and returns its path.
  std::string Write(const std::string& Path) const;

 private:
  TBytes FData;
};

// Writes bytes to a file; reads a whole file.
void WriteFileBytes(const std::string& Path, const TBytes& Data);
TBytes ReadFileBytes(const std::string& Path);
