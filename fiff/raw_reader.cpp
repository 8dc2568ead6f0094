// The one reader of raw data buffers: skips as zeros, 16-bit samples swapped in place, wide ones made doubles.
#include "raw_reader.h"

#include <algorithm>
#include <cstring>

namespace {

// A big-endian value of Size bytes of a raw data buffer, exactly as a double.
double ValueAt(const uint8_t* P, int64_t Size, int32_t DataType) {
  uint64_t bits = 0;
  for (int64_t k = 0; k < Size; ++k) bits = (bits << 8) | P[k];
  switch (DataType) {
    case fiff::kTypeInt: return static_cast<int32_t>(static_cast<uint32_t>(bits));
    case fiff::kTypeFloat: {
      float f;
      const auto b32 = static_cast<uint32_t>(bits);
      std::memcpy(&f, &b32, 4);
      return f;
    }
    case fiff::kTypeDouble: {
      double d;
      std::memcpy(&d, &bits, 8);
      return d;
    }
    default: return static_cast<int16_t>(static_cast<uint16_t>(bits));
  }
}

}  // namespace

TRawReader::TRawReader(const TMeasurement& Measurement, TRawValues Values, TRawStaging Staging)
    : FMeasurement(Measurement),
      FValues(Values),
      FStaging(std::move(Staging)),
      FValueSize(Values == TRawValues::Int16 ? 2 : 8),
      FRoom(FStaging.Capacity / FValueSize) {}

void TRawReader::Flush() {
  if (FStaged > 0) FStaging.Flush(FStaged * FValueSize);
  FStaged = 0;
}

void TRawReader::Zeros(int64_t Values) {
  for (int64_t left = Values; left > 0;) {
    if (FStaged == FRoom) Flush();
    const int64_t n = std::min(left, FRoom - FStaged);
    std::memset(FStaging.Data + FStaged * FValueSize, 0, static_cast<size_t>(n * FValueSize));
    FStaged += n;
    left -= n;
  }
}

void TRawReader::Samples(const TRawBuffer& Buffer, int64_t Values) {
  int64_t at = int64_t{Buffer.Pos} + fiff::kTagHeaderSize;
  if (FValues == TRawValues::Int16) {
    // Straight into the staging buffer, swapped there.
    for (int64_t left = Values; left > 0;) {
      if (FStaged == FRoom) Flush();
      const int64_t n = std::min(left, FRoom - FStaged);
      FSamples->ReadSwappedShorts(at, FStaging.Data + 2 * FStaged, n);
      at += 2 * n;
      FStaged += n;
      left -= n;
    }
    return;
  }
  // Read in blocks, then each value exactly as a double.
  const int64_t size = fiff::RawValueSize(Buffer.DataType);
  constexpr int64_t kBlockValues = 1 << 20;
  const size_t need = static_cast<size_t>(std::min<int64_t>(Values, kBlockValues) * size);
  if (FBlock.size() < need) FBlock.resize(need);
  for (int64_t left = Values; left > 0;) {
    const int64_t n = std::min<int64_t>(left, kBlockValues);
    FSamples->Read(at, FBlock.data(), n * size);
    for (int64_t k = 0; k < n; ++k) {
      if (FStaged == FRoom) Flush();
      const double v = ValueAt(FBlock.data() + k * size, size, Buffer.DataType);
      std::memcpy(FStaging.Data + 8 * FStaged, &v, 8);  // little-endian hosts only, as the formats are
      ++FStaged;
    }
    at += n * size;
    left -= n;
  }
}

void TRawReader::Read(int32_t First, int32_t End,
                      const std::function<void(const TRawBuffer&, int64_t Columns)>& After) {
  const int64_t rows = FMeasurement.RawRows();
  // The input is checked for changes after every few MiB of data, not after every buffer.
  constexpr int64_t kCheckEvery = 4 << 20;
  int64_t unchecked = 0;
  int32_t part = -1;
  for (int32_t k = First; k < End; ++k) {
    const TRawBuffer& b = FMeasurement.Buffers()[static_cast<size_t>(k)];
    if (b.Part != part) {
      if (part >= 0) FMeasurement.Part(part).CheckUnchanged();
      part = b.Part;
      FSamples.emplace(FMeasurement.Part(part));
    }
    const int64_t columns = FMeasurement.Columns(b);
    Zeros(b.SkipBuffers * columns * rows);
    Samples(b, columns * rows);
    unchecked += b.Size;
    if (unchecked >= kCheckEvery) {
      FMeasurement.Part(part).CheckUnchanged();
      unchecked = 0;
    }
    After(b, columns);
  }
  Flush();
  if (part >= 0) FMeasurement.Part(part).CheckUnchanged();
}

std::vector<double> PartSeconds(const TMeasurement& Measurement) {
  std::vector<double> seconds(static_cast<size_t>(Measurement.PartCount()), 0.0);
  if (Measurement.RawRows() <= 0) return seconds;
  for (const TRawBuffer& b : Measurement.Buffers())
    seconds[static_cast<size_t>(b.Part)] +=
        static_cast<double>((int64_t{b.SkipBuffers} + 1) * Measurement.Columns(b)) / Measurement.RawFrequency();
  return seconds;
}
