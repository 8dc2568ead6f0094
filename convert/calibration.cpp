// CalXRnge: each channel's factor to calibrated units, and the sampling frequency last.
#include "variables.h"

void WriteCalibration(const TPlan& P, const std::vector<fiff::TCalibrationVector>& Vectors, TSinkSet& Out,
                      TBudget& Budget) {
  TFiff& r = P.M().First();
  if (!P.Selection.Rows.empty()) {
    // The rows kept: each one's factor (1 in SI units; NaN for a row without a record), then the
    // frequency of the rows' vector.
    int64_t missing = 0;
    for (int64_t k = 0; k < P.Rows(); ++k) missing += P.Channel(k) ? 0 : 1;
    if (!P.Options.Choice.Si && !Budget.Take(8 * missing)) return;
    Out.Begin("CalXRnge", TElement::Double, {1, P.Rows() + 1});
    TDoubleStager cal(Out);
    for (int64_t k = 0; k < P.Rows(); ++k) {
      const TRawChannel* c = P.Channel(k);
      cal.Put(P.Options.Choice.Si ? 1.0 : c ? fiff::ScaledCalibration(c->Record) : kNaN);
    }
    cal.Put(Vectors.empty() ? P.M().RawFrequency() : Vectors[0].Frequency);
    cal.Flush();
    return;
  }
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
