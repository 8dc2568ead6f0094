// Decompressing .fif.gz inputs: members joined, the size limit held while decompressing, loading by rules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "../../input/gzip_input.h"
#include "convert.h"
#include "fiff_builder.h"
#include "test_files.h"

namespace {

std::shared_ptr<const uint8_t> InflateGzipFile(const std::string& Path, int64_t& Size,
                                               int64_t Limit = kLargestFiffFile) {
  return InflateGzipFile(OpenInputFile(Path).value(), Path, Size, Limit);
}

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

// The one way in: each kind of refusal, and the name the outputs take.
TEST(Input, RefusalsAndTheOutputName) {
  TTempDir dir;
  const TBytes fiff = TFiffBuilder().Int(200, 3).Data();
  WriteFileBytes(dir.File("run.fif"), fiff);
  WriteFileBytes(dir.File("v13.fif"), TFiffBuilder(1, 3).Int(200, 3).Data());
  WriteFileBytes(dir.File("v20.fif"), TFiffBuilder(2, 0).Data());
  WriteFileBytes(dir.File("run.fif.gz"), Gzip(fiff, dir));
  WriteFileBytes(dir.File("plain.fif.gz"), fiff);  // named .gz, but FIFF as it stands
  const TReadRules window, all{true, true};
  const struct {
    std::string Name;
    TReadRules Rules;
    TRefusal Refusal;
    std::string Version, OutputName;
  } kCases[] = {
      {"none.fif", all, TRefusal::Missing, "", ""},
      {"run.fif", window, TRefusal::None, "1.1", "run.fif"},
      {"v13.fif", window, TRefusal::NotFiff, "1.3", ""},
      {"v13.fif", all, TRefusal::None, "1.3", "v13.fif"},
      {"v20.fif", all, TRefusal::NotFiff, "2.0", ""},
      {"run.fif.gz", window, TRefusal::GzipNotRead, "", ""},
      {"run.fif.gz", all, TRefusal::None, "1.1", "run.fif"},
      {"plain.fif.gz", all, TRefusal::None, "1.1", "plain.fif.gz"},
  };
  for (const auto& c : kCases) {
    const TInput in = OpenInput(dir.File(c.Name), c.Rules);
    EXPECT_EQ(in.Refusal, c.Refusal) << c.Name;
    EXPECT_EQ(in.Version.Found ? std::to_string(in.Version.Major) + "." + std::to_string(in.Version.Minor) : "",
              c.Version)
        << c.Name;
    EXPECT_EQ(in.Reader != nullptr, c.Refusal == TRefusal::None) << c.Name;
    if (in.Reader) {
      EXPECT_EQ(in.OutputName, dir.File(c.OutputName)) << c.Name;
      EXPECT_EQ(in.Reader->FileName(), dir.File(c.Name));
      EXPECT_EQ(in.Reader->Tag(1).Kind, 200);
    }
  }
}

}  // namespace
