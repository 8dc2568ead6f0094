// ave_nnnn: each average's epochs calibrated, one column per channel, and the time in milliseconds last.
#include "variables.h"

void WriteAverages(const TPlan& P, TSinkSet& Out, TBudget& Budget) {
  const TMeasurement& m = P.M();
  TFiff& r = m.First();
  // With channels chosen, the columns of the scan numbers of the rows kept (column k is scan k + 1's).
  std::vector<bool> scans;
  if (!P.Selection.Rows.empty())
    for (int64_t k = 0; k < P.Rows(); ++k)
      if (const TRawChannel* c = P.Channel(k); c && c->Record.Scan >= 1 && c->Record.Scan <= m.InputSize()) {
        if (scans.size() < static_cast<size_t>(c->Record.Scan)) scans.resize(static_cast<size_t>(c->Record.Scan));
        scans[static_cast<size_t>(c->Record.Scan - 1)] = true;
      }
  auto kept = [&](int32_t Column) {
    return P.Selection.Rows.empty() ||
           (static_cast<size_t>(Column) < scans.size() && scans[static_cast<size_t>(Column)]);
  };
  int number = 0;
  TDoubleStager out(Out);
  for (const fiff::TAverage& a : m.Averages()) {
    // One that would invent more than the file may is left out whole.
    if (!Budget.Take(a.InventedBytes)) continue;
    int64_t columns = 0;
    for (int32_t c = 0; c < a.Channels; ++c) columns += kept(c);
    Out.Begin(Numbered("ave_", ++number), TElement::Double, {a.Rows, columns + 1});
    for (size_t c = 0; c < a.Epochs.size(); ++c) {
      if (!kept(static_cast<int32_t>(c))) continue;
      const fiff::TAverage::TEpoch& e = a.Epochs[c];
      r.SeekTagData(e.Entry);
      const double offset = r.ReadSingle();
      const double scale = r.ReadSingle();
      const double factor = P.Options.Choice.Si ? e.Cal : e.Factor;
      const int32_t n = std::min(e.Samples, a.Rows);  // every column has the header's rows
      for (int32_t j = 0; j < n; ++j) out.Put((r.ReadShort() * scale + offset) * factor);
      out.PutMany(a.Rows - n, kNaN);
      out.Flush();
    }
    // An average cut short gets NaN columns for its missing channels, then its time column.
    for (int32_t c = static_cast<int32_t>(a.Epochs.size()); c < a.Channels; ++c)
      if (kept(c)) out.PutMany(a.Rows, kNaN);
    for (int32_t k = 0; k < a.Rows; ++k) out.Put(static_cast<double>(int64_t{a.FirstSample} + k) / a.Frequency * 1000);
    out.Flush();
  }
}
