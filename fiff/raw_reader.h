// Reading raw data: rows and a span of columns of a recording's data buffers, skips as zeros, into a staging buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "measurement.h"
#include "sample_reader.h"

// The values raw_data holds: the 16-bit integers as stored (little-endian); every stored value
// (16-bit, 32-bit, float, double) exactly as a double; or in physical units, double(stored) x the
// row's factor (range x calibration), as a double or rounded to a float.
enum class TRawValues { Int16, Double, SiDouble, SiSingle };
int64_t RawValueBytes(TRawValues Values);

// Which rows and columns: Rows are raw_data's rows kept, in order (all when empty); Factors their
// factors for values in physical units; the columns [From, To) of the whole recording.
struct TRawSelection {
  std::vector<int32_t> Rows;
  std::vector<double> Factors;
  int64_t From = 0;
  int64_t To = INT64_MAX;
};

// Where the values go: a buffer that Flush writes out (its first Bytes) when it is full and at the
// end, so that many small buffers cost as few writes as a few large ones.
struct TRawStaging {
  uint8_t* Data = nullptr;
  int64_t Capacity = 0;
  std::function<void(int64_t Bytes)> Flush;
};

// Told the stored values of some rows (all rows of the recording may be asked for, kept or not) for
// each run of columns the reader passes: Values holds Columns x Rows.size() doubles, column by
// column; nullptr for the zeros of a skip.
struct TRawObserver {
  std::vector<int32_t> Rows;
  std::function<void(int64_t Column, int64_t Columns, const double* Values)> Take;
};

// Reads buffers of one recording, part after part, each part's file checked for changes after
// every few MiB of its data and when it is left. Only the bytes of the columns asked for are read.
class TRawReader {
 public:
  TRawReader(const TMeasurement& Measurement, TRawValues Values, const TRawSelection& Selection, TRawStaging Staging,
             const TRawObserver* Observer = nullptr);

  // Stages the columns of the buffers [First, End) that the selection spans, each buffer after the
  // zeros of its skip, and hands everything staged to Flush; Column is where the zeros of buffer
  // First begin in the recording. After is told each buffer and the columns of it staged.
  void Read(int32_t First, int32_t End, int64_t Column,
            const std::function<void(const TRawBuffer&, int64_t Columns)>& After);

 private:
  void Zeros(int64_t Values);
  // The columns [From, To) of Buffer.
  void Samples(const TRawBuffer& Buffer, int64_t From, int64_t To);
  // Columns of stored values of Rows each: the rows Keep of them (all without), with their Factors.
  void Convert(const uint8_t* Stored, int32_t DataType, int64_t Columns, int64_t Rows, const std::vector<int32_t>* Keep,
               const double* Factors);
  uint8_t* Room(int64_t& Values);
  void Flush();
  // The observed rows of Columns columns of stored values (Rows of Size bytes each, big-endian, or
  // little-endian 16-bit ones when Swapped) from Column on.
  void Observe(int64_t Column, const uint8_t* Stored, int32_t DataType, bool Swapped, int64_t Columns, int64_t Rows);

  const TMeasurement& FMeasurement;
  const TRawValues FValues;
  const TRawSelection& FSelection;
  const TRawStaging FStaging;
  const int64_t FValueSize;  // in the staging buffer
  const int64_t FRoom;       // whole values that fit in it
  const int64_t FRows;       // kept
  const bool FAllRows;
  int64_t FStaged = 0;                             // values staged
  std::optional<TSampleReader> FSamples;           // of the part being read
  std::vector<uint8_t> FBlock;                     // stored values being converted
  std::vector<std::pair<int32_t, int32_t>> FRuns;  // the rows chosen as runs of neighbours: first, count
  const TRawObserver* FObserver;
  std::vector<double> FObserved;  // the observed rows' values of a run of columns
  int64_t FColumn = 0;            // of the recording, at the buffer being read
};

// The seconds of samples each part holds, with its skips.
std::vector<double> PartSeconds(const TMeasurement& Measurement);
