// Patched copies of real files and listings of folders.
#include "test_files.h"

#include <cstdlib>
#include <filesystem>
#include <set>
#include <stdexcept>

#include "fiff_builder.h"

std::string TestDataPath(const std::string& Name) { return std::string(TESSALINE_TEST_DATA) + "/" + Name; }

std::string PatchedCopy(const std::string& Name, const std::string& Dir) {
  TBytes data = ReadFileBytes(TestDataPath(Name));
  if (data.size() < 20) throw std::runtime_error("short test file " + Name);
  data[16] = 0;
  data[17] = 1;
  data[18] = 0;
  data[19] = 1;
  const std::string path = Dir + "/" + Name;
  WriteFileBytes(path, data);
  return path;
}

std::string ListDir(const std::string& Dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(Dir)) names.insert(e.path().filename().string());
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : " ") + n;
  return out;
}
