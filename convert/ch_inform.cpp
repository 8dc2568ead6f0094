// ChInform: the location and orientation of each channel, 12 rows per channel.
#include "variables.h"

void WriteChInform(const TMeasurement& M, TSinkSet& Out) {
  const auto& locations = M.ChInformLocations();
  if (locations.empty()) return;
  Out.Begin("ChInform", TElement::Double, {12, static_cast<int64_t>(locations.size())});
  TDoubleStager out(Out);
  for (const auto& loc : locations)
    for (float v : loc) out.Put(v);
  out.Flush();
}
