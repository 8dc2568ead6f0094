// A temporary folder of its own, for tests and benchmarks: made inside the folder given, removed with its contents
// alone.
#pragma once

#include <string>

class TTempDir {
 public:
  // Makes Parent/Prefix-XXXXXX (Parent empty: the system's temporary folder); Parent itself
  // must exist and is never removed.
  explicit TTempDir(const std::string& Parent = "", const std::string& Prefix = "tessaline-test");
  // Removes the folder made and everything put in it, nothing else.
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return FPath; }
  std::string File(const std::string& Name) const { return FPath + "/" + Name; }

 private:
  std::string FPath;
};
