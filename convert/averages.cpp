// ave_nnnn: each average's epochs calibrated, one column per channel, and the time in milliseconds last.
#include <algorithm>
#include <bit>

#include "variables.h"

namespace {

// With channels chosen, the columns of the scan numbers of the rows kept (column k is scan k + 1's).
std::vector<bool> KeptScans(const TPlan& P) {
  std::vector<bool> scans;
  if (!P.Selection.Rows.empty())
    for (int64_t k = 0; k < P.Rows(); ++k)
      if (const TRawChannel* c = P.Channel(k); c && c->Record.Scan >= 1 && c->Record.Scan <= P.M().InputSize()) {
        if (scans.size() < static_cast<size_t>(c->Record.Scan)) scans.resize(static_cast<size_t>(c->Record.Scan));
        scans[static_cast<size_t>(c->Record.Scan - 1)] = true;
      }
  return scans;
}

// A packed average: its columns are the epochs of the scan numbers kept.
void WritePacked(const TPlan& P, const std::vector<bool>& scans, const fiff::TAverage& A, const std::string& Name,
                 TDoubleStager& Stage, TSinkSet& Out) {
  TFiff& r = P.M().First();
  auto kept = [&](int32_t Column) {
    return P.Selection.Rows.empty() ||
           (static_cast<size_t>(Column) < scans.size() && scans[static_cast<size_t>(Column)]);
  };
  // A count far beyond the epochs (of averages without samples, which invent nothing) is not walked.
  int64_t columns = A.Channels;
  if (!P.Selection.Rows.empty())
    columns = std::count(scans.begin(),
                         scans.begin() + std::min<int64_t>(A.Channels, static_cast<int64_t>(scans.size())), true);
  Out.Begin(Name, TElement::Double, {A.Rows, columns + 1});
  for (size_t c = 0; c < A.Epochs.size(); ++c) {
    if (!kept(static_cast<int32_t>(c))) continue;
    const fiff::TAverage::TEpoch& e = A.Epochs[c];
    r.SeekTagData(e.Entry);
    const double offset = r.ReadSingle();
    const double scale = r.ReadSingle();
    const double factor = P.Options.Choice.Si ? e.Cal : e.Factor;
    const int32_t n = std::min(e.Samples, A.Rows);  // every column has the header's rows
    for (int32_t j = 0; j < n; ++j) Stage.Put((r.ReadShort() * scale + offset) * factor);
    Stage.PutMany(A.Rows - n, kNaN);
    Stage.Flush();
  }
  // An average cut short gets NaN columns for its missing channels, then its time column.
  if (A.Rows > 0)  // then the budget bounds the missing columns
    for (int32_t c = static_cast<int32_t>(A.Epochs.size()); c < A.Channels; ++c)
      if (kept(c)) Stage.PutMany(A.Rows, kNaN);
  for (int32_t k = 0; k < A.Rows; ++k) Stage.Put(static_cast<double>(int64_t{A.FirstSample} + k) / A.Frequency * 1000);
  Stage.Flush();
}

// A float average, as MNE-Python's read_evokeds gives it (stored x calibration) in the averages'
// units: x the unit factor of its channel's kind and coil; in SI units as it is.
void WriteFloat(const TPlan& P, const fiff::TFloatAverage& A, const std::string& Name, TDoubleStager& Stage,
                TSinkSet& Out) {
  TFiff& r = P.M().First();
  const auto channels = static_cast<int64_t>(A.Columns.size());
  Out.Begin(Name, TElement::Double, {A.Samples, channels + 1});
  for (int64_t c = 0; c < channels; ++c) {
    const fiff::TChannelInfo& ch = A.Channels[static_cast<size_t>(c)];
    const fiff::TCalibrationScale scale = fiff::CalibrationScale(ch.Kind, ch.Coil);
    const double cal = ch.Cal, unit = P.Options.Choice.Si ? 1.0 : scale.Unit * scale.Coil;
    r.SetPosition(A.Columns[static_cast<size_t>(c)]);
    for (int32_t j = 0; j < A.Samples; ++j) {
      double stored;
      if (A.DataType == fiff::kTypeDouble) {
        const uint64_t hi = r.ReadLongWord();
        stored = std::bit_cast<double>(hi << 32 | r.ReadLongWord());
      } else {
        stored = r.ReadSingle();
      }
      Stage.Put(stored * cal * unit);
    }
    Stage.Flush();
  }
  // The times as MNE-Python makes them: from the first time where it is stated, else the first sample.
  const double f = A.Frequency;
  for (int32_t k = 0; k < A.Samples; ++k)
    Stage.Put(A.FirstTime ? (static_cast<double>(*A.FirstTime) + k / f) * 1000
                          : static_cast<double>(int64_t{A.FirstSample} + k) / f * 1000);
  Stage.Flush();
}

}  // namespace

std::vector<TAverageRow> WriteAverages(const TPlan& P, TSinkSet& Out, TBudget& Budget, int& LeftOut) {
  const TMeasurement& m = P.M();
  const std::vector<fiff::TAverage>& packed = m.Averages();
  const std::vector<fiff::TFloatAverage>& floats = m.FloatAverages();
  std::vector<TAverageRow> rows;
  const std::vector<bool> scans = KeptScans(P);
  TDoubleStager stage(Out);
  // Both forms numbered together, in the order their first epochs stand in the file.
  size_t p = 0, f = 0;
  while (p < packed.size() || f < floats.size()) {
    const bool isFloat = p == packed.size() || (f < floats.size() && floats[f].Entry < packed[p].Epochs[0].Entry);
    if (isFloat) {
      const fiff::TFloatAverage& a = floats[f++];
      rows.push_back({Numbered("ave_", static_cast<int>(rows.size()) + 1), a.Aspect, a.FirstSample, a.LastSample});
      WriteFloat(P, a, rows.back().Variable, stage, Out);
      continue;
    }
    const fiff::TAverage& a = packed[p];
    const std::optional<fiff::TAspect> aspect = p < m.PackedAspects().size() ? m.PackedAspects()[p] : std::nullopt;
    ++p;
    // One that would invent more than the file may is left out whole.
    if (!Budget.Take(a.InventedBytes)) {
      ++LeftOut;
      continue;
    }
    rows.push_back({Numbered("ave_", static_cast<int>(rows.size()) + 1), aspect, a.FirstSample,
                    int64_t{a.FirstSample} + a.Rows - 1});
    WritePacked(P, scans, a, rows.back().Variable, stage, Out);
  }
  return rows;
}
