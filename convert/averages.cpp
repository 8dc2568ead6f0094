// ave_nnnn: each average's epochs calibrated, one column per channel, and the time in milliseconds last.
#include "variables.h"

void WriteAverages(const TMeasurement& M, TSinkSet& Out, TBudget& Budget) {
  TFiff& r = M.First();
  int number = 0;
  TDoubleStager out(Out);
  for (const fiff::TAverage& a : M.Averages()) {
    // One that would invent more than the file may is left out whole.
    if (!Budget.Take(a.InventedBytes)) continue;
    Out.Begin(Numbered("ave_", ++number), TElement::Double, {a.Rows, int64_t{a.Channels} + 1});
    for (const fiff::TAverage::TEpoch& e : a.Epochs) {
      r.SeekTagData(e.Entry);
      const double offset = r.ReadSingle();
      const double scale = r.ReadSingle();
      const int32_t n = std::min(e.Samples, a.Rows);  // every column has the header's rows
      for (int32_t j = 0; j < n; ++j) out.Put((r.ReadShort() * scale + offset) * e.Factor);
      out.PutMany(a.Rows - n, kNaN);
      out.Flush();
    }
    // An average cut short gets NaN columns for its missing channels, then its time column.
    out.PutMany(int64_t{a.Channels - static_cast<int32_t>(a.Epochs.size())} * a.Rows, kNaN);
    for (int32_t k = 0; k < a.Rows; ++k) out.Put(static_cast<double>(int64_t{a.FirstSample} + k) / a.Frequency * 1000);
    out.Flush();
  }
}
