// Decompressing .fif.gz inputs: members joined, the size limit held while decompressing, loading by rules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "../../convert/gzip_input.h"
#include "fiff_builder.h"
#include "test_files.h"

namespace {

TBytes Gzip(const TBytes& Data, const TTempDir& Dir) {
  WriteFileBytes(Dir.File("member"), Data);
  if (std::system(("gzip -nf " + Dir.File("member")).c_str()) != 0) throw std::runtime_error("gzip failed");
  return ReadFileBytes(Dir.File("member.gz"));
}

TEST(GzipInput, MembersAreJoinedAndTheLimitHoldsWhileDecompressing) {
  TTempDir dir;
  const TBytes first = TFiffBuilder().Int(200, 3).Data();
  const TBytes second(5000, 0);
  // Two members, as `cat a.gz b.gz` gives, and zeros padding the end.
  const std::string path = dir.File("joined.fif.gz");
  WriteFileBytes(path, Gzip(first, dir) + Gzip(second, dir) + TBytes(7, 0));
  int64_t size = 0;
  const auto image = InflateGzipFile(path, size);
  ASSERT_EQ(size, static_cast<int64_t>(first.size() + second.size()));
  EXPECT_EQ(TBytes(image.get(), image.get() + size), first + second);

  // Each member states a small length, so only the running count can stop them: a limit one
  // below the whole refuses, one at the whole reads.
  for (const int64_t limit : {size - 1, size}) {
    int64_t got = 0;
    if (limit < size) {
      try {
        InflateGzipFile(path, got, limit);
        ADD_FAILURE() << "read past the limit";
      } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), ("Cannot read \"" + path + "\": it decompresses to more than " + std::to_string(limit) +
                                " bytes, more than any FIFF file holds")
                                   .c_str());
      }
    } else {
      EXPECT_NO_THROW(InflateGzipFile(path, got, limit));
      EXPECT_EQ(got, size);
    }
  }

  // Bytes after the data that are no member are refused; an empty file has nothing to read.
  WriteFileBytes(path, Gzip(first, dir) + TBytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  EXPECT_THROW(InflateGzipFile(path, size), std::runtime_error);
  WriteFileBytes(path, {});
  EXPECT_THROW(InflateGzipFile(path, size), std::runtime_error);
}

}  // namespace
