// Averaged responses in the packed 16-bit form, grouped into the averages the conversion writes.
#pragma once

#include <cstdint>
#include <vector>

#include "fiff_f.h"

namespace fiff {

// One average: the epochs (one per channel, packed 16-bit: offset, scale, samples) that follow a
// channel count, up to that count or until a new count, the goodness-of-fit limit or the end
// of the directory ends it. Its rows are its first epoch's samples; missing epochs and the
// rows a shorter epoch lacks are invented (NaN).
struct TAverage {
  struct TEpoch {
    int32_t Entry = 0;
    int32_t Samples = 0;
    // The factor of the column's scan number (the column's place + 1) as the channel records met
    // before the epoch define it, single precision; 1 where none does. Cal is that record's
    // calibration alone (the factor in SI units), likewise.
    double Factor = 1.0;
    double Cal = 1.0;
  };
  int32_t Channels = 0;  // the count it began with: its columns, then the time
  int32_t Rows = 0;
  std::vector<TEpoch> Epochs;  // at most Channels
  int64_t InventedBytes = 0;   // of NaN completing it
  // The time column's values count from this first sample at this frequency, as in force where
  // the average is complete.
  int32_t FirstSample = 0;
  float Frequency = 1.0f;
};

// The averages of the packed form, in file order. An average whose doubles would take more than
// LargestBytes (or cannot even be counted) is no average: its first epoch is passed over, and the
// next epoch may begin one.
std::vector<TAverage> ReadPackedAverages(TFiff& Reader, int64_t LargestBytes);

}  // namespace fiff
