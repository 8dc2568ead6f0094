// Every seed and every input the fuzzer once found, through the fuzz harness's checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "../fuzz/fiff_mutator.h"
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

TEST(FuzzInputs, TagMutationsKeepTheSignatureAndTheRoomGiven) {
  const TBytes seed = ReadFileBytes(std::string(TESSALINE_FUZZ_DATA) + "/corpus/averages.fif");
  int changed = 0;
  for (unsigned int s = 0; s < 2000; ++s) {
    TBytes data = seed;
    const size_t room = seed.size() + 64;
    data.resize(room);
    const size_t n = MutateFiffTags(data.data(), seed.size(), room, s);
    ASSERT_LE(n, room);
    ASSERT_TRUE(std::equal(seed.begin(), seed.begin() + 36, data.begin())) << "seed " << s;
    changed += n != seed.size() || !std::equal(seed.begin(), seed.end(), data.begin());
  }
  EXPECT_GT(changed, 1800);  // a few swaps of equal tags change nothing
}

}  // namespace
