// Trigger events from stim channels, decoded as MNE-Python 1.3's find_events decodes them.
#pragma once

#include <cstdint>
#include <vector>

#include "convert.h"

// One trigger event: the FIFF number of the sample where the new value begins, the value before
// and the new value (find_events' three columns).
struct TTrigger {
  int64_t Sample = 0;
  int64_t Before = 0;
  int64_t Value = 0;
  auto operator<=>(const TTrigger&) const = default;
};

// The values of one stim channel, read as the raw data pass over them: each value is the stored one
// x (range x calibration) in double, truncated to an integer (wrapped to 16 bits with --uint-cast);
// what is kept are its steps, the changes of value, at most MostSteps of them.
class TStimChannel {
 public:
  TStimChannel(double Factor, bool UintCast, int64_t MostSteps)
      : FFactor(Factor), FUintCast(UintCast), FMostSteps(MostSteps) {}
  // Count values, Stride apart (nullptr: zeros, a skip as MNE-Python reads it).
  void Take(const double* Values, int64_t Count, int64_t Stride);
  // The events, by the options, the first value numbered FirstSample; Short is set to how many
  // follow the one before by fewer than 2 samples (where find_events stops), Capped to whether steps
  // were left out.
  std::vector<TTrigger> Events(const TTriggerOptions& Options, double Frequency, int64_t FirstSample, int64_t& Short,
                               bool& Capped) const;

 private:
  struct TStep {
    int64_t Index, Before, After;
  };
  void Put(int64_t Value);

  const double FFactor;
  const bool FUintCast;
  const int64_t FMostSteps;
  int64_t FCount = 0, FFirst = 0, FLast = 0, FMin = 0;
  bool FCapped = false;
  std::vector<TStep> FSteps;
};

// The events of several channels together: each row once, by sample.
std::vector<TTrigger> CombineTriggers(std::vector<std::vector<TTrigger>> PerChannel);
