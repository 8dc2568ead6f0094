// Every seed and every input the fuzzer once found, through the fuzz harness's checks.
#include <gtest/gtest.h>

#include <filesystem>

#include "../fuzz/harness.h"
#include "fiff_builder.h"
#include "test_files.h"

namespace {

TEST(FuzzInputs, SeedsAndRegressionsConvertCleanly) {
  int count = 0;
  TTempDir dir;
  for (const char* folder : {"corpus", "regressions"}) {
    const std::string path = std::string(TESSALINE_FUZZ_DATA) + "/" + folder;
    for (const auto& e : std::filesystem::directory_iterator(path)) {
      if (e.path().filename() == "README.md") continue;
      const TBytes data = ReadFileBytes(e.path().string());
      CheckOneInput(data.data(), data.size(), dir.File("work"));  // aborts on a fault
      ++count;
    }
  }
  EXPECT_GT(count, 5);
}

}  // namespace
