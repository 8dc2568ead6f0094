// The variables of an output file, each written from the measurement into the sinks of every format.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "checked_size.h"
#include "plan.h"
#include "sink_set.h"

// Stands for a value the file does not give (a factor, a channel's epoch).
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// What an output file may still invent where the file holds no values, in bytes.
class TBudget {
 public:
  explicit TBudget(int64_t Bytes) : FLeft(Bytes) {}
  // Takes Bytes; false, taking nothing, when fewer are left.
  bool Take(int64_t Bytes) {
    if (Bytes > FLeft) return false;
    FLeft -= Bytes;
    return true;
  }

 private:
  int64_t FLeft;
};

// "PCA_0001", "ave_0012": a prefix and a number of at least four digits.
std::string Numbered(const char* Prefix, int Number);

// The measurement-information variables, in the order every file holds them.
// With channels chosen, ChInform, CalXRnge and the averages' columns are the rows kept.
void WriteChInform(const TPlan& P, TSinkSet& Out);
void WriteProjections(const TMeasurement& M, TSinkSet& Out);
void WriteDigitPts(const TMeasurement& M, TSinkSet& Out);
// The averages, packed and float, in file order; returns the rows of the averages table, and counts
// the packed averages left out for want of budget.
std::vector<TAverageRow> WriteAverages(const TPlan& P, TSinkSet& Out, TBudget& Budget, int& LeftOut);
// epochs and epo_time: every part's epochs, one page each, and their times.
void WriteEpochs(const TPlan& P, TSinkSet& Out);
void WriteMriVolume(const TMeasurement& M, TSinkSet& Out);
// CalXRnge: one variable per calibration vector, or the rows kept.
void WriteCalibration(const TPlan& P, const std::vector<fiff::TCalibrationVector>& Vectors, TSinkSet& Out,
                      TBudget& Budget);
// raw_data of one file of the plan; After is told each buffer and its columns once written.
void WriteRawData(const TPlan& P, const TStretch& Stretch, TSinkSet& Out,
                  const std::function<void(const TRawBuffer&, int64_t Columns)>& After,
                  const TRawObserver* Observer = nullptr);
