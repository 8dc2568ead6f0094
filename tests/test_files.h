// Temporary folders and copies of the real FIFF files for tests.
#pragma once

#include <string>

// A fresh folder under the system's temporary directory, removed with everything in it.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return FPath; }
  std::string File(const std::string& Name) const { return FPath + "/" + Name; }

 private:
  std::string FPath;
};

// Path of a file in tests/data.
std::string TestDataPath(const std::string& Name);
// Copies tests/data/Name into Dir with its version words set to 1.1, as the converter accepts.
std::string PatchedCopy(const std::string& Name, const std::string& Dir);
// Names of the files in a folder, sorted.
std::string ListDir(const std::string& Dir);
