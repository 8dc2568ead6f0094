// CalXRnge: each channel's factor to calibrated units, and the sampling frequency last.
#include "variables.h"

void WriteCalibration(const TMeasurement& M, const std::vector<fiff::TCalibrationVector>& Vectors, TSinkSet& Out,
                      TBudget& Budget) {
  TFiff& r = M.First();
  for (const fiff::TCalibrationVector& v : Vectors) {
    // A vector cut short gets NaN for the factors no record gave, then the frequency; one that
    // would invent more than the budget left ends the calibration.
    const int64_t missing = int64_t{v.Channels} - static_cast<int64_t>(v.Records.size());
    if (!Budget.Take(8 * missing)) break;
    Out.Begin("CalXRnge", TElement::Double, {1, int64_t{v.Channels} + 1});
    TDoubleStager cal(Out);
    for (const int32_t i : v.Records) cal.Put(fiff::ScaledCalibration(r.ReadChannelInfo(i)));
    cal.PutMany(missing, kNaN);
    cal.Put(v.Frequency);
    cal.Flush();
  }
}
