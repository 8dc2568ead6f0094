// DigitPts: the digitised points that count, x, y and z in columns.
#include "variables.h"

void WriteDigitPts(const TMeasurement& M, TSinkSet& Out) {
  const std::vector<fiff::TDigPoint>& points = M.DigitizedPoints();
  if (points.empty()) return;
  Out.Begin("DigitPts", TElement::Double, {static_cast<int64_t>(points.size()), 3});
  TDoubleStager out(Out);
  for (int c = 0; c < 3; ++c)  // column by column: all x, then all y, then all z
    for (const fiff::TDigPoint& p : points) out.Put(p.R[c]);
  out.Flush();
}
