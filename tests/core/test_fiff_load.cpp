// Loading: the signature, memory image against file stream, the directory and its walk, the primitives.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <system_error>

#include "fiff_builder.h"
#include "fiff_f.h"
#include "tag_walk.h"
#include "test_files.h"

namespace {

// A file of exactly Size bytes: the signature, one tag whose data are a hole, and a
// channel-count tag at the very end, so the walk finds three entries.
std::string SparseFiff(const TTempDir& Dir, int64_t Size) {
  const std::string path = Dir.File("big.fif");
  TFiffBuilder b;
  const int64_t holeSize = Size - 36 - 16 - 20;
  b.TagWithSize(999, 0, static_cast<int32_t>(holeSize), {});
  b.Write(path);
  const int fd = ::open(path.c_str(), O_WRONLY);
  const TBytes tail = BE32(200) + BE32(kTypeInt) + BE32(4) + BE32(0) + BE32(306);
  EXPECT_EQ(::pwrite(fd, tail.data(), tail.size(), Size - 20), 20);
  ::close(fd);
  return path;
}

TEST(Signature, RejectsShortOrWrongFiles) {
  TTempDir dir;
  TFiffBuilder ok;
  {
    TFiff f;
    EXPECT_FALSE(f.LoadFiff(TFiffBuilder(ok).Truncate(19).Write(dir.File("19.fif"))));
    EXPECT_EQ(f.TagCount(), 0);
    EXPECT_EQ(f.FileName(), "");
  }
  {
    TFiff f;
    EXPECT_FALSE(f.LoadFiff(TFiffBuilder(1, 3).Write(dir.File("v13.fif"))));
  }
  // Each of the six signature values on its own.
  for (size_t byte : {3u, 7u, 11u, 15u, 17u, 19u}) {
    TBytes d = ok.Data();
    d[byte] ^= 1;
    WriteFileBytes(dir.File("bad.fif"), d);
    TFiff f;
    EXPECT_FALSE(f.LoadFiff(dir.File("bad.fif"))) << "byte " << byte;
  }
  TFiff missing;
  EXPECT_FALSE(missing.LoadFiff(dir.File("none.fif")));
  EXPECT_FALSE(missing.LoadFiff(""));
}

TEST(Signature, ExactlyTwentyBytesGiveOneEntry) {
  TTempDir dir;
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(TFiffBuilder().Truncate(20).Write(dir.File("20.fif"))));
  ASSERT_EQ(f.TagCount(), 1);
  const TFiffTag& e = f.Tag(0);
  EXPECT_EQ(e.Pos, 0);
  EXPECT_EQ(e.Kind, 100);
  EXPECT_EQ(e.DataType, 31);
  EXPECT_EQ(e.Size, 20);
  EXPECT_EQ(e.Next, 0);
  EXPECT_EQ(f.FileName(), dir.File("20.fif"));
  EXPECT_FALSE(f.UsesFileStream());
}

TEST(Signature, DirectoryOrFifoIsAnErrorNamingTheFile) {
  TTempDir dir;
  TFiff f;
  try {
    f.LoadFiff(dir.Path());
    FAIL() << "a directory was accepted";
  } catch (const std::system_error& e) {
    EXPECT_NE(std::string(e.what()).find(dir.Path()), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("Is a directory"), std::string::npos);
  }
  const std::string fifo = dir.File("pipe.fif");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  TFiff g;
  EXPECT_THROW(g.LoadFiff(fifo), std::runtime_error);  // and does not hang
}

TEST(Signature, NeverWritesItsInput) {
  TTempDir dir;
  const std::string path = TFiffBuilder().Int(200, 3).Write(dir.File("in.fif"));
  ::chmod(path.c_str(), 0444);
  const TBytes before = ReadFileBytes(path);
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(path));
  EXPECT_EQ(ReadFileBytes(path), before);
}

TEST(FileSize, MemoryImageUpToTheLimitFileStreamBeyond) {
  TTempDir dir;
  for (int64_t size : {kMemoryImageLimit, kMemoryImageLimit + 1}) {
    const std::string path = SparseFiff(dir, size);
    TFiff f;
    ASSERT_TRUE(f.LoadFiff(path));
    EXPECT_EQ(f.UsesFileStream(), size > kMemoryImageLimit);
    EXPECT_EQ(f.StreamSize(), size);
    ASSERT_EQ(f.TagCount(), 3);
    EXPECT_EQ(f.Tag(2).Pos, size - 20);
    f.SeekTagData(2);
    EXPECT_EQ(f.ReadLong(), 306);
    EXPECT_EQ(f.ReadLong(), 0);  // past the end
    EXPECT_EQ(f.Position(), size + 4);
    f.SeekTagData(0);
    EXPECT_EQ(f.ReadShort(), 1);
  }
}

TEST(FileSize, TwoGibibytesAreRefusedWithTheLimit) {
  TTempDir dir;
  const std::string path = TFiffBuilder().Write(dir.File("huge.fif"));
  ASSERT_EQ(::truncate(path.c_str(), int64_t{1} << 31), 0);
  TFiff f;
  try {
    f.LoadFiff(path);
    FAIL() << "a 2 GiB file was accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("2 GiB"), std::string::npos);
  }
}

TEST(Directory, StrayByteStepForKindsAbove6000) {
  TTempDir dir;
  {
    TFiff f;
    ASSERT_TRUE(f.LoadFiff(TFiffBuilder().Int(6000, 1).Write(dir.File("a.fif"))));
    ASSERT_EQ(f.TagCount(), 2);
    EXPECT_EQ(f.Tag(1).Kind, 6000);
    EXPECT_EQ(f.Tag(1).Pos, 36);
  }
  {
    // 6001 is taken from one byte on, whatever the kind read there.
    TFiff f;
    TFiffBuilder b;
    b.Bytes({0, 0, 0x17, 0x71, 0xAA, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_TRUE(f.LoadFiff(b.Write(dir.File("b.fif"))));
    ASSERT_EQ(f.TagCount(), 2);
    EXPECT_EQ(f.Tag(1).Pos, 37);
    EXPECT_EQ(f.Tag(1).Kind, 0x001771AA);
    EXPECT_EQ(f.Tag(1).DataType, 2);
  }
  for (int stray = 0; stray < 256; ++stray) {
    TFiff f;
    TFiffBuilder b;
    b.Bytes({static_cast<uint8_t>(stray)}).Int(200, 7);
    ASSERT_TRUE(f.LoadFiff(b.Write(dir.File("s.fif"))));
    const bool detected = stray >= 1 && stray <= 127;
    if (detected) {
      ASSERT_EQ(f.TagCount(), 2) << stray;
      EXPECT_EQ(f.Tag(1).Pos, 37);
      EXPECT_EQ(f.Tag(1).Kind, 200);
      f.SeekTagData(1);
      EXPECT_EQ(f.ReadLong(), 7);
    } else {
      // Undetected, the header is read one byte early and does not fit: the walk ends.
      EXPECT_EQ(f.TagCount(), 1) << stray;
    }
  }
}

TEST(Directory, MalformedChainsEndTheWalkAndKeepWhatCameBefore) {
  TTempDir dir;
  const TFiffBuilder good = TFiffBuilder().Int(200, 3).Int(201, 4);
  struct {
    const char* What;
    TBytes Data;
    int32_t Entries;
  } cases[] = {
      {"fewer than 16 bytes left", TFiffBuilder(good).Bytes(TBytes(15, 1)).Data(), 3},
      {"negative size", TFiffBuilder(good).TagWithSize(202, 3, -8, TBytes(40, 0)).Int(203, 1).Data(), 3},
      {"data past the end", TFiffBuilder(good).TagWithSize(202, 3, 100, TBytes(99, 0)).Data(), 3},
      {"size that wraps", TFiffBuilder(good).TagWithSize(202, 3, 0x7FFFFFF0, TBytes(8, 0)).Data(), 3},
      {"ends inside the signature tag", TFiffBuilder().Truncate(30).Data(), 1},
      {"ends inside a header", TFiffBuilder(good).Int(202, 1).Truncate(good.Size() + 10).Data(), 3},
      {"zero-size tags", TFiffBuilder(good).Tag(0, 0, {}).Tag(0, 0, {}).Data(), 5},
  };
  for (const auto& c : cases) {
    WriteFileBytes(dir.File("m.fif"), c.Data);
    TFiff f;
    ASSERT_TRUE(f.LoadFiff(dir.File("m.fif"))) << c.What;
    EXPECT_EQ(f.TagCount(), c.Entries) << c.What;
    EXPECT_EQ(f.Tag(0).Kind, 100);
    for (int32_t i = 1; i < f.TagCount(); ++i)
      EXPECT_LE(int64_t{f.Tag(i).Pos} + 16 + f.Tag(i).Size, static_cast<int64_t>(c.Data.size())) << c.What;
  }
}

TEST(Directory, HoldsEveryTagBeyondThreeThousand) {
  TTempDir dir;
  TFiffBuilder b;
  for (int i = 0; i < 5000; ++i) b.Int(3000 + i % 100, i);
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(b.Write(dir.File("many.fif"))));
  ASSERT_EQ(f.TagCount(), 5001);
  EXPECT_EQ(f.Tag(5000).Pos, 36 + 4999 * 20);
  f.SeekTagData(5000);
  EXPECT_EQ(f.ReadLong(), 4999);
}

// Each entry carries the count and frequency stated last, its own included, and the innermost
// block it lies in (a block's start and end tags in the block itself); before any, the walk's
// starting values; after the end, the last ones; a walk from an entry starts there.
TEST(Directory, TheWalkCarriesTheValuesInForce) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(fiff::kBlockStart, 100).Int(fiff::kNChan, 306).Int(fiff::kBlockStart, 113).Float(fiff::kSFreq, 1000.0f);
  b.Int(fiff::kBlockEnd, 113).Int(999, 0).Int(fiff::kBlockEnd, 100).Int(fiff::kNChan, 5);
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(b.Write(dir.File("walk.fif"))));
  const struct {
    int32_t Channels;
    float Frequency;
    int32_t Block;
  } kExpected[] = {{7, 2.0f, 0},        {7, 2.0f, 100},      {306, 2.0f, 100},    {306, 2.0f, 113}, {306, 1000.0f, 113},
                   {306, 1000.0f, 113}, {306, 1000.0f, 100}, {306, 1000.0f, 100}, {5, 1000.0f, 0}};
  TTagWalk walk(f, 7, 2.0f);
  int32_t n = 0;
  for (const TWalkEntry& e : walk) {
    ASSERT_LT(n, 9);
    EXPECT_EQ(e.Index, n);
    EXPECT_EQ(e.Tag, &f.Tag(n));
    EXPECT_EQ(e.Channels, kExpected[n].Channels) << n;
    EXPECT_EQ(e.Frequency, kExpected[n].Frequency) << n;
    EXPECT_EQ(e.Block, kExpected[n].Block) << n;
    ++n;
  }
  EXPECT_EQ(n, 9);
  EXPECT_EQ(walk.Channels(), 5);
  EXPECT_EQ(walk.Frequency(), 1000.0f);
  TTagWalk fromFour(f, 0, 0.0f, 4);
  EXPECT_EQ(fromFour.begin()->Index, 4);
  EXPECT_EQ(fromFour.Frequency(), 1000.0f);  // its own value; what stood before entry 4 is not read
  EXPECT_EQ(fromFour.begin()->Block, 0);
}

// Every field of a channel record, at its place in the 96 bytes; the name ends at its first zero
// byte or fills all sixteen.
TEST(Records, AChannelRecordFieldByField) {
  TTempDir dir;
  std::vector<float> loc;
  for (int k = 1; k <= 12; ++k) loc.push_back(0.125f * k);
  const TBytes head = BEInts({7, 8, 1}) + BEFloats({2.5f, 1e-13f}) + BE32(3022) + BEFloats(loc) + BEInts({112, -15});
  const std::string full = "MEG 0113-0123456", cut = std::string("EEG 001\0junk", 12);
  TFiffBuilder b;
  b.Tag(fiff::kChInfo, kTypeChInfo, head + TBytes(full.begin(), full.end()));
  b.Tag(fiff::kChInfo, kTypeChInfo, head + TBytes(cut.begin(), cut.end()) + TBytes(4, 0));
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(b.Write(dir.File("ch.fif"))));
  const fiff::TChannelInfo c = f.ReadChannelInfo(1);
  EXPECT_EQ(c.Scan, 7);
  EXPECT_EQ(c.Kind, 1);
  EXPECT_EQ(c.Range, 2.5f);
  EXPECT_EQ(c.Cal, 1e-13f);
  EXPECT_EQ(c.Coil, 3022);
  EXPECT_EQ(std::vector<float>(c.Loc, c.Loc + 12), loc);
  EXPECT_EQ(c.Unit, 112);
  EXPECT_EQ(c.UnitMul, -15);
  EXPECT_EQ(c.Name, full);
  EXPECT_EQ(f.ReadChannelInfo(2).Name, "EEG 001");
}

TEST(Primitives, BigEndianValuesAndReadsPastTheEnd) {
  TTempDir dir;
  TFiffBuilder b;
  b.Tag(1, 0, {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFE, 0x3F, 0x80, 0x00, 0x00, 0x12});
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(b.Write(dir.File("p.fif"))));
  f.SeekTagData(1);
  EXPECT_EQ(f.ReadShort(), -2);
  const int64_t at = f.Position();
  EXPECT_EQ(f.ReadLong(), -2);
  f.SetPosition(at);
  EXPECT_EQ(f.ReadLongWord(), 4294967294u);
  EXPECT_EQ(f.ReadSingle(), 1.0f);
  // One byte left: the missing three read as zeros and the position still moves by four.
  EXPECT_EQ(f.ReadLongWord(), 0x12000000u);
  EXPECT_EQ(f.Position(), static_cast<int64_t>(b.Size()) + 3);
  EXPECT_EQ(f.ReadShort(), 0);
  f.SetPosition(-1);
  EXPECT_EQ(f.ReadLongWord(), 0u);  // one byte before the file, then 00 00 00
  EXPECT_EQ(f.ReadByte(), 100);     // the last byte of kind 100
  f.SeekTagOffset(1, 16);
  const int64_t viaOffset = f.Position();
  f.SeekTagData(1);
  EXPECT_EQ(f.Position(), viaOffset);
}

}  // namespace
