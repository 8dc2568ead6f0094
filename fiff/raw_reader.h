// Reading raw data: the samples of a recording's data buffers in order, skips as zeros, into a staging buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "measurement.h"
#include "sample_reader.h"

// The values raw_data holds: the 16-bit integers as stored (little-endian), or every stored value
// (16-bit, 32-bit, float, double) exactly as a double.
enum class TRawValues { Int16, Double };

// Where the values go: a buffer that Flush writes out (its first Bytes) when it is full and at the
// end, so that many small buffers cost as few writes as a few large ones.
struct TRawStaging {
  uint8_t* Data = nullptr;
  int64_t Capacity = 0;
  std::function<void(int64_t Bytes)> Flush;
};

// Reads buffers of one recording, part after part, each part's file checked for changes after
// every few MiB of its data and when it is left.
class TRawReader {
 public:
  TRawReader(const TMeasurement& Measurement, TRawValues Values, TRawStaging Staging);

  // Stages the buffers [First, End) of the measurement's, each after the zeros of its skip, and
  // hands everything staged to Flush; After is told each buffer and its columns once staged.
  void Read(int32_t First, int32_t End, const std::function<void(const TRawBuffer&, int64_t Columns)>& After);

 private:
  void Zeros(int64_t Values);
  void Samples(const TRawBuffer& Buffer, int64_t Values);
  void Flush();

  const TMeasurement& FMeasurement;
  const TRawValues FValues;
  const TRawStaging FStaging;
  const int64_t FValueSize;               // in the staging buffer
  const int64_t FRoom;                    // whole values that fit in it
  int64_t FStaged = 0;                    // values staged
  std::optional<TSampleReader> FSamples;  // of the part being read
  std::vector<uint8_t> FBlock;            // stored values being made doubles
};

// The seconds of samples each part holds, with its skips.
std::vector<double> PartSeconds(const TMeasurement& Measurement);
