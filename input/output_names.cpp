// The names of a conversion's outputs: the input's path without its ending, in the output folder, numbered for a
// series.
#include <cstdio>

#include "input.h"

std::string BaseName(const std::string& Path) {
  const size_t slash = Path.find_last_of('/');
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

std::string OutputBaseName(const std::string& InputPath) {
  const size_t slash = InputPath.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = InputPath.find_last_of('.');
  if (dot == std::string::npos || dot < nameStart) return InputPath;
  return InputPath.substr(0, dot);
}

std::string OutputBase(const std::string& OutputName, const std::string& OutputDir) {
  std::string base = OutputBaseName(OutputName);
  if (!OutputDir.empty()) {
    const size_t slash = base.find_last_of('/');
    base =
        OutputDir + (OutputDir.back() == '/' ? "" : "/") + (slash == std::string::npos ? base : base.substr(slash + 1));
  }
  return base;
}

std::vector<std::string> SeriesBases(const std::string& Base, size_t Count) {
  std::vector<std::string> bases;
  for (size_t k = 1; k <= Count; ++k) {
    char number[24];
    std::snprintf(number, sizeof number, "_%02zu", k);
    bases.push_back(Base + number);
  }
  return bases;
}
