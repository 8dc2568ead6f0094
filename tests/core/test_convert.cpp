// The conversion: calibration, raw data, the split into a series and the driver's checks.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>

#include "convert_helpers.h"

namespace {

// Samples of one buffer: channel c at sample t is Base + 10 * t + c.
std::vector<int16_t> Samples(int Channels, int Count, int Base) {
  std::vector<int16_t> v;
  for (int t = 0; t < Count; ++t)
    for (int c = 0; c < Channels; ++c) v.push_back(static_cast<int16_t>(Base + 10 * t + c));
  return v;
}

TFiffBuilder ThreeChannels() {
  TFiffBuilder b;
  b.Int(200, 3).Float(201, 250.0f);
  b.Channel({.Scan = 1, .Range = 2.0f, .Cal = 3.0f})
      .Channel({.Scan = 2, .Range = 0.5f, .Cal = 4.0f, .Coil = 3022})
      .Channel({.Scan = 3, .Kind = 2, .Range = 1.5f, .Cal = 2.0f, .Coil = 0});
  return b;
}

TEST(RawData, SamplesChannelByChannelWithTheirCalibration) {
  TTempDir dir;
  TFiffBuilder b = ThreeChannels();
  b.RawBuffer(Samples(3, 4, 0)).RawBuffer(Samples(3, 2, -1000));
  const auto c = Convert(b, dir);
  ASSERT_EQ(c.Files, std::vector<std::string>{dir.File("in.dat")});
  EXPECT_EQ(Names(c.Only()), (std::vector<std::string>{"ChInform", "CalXRnge", "raw_data"}));
  const TScilabVar& raw = FindOne(c.Only(), "raw_data");
  ASSERT_EQ(raw.Rows, 3);
  ASSERT_EQ(raw.Cols, 6);
  for (int ch = 0; ch < 3; ++ch) {
    for (int t = 0; t < 4; ++t) EXPECT_EQ(raw.Short(ch, t), 10 * t + ch);
    for (int t = 0; t < 2; ++t) EXPECT_EQ(raw.Short(ch, 4 + t), -1000 + 10 * t + ch);
  }
  const TScilabVar& cal = FindOne(c.Only(), "CalXRnge");
  ASSERT_EQ(cal.Rows, 1);
  ASSERT_EQ(cal.Cols, 4);
  EXPECT_EQ(cal.Reals[0], 2.0 * 1e13 * 3.0);
  EXPECT_EQ(cal.Reals[1], 0.5 * 1e13 * 4.0 * 100);  // coil 3022 carries a further 100
  EXPECT_EQ(cal.Reals[2], 1.5 * 1e6 * 2.0);
  EXPECT_EQ(cal.Reals[3], 250.0);
  // The stored name codes are those of CalXRnge as Scilab packs it.
  EXPECT_EQ(cal.NameBytes[4], 229);
}

TEST(RawData, OddSizesSkipLeftoverBytesAndKeepHeadersTrue) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 2).Tag(300, kTypeShort, BEShorts({1, 2, 3, 4, 5}) + TBytes{9});  // 11 bytes: 2 samples
  const auto c = Convert(b, dir);
  const TScilabVar& raw = FindOne(c.Only(), "raw_data");
  EXPECT_EQ(raw.Cols, 2);
  EXPECT_EQ(raw.Shorts, (std::vector<int16_t>{1, 2, 3, 4}));
  EXPECT_TRUE(FindAll(c.Only(), "CalXRnge").empty());  // no channel information, no vector
}

TEST(RawData, DefaultsWithoutCountOrFrequency) {
  TTempDir dir;
  TFiffBuilder b;
  b.Channel({.Scan = 1, .Kind = 3, .Coil = 0}).RawBuffer({7, 8, 9});
  const auto c = Convert(b, dir);
  EXPECT_EQ(FindOne(c.Only(), "raw_data").Rows, 1);
  EXPECT_EQ(FindOne(c.Only(), "raw_data").Shorts, (std::vector<int16_t>{7, 8, 9}));
  EXPECT_EQ(FindOne(c.Only(), "CalXRnge").Reals, (std::vector<double>{1.0, 1.0}));
}

TEST(Calibration, SecondCountStartsASecondVector) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 1)
      .Channel({.Scan = 1, .Kind = 2, .Coil = 0})
      .Int(200, 2)
      .Channel({.Scan = 1, .Kind = 3, .Range = 2.0f, .Coil = 0})
      .Channel({.Scan = 2, .Kind = 3, .Range = 3.0f, .Coil = 0});
  b.RawBuffer({1, 2});
  const auto c = Convert(b, dir);
  const auto cals = FindAll(c.Only(), "CalXRnge");
  ASSERT_EQ(cals.size(), 2u);
  EXPECT_EQ(cals[0]->Reals, (std::vector<double>{1e6, 1.0}));
  EXPECT_EQ(cals[1]->Reals, (std::vector<double>{2.0, 3.0, 1.0}));
  EXPECT_EQ(FindOne(c.Only(), "raw_data").Rows, 2);
}

TEST(Calibration, VectorsCutShortAreCompletedWithNaN) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 4)
      .Float(201, 100.0f)
      .Channel({.Scan = 1, .Kind = 3, .Range = 2.0f, .Coil = 0})
      .Channel({.Scan = 2, .Kind = 3, .Range = 5.0f, .Coil = 0});
  b.RawBuffer(Samples(4, 2, 0));
  const auto c = Convert(b, dir);
  const auto& v = FindOne(c.Only(), "CalXRnge").Reals;
  ASSERT_EQ(v.size(), 5u);
  EXPECT_EQ(v[0], 2.0);
  EXPECT_EQ(v[1], 5.0);
  EXPECT_TRUE(std::isnan(v[2]) && std::isnan(v[3]));
  EXPECT_EQ(v[4], 100.0);

  // A new count in the middle of a vector closes it the same way.
  TFiffBuilder mid;
  mid.Int(200, 3)
      .Channel({.Scan = 1, .Kind = 3, .Coil = 0})
      .Int(200, 1)
      .Channel({.Scan = 1, .Kind = 3, .Range = 7.0f, .Coil = 0})
      .RawBuffer({1});
  const auto m = Convert(mid, dir);
  const auto cals = FindAll(m.Only(), "CalXRnge");
  ASSERT_EQ(cals.size(), 2u);
  EXPECT_EQ(cals[0]->Reals.size(), 4u);
  EXPECT_TRUE(std::isnan(cals[0]->Reals[1]));
  EXPECT_EQ(cals[1]->Reals, (std::vector<double>{7.0, 1.0}));
}

TEST(Calibration, HpiFitsBeforeTheChannelsDoNotStopIt) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 2)
      .Tag(241, kTypeFloat, BEFloats({0.99f}))
      .Channel({.Scan = 1, .Kind = 3, .Range = 2.0f, .Coil = 0})
      .Channel({.Scan = 2, .Kind = 3, .Range = 3.0f, .Coil = 0});
  b.Tag(241, kTypeFloat, BEFloats({0.99f})).RawBuffer(Samples(2, 3, 0));
  const auto c = Convert(b, dir);
  EXPECT_EQ(FindOne(c.Only(), "CalXRnge").Reals, (std::vector<double>{2.0, 3.0, 1.0}));
  EXPECT_EQ(FindOne(c.Only(), "raw_data").Cols, 3);
}

TEST(Calibration, StopsEndOnlyTheVectorNotTheDataCount) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 1)
      .Channel({.Scan = 1, .Kind = 3, .Coil = 0})
      .Channel({.Scan = 2, .Kind = 3, .Coil = 0})
      .RawBuffer({1, 2})
      .RawBuffer({3});
  const auto c = Convert(b, dir);
  EXPECT_EQ(FindOne(c.Only(), "raw_data").Shorts, (std::vector<int16_t>{1, 2, 3}));
  // A fit that ends a begun vector early leaves its tail NaN, and the data still count.
  TFiffBuilder h;
  h.Int(200, 2)
      .Channel({.Scan = 1, .Kind = 3, .Coil = 0})
      .Tag(241, kTypeFloat, {})
      .Channel({.Scan = 2, .Kind = 3, .Coil = 0})
      .RawBuffer({1, 2});
  const auto d = Convert(h, dir);
  const auto& v = FindOne(d.Only(), "CalXRnge").Reals;
  ASSERT_EQ(v.size(), 3u);
  EXPECT_TRUE(std::isnan(v[1]));
  EXPECT_EQ(FindOne(d.Only(), "raw_data").Cols, 1);
}

TEST(RawData, ChannelCountChangingBetweenBuffersKeepsTheRows) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 2).RawBuffer({1, 2, 3, 4}).Int(200, 3).RawBuffer({5, 6, 7, 8, 9, 10});
  const auto c = Convert(b, dir);
  const TScilabVar& raw = FindOne(c.Only(), "raw_data");
  EXPECT_EQ(raw.Rows, 2);
  EXPECT_EQ(raw.Shorts, (std::vector<int16_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST(RawData, OnlySixteenBitBuffersAreConverted) {
  for (int32_t type : {0, 1, 3, 4, 5, 20}) {
    TTempDir dir;
    TFiffBuilder b;
    b.Int(200, 1).RawBuffer({1, 2}).Tag(300, type, TBytes(8, 0));
    b.Write(dir.File("in.fif"));
    TFiff f;
    ASSERT_TRUE(f.LoadFiff(dir.File("in.fif")));
    try {
      ConvertFiff(f, 50'000'000);
      FAIL() << "type " << type << " was converted";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(dir.File("in.fif")), std::string::npos);
      EXPECT_NE(std::string(e.what()).find("data type " + std::to_string(type)), std::string::npos);
    }
    EXPECT_EQ(ListDir(dir.Path()), "in.fif");  // nothing written
  }
  TTempDir dir;
  TFiffBuilder ok;
  ok.Int(200, 1).RawBuffer({1}).RawBuffer({2}, kTypeDauPack16);
  EXPECT_EQ(FindOne(Convert(ok, dir).Only(), "raw_data").Shorts, (std::vector<int16_t>{1, 2}));
}

TEST(RawData, NoChannelsForDataIsAnError) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 0).RawBuffer({1, 2});
  EXPECT_THROW(Convert(b, dir), TInputError);  // a refusal, which the command line and the fuzzer tell from a fault
  EXPECT_EQ(ListDir(dir.Path()), "in.fif");
}

TEST(Progress, SecondsWrittenAfterEachBufferThenDone) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 2).Float(201, 4.0f);
  for (int i = 0; i < 3; ++i) b.RawBuffer(Samples(2, 5, i));
  std::vector<TConvertProgress> told;
  Convert(b, dir, 50'000'000, [&](const TConvertProgress& p) { told.push_back(p); });
  ASSERT_EQ(told.size(), 4u);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(told[k].OutputFile, dir.File("in.dat"));
    EXPECT_EQ(told[k].SecondsWritten, 1.25 * (k + 1));
    EXPECT_FALSE(told[k].RawDataDone);
    EXPECT_EQ(told[k].BytesDone, 20 * (k + 1));
    EXPECT_EQ(told[k].BytesTotal, 60);
  }
  EXPECT_TRUE(told[3].RawDataDone);
  EXPECT_EQ(told[3].SecondsWritten, 3.75);
}

// Buffers of 100 bytes (one channel, 50 samples) after a 36-byte signature tag.
TFiffBuilder Series(int Buffers) {
  TFiffBuilder b;
  b.Int(200, 1).Float(201, 10.0f).Channel({.Scan = 1, .Kind = 3, .Coil = 0});
  for (int i = 0; i < Buffers; ++i) b.RawBuffer(std::vector<int16_t>(50, static_cast<int16_t>(i)));
  return b;
}

std::vector<int16_t> AllSamples(const TConverted& C) {
  std::vector<int16_t> all;
  for (const auto& vars : C.Vars) {
    const auto& raw = FindOne(vars, "raw_data").Shorts;
    all.insert(all.end(), raw.begin(), raw.end());
  }
  return all;
}

TEST(Series, ExactlyTheLimitIsOneFileOneByteMoreASeries) {
  TTempDir dir;
  const TFiffBuilder b = Series(5);
  const int64_t size = static_cast<int64_t>(b.Size());
  EXPECT_EQ(Convert(b, dir, size).Files, std::vector<std::string>{dir.File("in.dat")});
  std::filesystem::remove(dir.File("in.dat"));
  // The whole file exceeds the limit, its data do not: a series of one.
  EXPECT_EQ(Convert(b, dir, size - 1).Files, std::vector<std::string>{dir.File("in_01.dat")});
  const auto c = Convert(b, dir, 250);
  ASSERT_EQ(c.Files.size(), 2u);
  EXPECT_EQ(c.Files[1], dir.File("in_02.dat"));
}

TEST(Series, EachFileTakesBuffersUntilTheTotalExceedsTheLimit) {
  TTempDir dir;
  const auto c = Convert(Series(7), dir, 250);  // 100-byte buffers: three per file
  ASSERT_EQ(c.Files.size(), 3u);
  std::vector<int32_t> cols;
  for (const auto& vars : c.Vars) {
    cols.push_back(FindOne(vars, "raw_data").Cols);
    EXPECT_EQ(Names(vars), (std::vector<std::string>{"ChInform", "CalXRnge", "raw_data"}));
  }
  EXPECT_EQ(cols, (std::vector<int32_t>{150, 150, 50}));
  std::vector<int16_t> expect;
  for (int i = 0; i < 7; ++i) expect.insert(expect.end(), 50, static_cast<int16_t>(i));
  EXPECT_EQ(AllSamples(c), expect);
}

TEST(Series, SplitAtTheLastBufferLeavesAnEmptyLastFile) {
  TTempDir dir;
  const auto c = Convert(Series(6), dir, 250);
  ASSERT_EQ(c.Files.size(), 3u);
  EXPECT_EQ(c.Files[2], dir.File("in_03.dat"));
  const TScilabVar& last = FindOne(c.Vars[2], "raw_data");
  EXPECT_EQ(last.Rows, 1);
  EXPECT_EQ(last.Cols, 0);
  EXPECT_EQ(AllSamples(c).size(), 300u);
}

TEST(Series, ABufferLargerThanTheLimitEndsItsFile) {
  TTempDir dir;
  TFiffBuilder b = Series(1);
  b.RawBuffer(std::vector<int16_t>(500, 9)).RawBuffer(std::vector<int16_t>(10, 8));
  const auto c = Convert(b, dir, 150);
  ASSERT_EQ(c.Files.size(), 2u);
  EXPECT_EQ(FindOne(c.Vars[0], "raw_data").Cols, 50 + 500);
  EXPECT_EQ(FindOne(c.Vars[1], "raw_data").Cols, 10);
  // As the first buffer after a file's start it is that file's only buffer.
  TFiffBuilder first = Series(0);
  first.RawBuffer(std::vector<int16_t>(500, 9)).RawBuffer(std::vector<int16_t>(10, 8));
  const auto d = Convert(first, dir, 150);
  EXPECT_EQ(FindOne(d.Vars[0], "raw_data").Cols, 500);
}

TEST(Series, NamesFromZeroOneToOneHundred) {
  TTempDir dir;
  const auto c = Convert(Series(100), dir, 50);  // every buffer exceeds: one file each, and one more
  ASSERT_EQ(c.Files.size(), 101u);
  EXPECT_EQ(c.Files[8], dir.File("in_09.dat"));
  EXPECT_EQ(c.Files[98], dir.File("in_99.dat"));
  EXPECT_EQ(c.Files[99], dir.File("in_100.dat"));
  EXPECT_EQ(c.Files[100], dir.File("in_101.dat"));
}

TEST(Outputs, NamedBesideTheInput) {
  EXPECT_EQ(OutputBaseName("/data/subj.01/run"), "/data/subj.01/run");
  EXPECT_EQ(OutputBaseName("/data/subj.01/run.fif"), "/data/subj.01/run");
  EXPECT_EQ(OutputBaseName("/data/run.raw.fif"), "/data/run.raw");
  EXPECT_EQ(OutputBaseName("run"), "run");
  EXPECT_EQ(OutputBaseName("D:/meg/run1.fif"), "D:/meg/run1");
  TTempDir dir;
  std::filesystem::create_directory(dir.File("subj.01"));
  const std::string path = Series(1).Write(dir.File("subj.01/run"));
  EXPECT_EQ(ConvertFile(path).Files, std::vector<std::string>{dir.File("subj.01/run.dat")});
}

TEST(Outputs, NeverOverwriteTheInput) {
  TTempDir dir;
  const std::string path = Series(2).Write(dir.File("x.dat"));
  const TBytes before = ReadFileBytes(path);
  EXPECT_THROW(ConvertFile(path), std::runtime_error);
  EXPECT_EQ(ReadFileBytes(path), before);
  // Nor through another name for the same file.
  ::symlink(path.c_str(), dir.File("y.fif").c_str());
  ::unlink(dir.File("y.dat").c_str());
  ::symlink(path.c_str(), dir.File("y.dat").c_str());
  EXPECT_THROW(ConvertFile(dir.File("y.fif")), std::runtime_error);
  EXPECT_EQ(ReadFileBytes(path), before);
}

TEST(Outputs, AFailedFileLeavesNoTemporaryAndKeepsTheOlderOutput) {
  TTempDir dir;
  std::filesystem::create_directory(dir.File("in.dat"));
  try {
    Convert(Series(2), dir);
    FAIL();
  } catch (const std::system_error& e) {
    EXPECT_NE(std::string(e.what()).find(dir.File("in.dat")), std::string::npos);
  }
  EXPECT_EQ(ListDir(dir.Path()), "in.dat in.fif");
}

TEST(Outputs, ReadOnlyFolderKeepsTheOlderOutput) {
  // A read-only folder: nothing can be created, the older output stays as it was.
  TTempDir ro;
  WriteFileBytes(ro.File("in.dat"), TBytes{1, 2, 3});
  Series(2).Write(ro.File("in.fif"));
  ::chmod(ro.Path().c_str(), 0555);
  if (::access(ro.Path().c_str(), W_OK) == 0) GTEST_SKIP() << "this user writes into read-only folders (root)";
  EXPECT_THROW(ConvertFile(ro.File("in.fif")), std::system_error);
  EXPECT_EQ(ReadFileBytes(ro.File("in.dat")), (TBytes{1, 2, 3}));
  EXPECT_EQ(ListDir(ro.Path()), "in.dat in.fif");
}

TEST(Outputs, ExistingOutputIsReplacedWhole) {
  TTempDir dir;
  WriteFileBytes(dir.File("in.dat"), TBytes(100000, 0xAB));
  const auto c = Convert(Series(1), dir);
  EXPECT_EQ(ListDir(dir.Path()), "in.dat in.fif");
  EXPECT_EQ(FindOne(c.Only(), "raw_data").Cols, 50);
}

// The samples reach raw_data the same however the buffers lie in the file: one large buffer,
// buffers of one sample (many to one read of the file, some across its edge), of 37 samples, of 107
// samples (each read on its own), or of one sample with another tag between them; 16-bit values,
// and 32-bit integers, floats and doubles stored as doubles. The 16-bit matrix is more than one
// staging buffer.
TEST(RawData, TheSameSamplesWhateverTheBuffersSizeTypeAndPlace) {
  TTempDir dir;
  constexpr int kChannels = 306;
  const struct {
    int32_t Type;
    int Samples;
  } kTypes[] = {{kTypeShort, 20000}, {kTypeInt, 2000}, {kTypeFloat, 2000}, {kTypeDouble, 2000}};
  const struct {
    int PerBuffer;  // 0: all in one
    bool TagBetween;
  } kLayouts[] = {{0, false}, {1, false}, {37, false}, {107, false}, {1, true}};
  // Value k as raw_data holds it, appended to Data as the type stores it (big-endian).
  auto value = [](int32_t Type, int64_t K, TBytes& Data) -> double {
    TBytes b;
    double v;
    if (Type == kTypeShort) {
      const auto x = static_cast<int16_t>(K * 7919 % 65536);
      b = BE16(x), v = x;
    } else if (Type == kTypeInt) {
      const auto x = static_cast<int32_t>(K * 104729 - (1 << 30));
      b = BE32(x), v = x;
    } else if (Type == kTypeFloat) {
      const float x = static_cast<float>(K) * 0.25f - 1000.5f;
      b = BEFloat(x), v = x;
    } else {
      v = static_cast<double>(K) * 1e-3 + 1e9;
      const auto bits = std::bit_cast<uint64_t>(v);
      b = BE32(static_cast<int32_t>(bits >> 32)) + BE32(static_cast<int32_t>(bits));
    }
    Data.insert(Data.end(), b.begin(), b.end());
    return v;
  };
  for (const auto& type : kTypes) {
    for (const auto& layout : kLayouts) {
      TFiffBuilder b;
      b.Int(200, kChannels).Float(201, 1000.0f);
      std::vector<double> expected;
      const int per = layout.PerBuffer > 0 ? layout.PerBuffer : type.Samples;
      for (int t = 0; t < type.Samples; t += per) {
        TBytes data;
        const int n = std::min(per, type.Samples - t);
        for (int64_t k = int64_t{t} * kChannels; k < int64_t{t + n} * kChannels; ++k)
          expected.push_back(value(type.Type, k, data));
        b.Tag(300, type.Type, data);
        if (layout.TagBetween) b.Text(206, "between");
      }
      TFiff f;
      ASSERT_TRUE(f.LoadFiff(b.Write(dir.File("in.fif"))));
      TConvertOptions o;
      o.RawAsDouble = true;
      const TScilabVar raw = FindOne(ReadScilabFile(ConvertFiff(f, o).at(0)), "raw_data");
      const std::string label = std::to_string(type.Type) + "/" + std::to_string(layout.PerBuffer);
      ASSERT_EQ(raw.Rows, kChannels) << label;
      ASSERT_EQ(raw.Cols, type.Samples) << label;
      if (type.Type == kTypeShort)
        EXPECT_TRUE(std::equal(raw.Shorts.begin(), raw.Shorts.end(), expected.begin(), expected.end())) << label;
      else
        EXPECT_TRUE(raw.Reals == expected) << label;
    }
  }
}

}  // namespace
