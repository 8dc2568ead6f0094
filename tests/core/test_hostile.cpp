// Hostile inputs and failing disks: every output still parses, nothing is left half-written.
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "convert_helpers.h"
#include "output_file.h"
#include "summary_helpers.h"

namespace {

TEST(HostileInput, MillionsOfTinyTags) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 1);
  b.Bytes(TBytes(16 * 1'000'000, 0));  // a million empty tags of kind 0
  b.RawBuffer({1, 2, 3});
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(b.Write(dir.File("in.fif"))));
  EXPECT_EQ(f.TagCount(), 1'000'003);
  EXPECT_EQ(MakeSummary(f).back(), "Total 3.0 sec");
  ConvertFiff(f, 50'000'000);
  EXPECT_EQ(FindOne(ReadScilabFile(dir.File("in.dat")), "raw_data").Shorts, (std::vector<int16_t>{1, 2, 3}));
}

TEST(HostileInput, ChannelCountsOfOneAndOneHundredThousand) {
  TTempDir dir;
  {
    TFiffBuilder b;
    b.Int(200, 100000).Channel({.Scan = 1, .Kind = 2}).Channel({.Scan = 2, .Kind = 2});
    std::vector<int16_t> one(100000);
    for (int i = 0; i < 100000; ++i) one[i] = static_cast<int16_t>(i);
    b.RawBuffer(one).RawBuffer(std::vector<int16_t>(500, 1));  // a whole sample, then none
    const auto c = Convert(b, dir);
    const TScilabVar& raw = FindOne(c.Only(), "raw_data");
    EXPECT_EQ(raw.Rows, 100000);
    EXPECT_EQ(raw.Cols, 1);
    EXPECT_EQ(raw.Short(99999, 0), static_cast<int16_t>(99999));
    const auto& cal = FindOne(c.Only(), "CalXRnge").Reals;
    ASSERT_EQ(cal.size(), 100001u);
    EXPECT_EQ(cal[1], 1e6);
    EXPECT_TRUE(std::isnan(cal[2]) && std::isnan(cal[99999]));
  }
  {
    TFiffBuilder b;
    b.Int(200, 1).RawBuffer({5}).Tag(300, kTypeShort, {});
    EXPECT_EQ(FindOne(Convert(b, dir).Only(), "raw_data").Shorts, (std::vector<int16_t>{5}));
  }
}

TEST(HostileInput, CountsNoFileCouldHoldWriteNothingHuge) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 2'000'000'000).Channel({.Scan = 1, .Kind = 2}).RawBuffer({1, 2});
  b.Int(2010, 1 << 30).Int(2012, 1 << 30).Tag(2006, 1, {1}).Transform(6, 5, std::vector<float>(24, 1));
  b.Epoch(0, 1, std::vector<int16_t>(1000, 1));
  const auto c = Convert(b, dir);
  EXPECT_LT(std::filesystem::file_size(c.Files[0]), 10000u);
  EXPECT_EQ(FindOne(c.Only(), "raw_data").Cols, 0);
  EXPECT_TRUE(FindAll(c.Only(), "CalXRnge").empty());
  EXPECT_TRUE(FindAll(c.Only(), "Volume3D").empty());
}

TEST(HostileInput, AnAverageOfTheLargestChannelCountIsNoVariable) {
  // 2^31 - 1 channels and their time column would be 2^31 columns, which no header can hold.
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 2'147'483'647).Epoch(0, 1, {}).Int(200, 1).Epoch(0, 1, {4});
  const auto c = Convert(b, dir);
  EXPECT_EQ(Names(c.Only()), std::vector<std::string>{"ave_0001"});
  EXPECT_EQ(FindOne(c.Only(), "ave_0001").Reals, (std::vector<double>{4, 0}));
}

// The largest average a file can give is its budget of invented values, 8 x its size + 1 MiB:
// an average of exactly that many bytes is written, one column more is left out.
TEST(HostileInput, AnAverageUpToTheBudgetOfTheFileAndNoLarger) {
  TTempDir dir;
  for (const int32_t over : {0, 1}) {
    auto file = [](int32_t Channels) { return TFiffBuilder().Int(200, Channels).Epoch(0, 1, {5}); };
    const int64_t columns = (8 * static_cast<int64_t>(file(0).Size()) + 1048576) / 8;  // of one row
    const auto c = Convert(file(static_cast<int32_t>(columns - 1 + over)), dir);
    ASSERT_EQ(FindAll(c.Only(), "ave_0001").size(), over ? 0u : 1u) << over;
    if (!over) EXPECT_EQ(FindOne(c.Only(), "ave_0001").Cols, columns);
  }
}

// An epoch of more than 2^29 samples for 2^31 - 2 channels: the average's size does not fit in
// 64 bits, and taken wrapped it would pass as small and be completed with NaN without end.
TEST(HostileInput, AnAverageTooLargeToCountIsNoVariable) {
  TTempDir dir;
  constexpr int32_t kSamples = (1 << 29) + 16;
  constexpr int32_t kEpochSize = fiff::kOldPackSamples + 2 * kSamples;
  TFiffBuilder b;
  b.Int(200, 2'147'483'646).TagWithSize(302, kTypeOldPack, kEpochSize, {});
  const std::string path = b.Write(dir.File("in.fif"));
  std::filesystem::resize_file(path, b.Size() + kEpochSize);  // the epoch's data a hole of zeros
  const auto c = ConvertFile(path);
  EXPECT_TRUE(FindAll(c.Only(), "ave_0001").empty());
  EXPECT_LT(std::filesystem::file_size(c.Files[0]), 10000u);
}

TEST(HostileInput, BuffersLargerThanTheStagingBuffer) {
  TTempDir dir;
  std::vector<int16_t> big(6'000'000);  // 12 MB in one buffer
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<int16_t>(i * 31);
  TFiffBuilder b;
  b.Int(200, 3).RawBuffer(big);
  const auto c = Convert(b, dir);
  const TScilabVar& raw = FindOne(c.Only(), "raw_data");
  ASSERT_EQ(raw.Cols, 2'000'000);
  EXPECT_EQ(raw.Shorts, big);
}

TEST(HostileInput, AveragesBeyondTheFactorTable) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 1200).Float(201, 1000.0f);
  for (int s = 1; s <= 1200; ++s) b.Channel({.Scan = s, .Kind = 2});
  for (int e = 0; e < 1200; ++e) b.Epoch(0, 1, {static_cast<int16_t>(e)});
  const TScilabVar a = FindOne(Convert(b, dir).Only(), "ave_0001");
  ASSERT_EQ(a.Cols, 1201);
  EXPECT_EQ(a.Real(0, 999), 999 * static_cast<double>(1e6f));
  EXPECT_EQ(a.Real(0, 1000), 1000.0);  // no factor for column 1001: as stored
}

TEST(HostileInput, TruncatedAndMisalignedFilesConvertCleanly) {
  TTempDir dir;
  TFiffBuilder full;
  full.Int(200, 2).Float(201, 100.0f).Channel({.Scan = 1, .Kind = 2}).Channel({.Scan = 2, .Kind = 2}).Tag(215, 0, {});
  full.DigPoint(1, 1, 1, 2, 3).RawBuffer({1, 2, 3, 4}).Int(2010, 2).Int(2012, 2).Epoch(0, 1, {1, 2});
  // Every cut of the file, including inside headers, loads, summarises and converts.
  for (size_t cut = 20; cut <= full.Size(); cut += 3) {
    TFiffBuilder b(full);
    b.Truncate(cut);
    const std::string path = b.Write(dir.File("cut.fif"));
    EXPECT_NO_THROW(SummaryOf(path)) << cut;
    EXPECT_NO_THROW(ConvertFile(path)) << cut;
  }
}

struct TInputState {
  TBytes Bytes;
  timespec Modified;
};

TInputState StateOf(const std::string& Path) {
  struct stat st {};
  ::stat(Path.c_str(), &st);
  return {ReadFileBytes(Path), st.st_mtim};
}

void ExpectUnchanged(const TInputState& Before, const std::string& Path) {
  const TInputState after = StateOf(Path);
  EXPECT_EQ(after.Bytes, Before.Bytes);
  EXPECT_EQ(after.Modified.tv_sec, Before.Modified.tv_sec);
  EXPECT_EQ(after.Modified.tv_nsec, Before.Modified.tv_nsec);
}

TEST(Faults, TheInputIsNeverModified) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 1).Channel({.Scan = 1, .Kind = 2}).RawBuffer({1, 2, 3});
  const std::string path = b.Write(dir.File("in.fif"));
  const TInputState before = StateOf(path);
  ConvertFile(path);
  ExpectUnchanged(before, path);
  std::filesystem::remove(dir.File("in.dat"));
  std::filesystem::create_directory(dir.File("in.dat"));
  EXPECT_THROW(ConvertFile(path), std::system_error);
  ExpectUnchanged(before, path);
  TFiffBuilder floats(b);
  floats.Tag(300, kTypeFloat, TBytes(8, 0));
  const std::string fp = floats.Write(dir.File("f.fif"));
  const TInputState fbefore = StateOf(fp);
  EXPECT_THROW(ConvertFile(fp), std::runtime_error);
  ExpectUnchanged(fbefore, fp);
}

// A file-size limit makes the disk "full" part-way through an output file.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t Bytes) {
    ::getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = ::signal(SIGXFSZ, SIG_IGN);  // a failed write, not a killed program
    rlimit r = FOld;
    r.rlim_cur = Bytes;
    ::setrlimit(RLIMIT_FSIZE, &r);
  }
  ~TFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &FOld);
    ::signal(SIGXFSZ, FOldHandler);
  }

 private:
  rlimit FOld{};
  sighandler_t FOldHandler;
};

TFiffBuilder Recording(int Buffers) {
  TFiffBuilder b;
  b.Int(200, 1).Channel({.Scan = 1, .Kind = 2});
  for (int i = 0; i < Buffers; ++i) b.RawBuffer(std::vector<int16_t>(5000, static_cast<int16_t>(i)));
  return b;
}

TEST(Faults, AFullDiskLeavesNoTemporaryAndKeepsTheOlderOutput) {
  TTempDir dir;
  const std::string path = Recording(20).Write(dir.File("in.fif"));
  WriteFileBytes(dir.File("in.dat"), TBytes{9, 9, 9});
  {
    TFileSizeLimit limit(50000);  // the output needs about 200,000 bytes
    try {
      ConvertFile(path);
      FAIL() << "the conversion went past the limit";
    } catch (const std::system_error& e) {
      EXPECT_NE(std::string(e.what()).find(dir.File("in.dat")), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(ListDir(dir.Path()), "in.dat in.fif");
  EXPECT_EQ(ReadFileBytes(dir.File("in.dat")), (TBytes{9, 9, 9}));

  // A series is put in place whole or not at all: the files completed before the failure go too.
  TFiffBuilder uneven = Recording(3);
  uneven.RawBuffer(std::vector<int16_t>(100000, 7));  // 200 kB: the second file cannot hold it
  uneven.Write(path);
  std::filesystem::remove(dir.File("in.dat"));
  {
    TFileSizeLimit limit(100000);
    EXPECT_THROW(ConvertFile(path, 25000), std::system_error);
  }
  EXPECT_EQ(ListDir(dir.Path()), "in.fif");

  // Scilab 6's and MATLAB's files likewise, which HDF5 writes: nothing of them, and the error
  // names the file with the system's reason.
  for (const unsigned format : {TFormat::Sod, TFormat::Mat}) {
    TFileSizeLimit limit(100000);
    TFiff f;
    ASSERT_TRUE(f.LoadFiff(path));
    TConvertOptions o;
    o.Formats = format;
    try {
      ConvertFiff(f, o);
      ADD_FAILURE() << "the conversion went past the limit";
    } catch (const std::system_error& e) {
      EXPECT_EQ(std::string(e.what()),
                "Cannot write \"" + dir.File(format == TFormat::Sod ? "in.sod" : "in.mat") + "\": File too large");
    }
    EXPECT_EQ(ListDir(dir.Path()), "in.fif");
  }

  // A text beside the outputs likewise: nothing of it, and its older version stays.
  WriteFileBytes(dir.File("in_channels.tsv"), TBytes{8});
  {
    TFileSizeLimit limit(1000);
    EXPECT_THROW(WriteFileAtomically(dir.File("in_channels.tsv"), std::string(5000, 'x')), std::system_error);
  }
  EXPECT_EQ(ListDir(dir.Path()), "in.fif in_channels.tsv");
  EXPECT_EQ(ReadFileBytes(dir.File("in_channels.tsv")), TBytes{8});
}

TEST(Faults, ATinyFileSystemReportsNoSpace) {
  TTempDir dir;
  const std::string mnt = dir.File("mnt");
  std::filesystem::create_directory(mnt);
  if (::mount("tessaline", mnt.c_str(), "tmpfs", 0, "size=96k") != 0) GTEST_SKIP() << "tmpfs cannot be mounted here";
  const std::string small = Recording(6).Write(mnt + "/in.fif");  // 60 kB in, 60 kB out, and 96 kB of room
  try {
    ConvertFile(small);
    ADD_FAILURE() << "the conversion fitted";
  } catch (const std::system_error& e) {
    EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ListDir(mnt), "in.fif");
  ::umount(mnt.c_str());
}

}  // namespace
