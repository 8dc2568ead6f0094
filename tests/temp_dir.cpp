// A folder made with mkdtemp, so that no file is touched that was not made there.
#include "temp_dir.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

TTempDir::TTempDir(const std::string& Parent, const std::string& Prefix) {
  const std::string parent = Parent.empty() ? std::filesystem::temp_directory_path().string() : Parent;
  std::string path = parent + "/" + Prefix + "-XXXXXX";
  if (!::mkdtemp(path.data()))
    throw std::system_error(errno, std::generic_category(), "Cannot create \"" + path + "\"");
  FPath = path;
}

TTempDir::~TTempDir() {
  std::error_code ec;
  // A test may have left a folder read-only: its contents go too.
  std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(FPath, ec);
}
