// ChInform: the location and orientation of each channel, 12 rows per channel.
#include "variables.h"

void WriteChInform(const TPlan& P, TSinkSet& Out) {
  if (!P.Selection.Rows.empty()) {
    // The rows kept, each its record's location (NaN for a row without one).
    Out.Begin("ChInform", TElement::Double, {12, P.Rows()});
    TDoubleStager out(Out);
    for (int64_t k = 0; k < P.Rows(); ++k) {
      const TRawChannel* c = P.Channel(k);
      for (int v = 0; v < 12; ++v) out.Put(c ? c->Record.Loc[v] : kNaN);
    }
    out.Flush();
    return;
  }
  const auto& locations = P.M().ChInformLocations();
  if (locations.empty()) return;
  Out.Begin("ChInform", TElement::Double, {12, static_cast<int64_t>(locations.size())});
  TDoubleStager out(Out);
  for (const auto& loc : locations)
    for (float v : loc) out.Put(v);
  out.Flush();
}
