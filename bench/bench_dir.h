// The benchmarks' working folder: a fresh one of their own inside the folder given, removed with its contents alone.
#pragma once

#include <string>

class TBenchDir {
 public:
  // Makes Parent/tessaline-bench-XXXXXX (Parent empty: the system's temporary folder);
  // Parent itself must exist and is never removed.
  explicit TBenchDir(const std::string& Parent);
  // Removes the folder made and what the benchmark put in it, nothing else.
  ~TBenchDir();
  TBenchDir(const TBenchDir&) = delete;
  TBenchDir& operator=(const TBenchDir&) = delete;
  const std::string& Path() const { return FPath; }
  std::string File(const std::string& Name) const { return FPath + "/" + Name; }

 private:
  std::string FPath;
};
