// Converts built FIFF files in a temporary folder and reads the outputs back strictly.
#pragma once

#include <string>
#include <vector>

#include "convert.h"
#include "fiff_builder.h"
#include "scilab_reader.h"
#include "summary.h"
#include "test_files.h"

struct TConverted {
  std::vector<std::string> Files;
  std::vector<std::vector<TScilabVar>> Vars;  // one list per output file
  const std::vector<TScilabVar>& Only() const { return Vars.at(0); }
};

inline TConverted ConvertFile(const std::string& Path, int64_t Limit = 50'000'000, const TProgress& Progress = {}) {
  TFiff f;
  if (!f.LoadFiff(Path)) throw std::runtime_error("not FIFF: " + Path);
  TConverted c;
  c.Files = ConvertFiff(f, Limit, Progress);
  for (const auto& file : c.Files) c.Vars.push_back(ReadScilabFile(file));
  return c;
}

inline TConverted Convert(const TFiffBuilder& B, const TTempDir& Dir, int64_t Limit = 50'000'000,
                          const TProgress& Progress = {}) {
  return ConvertFile(B.Write(Dir.File("in.fif")), Limit, Progress);
}
