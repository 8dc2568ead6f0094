// Tests' and benchmarks' folders: made inside the folder given, and only they removed.
#include <gtest/gtest.h>

#include <filesystem>

#include "fiff_builder.h"
#include "test_files.h"

namespace {

TEST(TempDir, RemovesOnlyWhatItMade) {
  TTempDir user;
  WriteFileBytes(user.File("notes.log"), {1, 2, 3});
  WriteFileBytes(user.File("bench.fif"), {4});  // named like the benchmark's own input
  std::string made;
  {
    const TTempDir dir(user.Path(), "tessaline-bench");
    made = dir.Path();
    EXPECT_EQ(std::filesystem::path(made).parent_path(), std::filesystem::path(user.Path()));
    WriteFileBytes(dir.File("bench.fif"), {5, 6});
    WriteFileBytes(dir.File("bench.dat"), {7});
  }
  EXPECT_FALSE(std::filesystem::exists(made));
  EXPECT_EQ(ListDir(user.Path()), "bench.fif notes.log");
  EXPECT_EQ(ReadFileBytes(user.File("notes.log")), (TBytes{1, 2, 3}));
  EXPECT_EQ(ReadFileBytes(user.File("bench.fif")), TBytes{4});
}

}  // namespace
