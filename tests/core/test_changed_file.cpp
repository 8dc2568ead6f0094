// A file that changes while it is read: shrunk, replaced or rewritten, never a crash, always an error naming it.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "convert_helpers.h"

namespace {

// Channels, then Buffers raw data buffers of 32,768 bytes each (eight pages).
TFiffBuilder Recording(int Buffers) {
  TFiffBuilder b;
  b.Int(200, 1).Float(201, 1000.0f).Channel({.Kind = 2});
  for (int i = 0; i < Buffers; ++i) b.RawBuffer(std::vector<int16_t>(16384, static_cast<int16_t>(i + 1)));
  b.Text(206, "the end");
  return b;
}

void ExpectChangedError(const std::function<void()>& Action, const std::string& Path) {
  try {
    Action();
    FAIL() << "no error for a changed file";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot read \"" + Path + "\": the file changed while it was being read");
  }
}

TEST(ChangedFile, ShrunkBetweenLoadingAndTheSummary) {
  TTempDir dir;
  const std::string path = Recording(20).Write(dir.File("in.fif"));
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(path));
  ASSERT_FALSE(f.UsesFileStream());
  ASSERT_EQ(::truncate(path.c_str(), 1000), 0);
  ExpectChangedError([&] { MakeSummary(f); }, path);
}

// One-sample buffers are checked by the byte, not by the buffer: a file cut short after its first
// few MiB still ends the conversion with the error, long before its end, and leaves no output.
TEST(ChangedFile, CutShortAmongManySmallBuffers) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 306).Float(201, 1000.0f);
  for (int i = 0; i < 40000; ++i) b.RawBuffer(std::vector<int16_t>(306, static_cast<int16_t>(i)));  // 25 MB
  const std::string path = b.Write(dir.File("in.fif"));
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(path));
  int64_t done = 0;
  ExpectChangedError(
      [&] {
        ConvertFiff(f, 50'000'000, [&](const TConvertProgress& P) {
          if (done < 3'000'000 && P.BytesDone >= 3'000'000) ASSERT_EQ(::truncate(path.c_str(), 2'000'000), 0);
          done = P.BytesDone;
        });
      },
      path);
  EXPECT_LT(done, 10'000'000);
  EXPECT_EQ(ListDir(dir.Path()), "in.fif");
}

TEST(ChangedFile, ShrunkInTheMiddleOfTheConversionLeavesNoOutput) {
  TTempDir dir;
  const std::string path = Recording(20).Write(dir.File("in.fif"));
  WriteFileBytes(dir.File("in.dat"), TBytes{1, 2, 3});  // an older output
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(path));
  MakeSummary(f);
  int buffers = 0;
  ExpectChangedError(
      [&] {
        ConvertFiff(f, 50'000'000, [&](const TConvertProgress& P) {
          if (!P.RawDataDone && ++buffers == 3) ASSERT_EQ(::truncate(path.c_str(), 100'000), 0);
        });
      },
      path);
  EXPECT_GE(buffers, 3);  // the next check ends it: after a few MiB, or at the end of the data
  EXPECT_EQ(ListDir(dir.Path()), "in.dat in.fif");
  EXPECT_EQ(ReadFileBytes(dir.File("in.dat")), (TBytes{1, 2, 3}));
}

TEST(ChangedFile, ReadsAtEveryPositionNearTheNewEnd) {
  TTempDir dir;
  TFiffBuilder b = Recording(2);
  const TBytes bytes = b.Data();
  const std::string path = b.Write(dir.File("in.fif"));
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(path));
  const int64_t end = 20'000;  // inside a page: the rest of that page and all after it are gone
  ASSERT_EQ(::truncate(path.c_str(), end), 0);
  for (int64_t at : {end, int64_t{24'576}, int64_t{40'960}})
    for (int64_t pos = at - 70; pos < at + 70; ++pos) {
      f.SetPosition(pos);
      const uint8_t got = f.ReadByte();
      EXPECT_EQ(got, pos < end ? bytes[pos] : 0) << pos;
      f.SetPosition(pos);
      uint8_t block[8];
      f.ReadBlock(block, 8);
      for (int k = 0; k < 8; ++k) ASSERT_EQ(block[k], pos + k < end ? bytes[pos + k] : 0) << pos + k;
    }
  ExpectChangedError([&] { f.CheckUnchanged(); }, path);
}

TEST(ChangedFile, ReplacedOrRewrittenWhileHeldOrBetweenReadings) {
  TTempDir dir, ref;
  const std::string path = Recording(4).Write(dir.File("in.fif"));
  const TFiffBuilder other = Recording(6);
  {
    // Replaced by renaming: the reading holds the file it opened, whole and unchanged.
    TFiff f;
    ASSERT_TRUE(f.LoadFiff(path));
    other.Write(dir.File("new.fif"));
    std::filesystem::rename(dir.File("new.fif"), path);
    MakeSummary(f);
    EXPECT_EQ(FindOne(ReadScilabFile(ConvertFiff(f, 50'000'000).at(0)), "raw_data").Cols, 4 * 16384);
  }
  {
    // The next reading reads the new file.
    const auto c = ConvertFile(path);
    EXPECT_EQ(ReadFileBytes(c.Files.at(0)), ReadFileBytes(ConvertFile(other.Write(ref.File("in.fif"))).Files.at(0)));
  }
  {
    // Rewritten in place while held: its data may be a mix of two files.
    TFiff f;
    ASSERT_TRUE(f.LoadFiff(path));
    Recording(5).Write(path);
    ExpectChangedError([&] { MakeSummary(f); }, path);
  }
}

TEST(ChangedFile, ShrunkWhileReadThroughTheFileStream) {
  // A sparse file over the memory limit: one tag whose data are holes.
  TTempDir dir;
  const std::string path = TFiffBuilder().TagWithSize(300, kTypeShort, 600'000'000, {}).Write(dir.File("big.fif"));
  ASSERT_EQ(::truncate(path.c_str(), 36 + 16 + 600'000'000), 0);
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(path));
  ASSERT_TRUE(f.UsesFileStream());
  ASSERT_EQ(::truncate(path.c_str(), 300'000'000), 0);
  f.SeekTagData(1);
  std::vector<uint8_t> block(1 << 20, 0xFF);
  f.SetPosition(299'999'000);
  f.ReadBlock(block.data(), static_cast<int64_t>(block.size()));
  EXPECT_EQ(block[999], 0);   // a hole
  EXPECT_EQ(block[1000], 0);  // gone
  ExpectChangedError([&] { f.CheckUnchanged(); }, path);
}

TEST(ChangedFileDeathTest, ABusErrorElsewhereStillEndsTheProgram) {
  TTempDir dir;
  const std::string path = Recording(4).Write(dir.File("in.fif"));
  const std::string other = Recording(4).Write(dir.File("other.fif"));
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(path));  // the handler is in place
  EXPECT_DEATH(
      {
        // A mapping that is not the reader's, shortened under it.
        const int fd = ::open(other.c_str(), O_RDONLY);
        const auto* p = static_cast<const volatile uint8_t*>(::mmap(nullptr, 65536, PROT_READ, MAP_SHARED, fd, 0));
        if (::truncate(other.c_str(), 0) == 0) std::printf("%d", p[40000]);
      },
      "");
}

}  // namespace
