// Loads a built FIFF file and returns its summary lines, for the summary and window tests.
#pragma once

#include <string>
#include <vector>

#include "fiff_builder.h"
#include "fiff_f.h"
#include "summary.h"
#include "test_files.h"

using TLines = std::vector<std::string>;

// The whole summary, load line included.
inline TLines SummaryOf(const std::string& Path, const TNumberSeparators& Sep = {}) {
  TFiff f;
  if (!f.LoadFiff(Path)) return {"<not FIFF>"};
  return MakeSummary(f, Sep);
}

// The summary without its load line.
inline TLines Sections(const TFiffBuilder& B, const TNumberSeparators& Sep = {}) {
  TTempDir dir;
  TLines all = SummaryOf(B.Write(dir.File("s.fif")), Sep);
  return TLines(all.begin() + 1, all.end());
}
