// A working folder made with mkdtemp, so that a benchmark never touches a file it did not make.
#include "bench_dir.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

TBenchDir::TBenchDir(const std::string& Parent) {
  const std::string parent = Parent.empty() ? std::filesystem::temp_directory_path().string() : Parent;
  std::string path = parent + "/tessaline-bench-XXXXXX";
  if (!::mkdtemp(path.data()))
    throw std::system_error(errno, std::generic_category(), "Cannot create \"" + path + "\"");
  FPath = path;
}

TBenchDir::~TBenchDir() {
  std::error_code ec;
  std::filesystem::remove_all(FPath, ec);
}
