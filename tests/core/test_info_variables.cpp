// The measurement-information variables: positions, projections, points, averages, MRI volumes.
#include <gtest/gtest.h>

#include <cmath>

#include "convert_helpers.h"

namespace {

TEST(ChInform, OneColumnPerChannelListedOnce) {
  TTempDir dir;
  TFiffBuilder b;
  for (int s = 1; s <= 306; ++s) b.Channel({.Scan = s, .Loc = Locations(s * 100.0f)});
  for (int s = 1; s <= 306; ++s) b.Channel({.Scan = s, .Loc = Locations(-1.0f)});  // the list again
  const auto c = Convert(b, dir);
  EXPECT_EQ(Names(c.Only()), std::vector<std::string>{"ChInform"});  // no data, no CalXRnge
  const TScilabVar& ch = FindOne(c.Only(), "ChInform");
  ASSERT_EQ(ch.Rows, 12);
  ASSERT_EQ(ch.Cols, 306);
  EXPECT_EQ(ch.Real(0, 0), 100.0);
  EXPECT_EQ(ch.Real(11, 305), 30600.0 + 11);

  TFiffBuilder dup;
  dup.Channel({.Scan = 1, .Loc = Locations(1)})
      .Channel({.Scan = 2, .Loc = Locations(2)})
      .Channel({.Scan = 2, .Loc = Locations(3)})
      .Channel({.Scan = 3, .Loc = Locations(4)});
  const TScilabVar d = FindOne(Convert(dup, dir).Only(), "ChInform");
  ASSERT_EQ(d.Cols, 3);
  EXPECT_EQ(d.Real(0, 2), 4.0);
}

TEST(Projections, OneVariablePerVectorUntilTheFrequency) {
  TTempDir dir;
  std::vector<float> v(1224);
  for (size_t k = 0; k < v.size(); ++k) v[k] = 0.5f * k;
  TFiffBuilder b;
  b.Projection(v).Projection({1.0f, 2.0f}).Float(201, 1000.0f).Projection({3.0f});
  const auto c = Convert(b, dir);
  EXPECT_EQ(Names(c.Only()), (std::vector<std::string>{"PCA_0001", "PCA_0002"}));
  const TScilabVar& p = FindOne(c.Only(), "PCA_0001");
  EXPECT_EQ(p.Rows, 1224);  // 4,908 bytes
  EXPECT_EQ(p.Cols, 1);
  EXPECT_EQ(p.Reals[1223], 611.5);
  EXPECT_EQ(FindOne(c.Only(), "PCA_0002").Reals, (std::vector<double>{1.0, 2.0}));

  TFiffBuilder tiny;
  tiny.Tag(3415, 4, TBytes(4, 0));
  EXPECT_EQ(FindOne(Convert(tiny, dir).Only(), "PCA_0001").Rows, 0);  // too small for a vector
}

TEST(DigitPts, PointsAfterTheFirstSlopesColumnByColumn) {
  TTempDir dir;
  TFiffBuilder b;
  for (int i = 0; i < 10; ++i) b.DigPoint(3, i, 99, 99, 99);
  b.Tag(215, kTypeFloat, {});
  for (int i = 0; i < 4; ++i) b.DigPoint(3, i, 1.0f + i, 10.0f + i, 100.0f + i);
  b.Tag(215, kTypeFloat, {}).DigPoint(4, 9, 5, 15, 105);
  const TScilabVar d = FindOne(Convert(b, dir).Only(), "DigitPts");
  ASSERT_EQ(d.Rows, 5);
  ASSERT_EQ(d.Cols, 3);
  EXPECT_EQ(d.Reals, (std::vector<double>{1, 2, 3, 4, 5, 10, 11, 12, 13, 15, 100, 101, 102, 103, 105}));

  TFiffBuilder none;
  none.DigPoint(1, 1, 0, 0, 0);
  EXPECT_TRUE(Convert(none, dir).Only().empty());
}

// Two channels (MEG coil 3022 and EEG), an average from -100 to 399 at 1000 Hz.
TFiffBuilder Average(int Epochs, int Samples) {
  TFiffBuilder b;
  b.Int(200, 2)
      .Float(201, 1000.0f)
      .Channel({.Scan = 1, .Cal = 1.5f, .Coil = 3022, .Loc = Locations(0)})
      .Channel({.Scan = 2, .Kind = 2, .Cal = 3.0f, .Coil = 0, .Loc = Locations(0)});
  b.Int(208, -100).Int(209, -100 + Samples - 1);
  for (int e = 0; e < Epochs; ++e) {
    std::vector<int16_t> s;
    for (int k = 0; k < Samples; ++k) s.push_back(static_cast<int16_t>(k - e));
    b.Epoch(0.25f, 2.0f, s);
  }
  return b;
}

TEST(Averages, CalibratedColumnsAndATimeColumnInMilliseconds) {
  TTempDir dir;
  const auto c = Convert(Average(2, 500), dir);
  const TScilabVar& a = FindOne(c.Only(), "ave_0001");
  ASSERT_EQ(a.Rows, 500);
  ASSERT_EQ(a.Cols, 3);
  // The factor table is single precision: 1.5 x 1e13 as a float, then x 100 for coil 3022.
  const float meg = static_cast<float>(1.5f * 1e13f) * 100.0f;
  EXPECT_EQ(a.Real(7, 0), (7 * 2.0 + 0.25) * meg);
  EXPECT_EQ(a.Real(7, 1), (6 * 2.0 + 0.25) * static_cast<double>(3.0f * 1e6f));
  for (int k = 0; k < 500; ++k) EXPECT_EQ(a.Real(k, 2), -100.0 + k) << k;
}

TEST(Averages, NumberedAndRestartedByTheirEpochs) {
  TTempDir dir;
  TFiffBuilder b = Average(4, 3);  // two averages of two channels
  b.Int(200, 1).Epoch(0, 1, {5, 6, 7});
  const auto c = Convert(b, dir);
  EXPECT_EQ(Names(c.Only()), (std::vector<std::string>{"ChInform", "ave_0001", "ave_0002", "ave_0003"}));
  EXPECT_EQ(FindOne(c.Only(), "ave_0003").Cols, 2);
  // Scan 1's factor serves the first column of every average.
  const float meg = static_cast<float>(1.5f * 1e13f) * 100.0f;
  EXPECT_EQ(FindOne(c.Only(), "ave_0003").Real(0, 0), 5.0 * meg);
}

TEST(Averages, CutShortOrMismatchedAveragesStayWhole) {
  TTempDir dir;
  // Ended by a goodness limit after one of two epochs: NaN column, then the time column.
  TFiffBuilder cut = Average(1, 4);
  cut.Float(243, 0.98f).Epoch(0, 1, {1, 2, 3, 4});
  const TScilabVar a = FindOne(Convert(cut, dir).Only(), "ave_0001");
  ASSERT_EQ(a.Cols, 3);
  EXPECT_TRUE(std::isnan(a.Real(0, 1)) && std::isnan(a.Real(3, 1)));
  EXPECT_EQ(a.Real(3, 2), -97.0);

  // Ended by the directory; a shorter second epoch is padded, a longer one cut.
  TFiffBuilder pad;
  pad.Int(200, 3).Float(201, 500.0f).Int(208, 10).Int(209, 11);
  pad.Epoch(0, 1, {1, 2, 3}).Epoch(0, 1, {4}).Epoch(0, 1, {5, 6, 7, 8, 9});
  pad.Int(200, 2).Epoch(0, 1, {1});
  const auto p = Convert(pad, dir);
  const TScilabVar& q = FindOne(p.Only(), "ave_0001");
  ASSERT_EQ(q.Rows, 3);
  EXPECT_EQ(q.Real(0, 1), 4.0);  // no channel information: factor 1
  EXPECT_TRUE(std::isnan(q.Real(1, 1)));
  EXPECT_EQ(q.Real(2, 2), 7.0);
  EXPECT_EQ(q.Real(2, 3), 12 / 500.0 * 1000);  // three rows from the first sample 10
  const TScilabVar& r = FindOne(p.Only(), "ave_0002");
  EXPECT_EQ(r.Cols, 3);
  EXPECT_TRUE(std::isnan(r.Real(0, 1)));
}

TEST(Averages, OnlyPackedSixteenBitEpochs) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 1).Tag(302, kTypeFloat, BEFloats({1, 2, 3})).Epoch(0, 1, {7, 8});
  b.Tag(302, kTypeOldPack, TBytes(4, 0));  // too short for its offset and scale
  const auto c = Convert(b, dir);
  EXPECT_EQ(Names(c.Only()), std::vector<std::string>{"ave_0001"});
  EXPECT_EQ(FindOne(c.Only(), "ave_0001").Reals, (std::vector<double>{7, 8, 0, 1000}));

  TFiffBuilder noCount;
  noCount.Epoch(0, 1, {1});  // no channels: no average to fill
  EXPECT_TRUE(Convert(noCount, dir).Only().empty());
}

std::vector<float> Transform(float Base) {
  std::vector<float> t(24);
  for (int k = 0; k < 24; ++k) t[k] = Base + k;
  return t;
}

TEST(MriVolume, SlicesKeepTheirPixelsInPlace) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(2010, 3).Int(2012, 2);  // 3 wide, 2 high
  b.Tag(2006, 1, {1, 2, 3, 4, 5, 6}).Transform(6, 5, Transform(0));
  b.Tag(2006, 1, {7, 8, 9, 10, 11, 12}).Transform(6, 5, Transform(100)).Transform(4, 5, Transform(-1));
  const auto c = Convert(b, dir);
  EXPECT_EQ(Names(c.Only()), (std::vector<std::string>{"Volume3D", "slice2MR"}));
  const TScilabVar& v = FindOne(c.Only(), "Volume3D");
  EXPECT_EQ(v.Dims[0], 2);
  EXPECT_EQ(v.Dims[1], 3);
  EXPECT_EQ(v.Dims[2], 2);
  // Each slice is a matrix of 2 rows and 3 columns, column by column.
  EXPECT_EQ(v.Bytes, (TBytes{1, 4, 2, 5, 3, 6, 7, 10, 8, 11, 9, 12}));
  const TScilabVar& s = FindOne(c.Only(), "slice2MR");
  EXPECT_EQ(s.Dims[2], 2);
  EXPECT_EQ(s.Reals[0], 0.0);
  EXPECT_EQ(s.Reals[24 + 23], 123.0);
}

TEST(MriVolume, CountsAndSizesThatDoNotAgree) {
  TTempDir dir;
  TFiffBuilder unequal;
  unequal.Int(2010, 2).Int(2012, 2).Tag(2006, 1, TBytes(4, 1)).Tag(2006, 1, TBytes(5, 1));
  unequal.Transform(6, 5, Transform(0));
  EXPECT_TRUE(Convert(unequal, dir).Only().empty());

  // More transforms than slices: the volume has its slices, slice2MR its transforms.
  TFiffBuilder more;
  more.Int(2010, 2).Int(2012, 2).Tag(2006, 1, TBytes(4, 1));
  more.Transform(6, 5, Transform(0)).Transform(6, 5, Transform(0));
  const auto m = Convert(more, dir);
  EXPECT_EQ(FindOne(m.Only(), "Volume3D").Dims[2], 1);
  EXPECT_EQ(FindOne(m.Only(), "slice2MR").Dims[2], 2);

  // Dimensions far beyond the pixel data: no volume, the transforms still.
  TFiffBuilder absurd;
  absurd.Int(2010, 100000).Int(2012, 100000).Tag(2006, 1, TBytes(16, 1)).Transform(6, 5, Transform(0));
  EXPECT_EQ(Names(Convert(absurd, dir).Only()), std::vector<std::string>{"slice2MR"});

  TFiffBuilder none;
  none.Int(2010, 2).Int(2012, 2).Tag(2006, 1, TBytes(4, 1)).Transform(5, 6, Transform(0));
  EXPECT_TRUE(Convert(none, dir).Only().empty());
}

TEST(Variables, OrderInEveryFileOfASeries) {
  TTempDir dir;
  TFiffBuilder b;
  b.Projection({1})
      .Tag(215, 0, {})
      .DigPoint(1, 1, 0, 0, 0)
      .Int(200, 1)
      .Float(201, 1.0f)
      .Channel({.Scan = 1, .Loc = Locations(0)});
  b.Int(2010, 1).Int(2012, 1).Tag(2006, 1, {9}).Transform(6, 5, Transform(0)).Epoch(0, 1, {1});
  for (int i = 0; i < 3; ++i) b.RawBuffer(std::vector<int16_t>(50, 1));
  const auto c = Convert(b, dir, 150);
  ASSERT_EQ(c.Files.size(), 2u);
  for (const auto& vars : c.Vars)
    EXPECT_EQ(Names(vars), (std::vector<std::string>{"ChInform", "PCA_0001", "DigitPts", "ave_0001", "Volume3D",
                                                     "slice2MR", "CalXRnge", "raw_data"}));
}

}  // namespace

namespace {

int64_t FilesBytes(const TConverted& C) {
  int64_t total = 0;
  for (const auto& f : C.Files) total += static_cast<int64_t>(ReadFileBytes(f).size());
  return total;
}

// Each case repeats a small pattern that used to invent far more than it holds: the first
// repeats fit the budget, the rest are left out, and an average with a value in every place
// (the last) is written whatever is left.
TEST(InventedValues, TheBudgetBoundsEveryKindOfCompletion) {
  TTempDir dir;
  const struct {
    const char* Case;
    TBytes Pattern;
    int Repeats;
  } kCases[] = {
      {"averages cut short", (TFiffBuilder::Empty().Int(200, 5000).Epoch(0, 1, {1})).Data(), 2000},
      {"calibration vectors cut short",
       (TFiffBuilder::Empty().Int(200, 3000).Channel({.Scan = 1, .Loc = Locations(0)})).Data(), 300},
      {"epochs padded to a long first one",
       (TFiffBuilder::Empty().Int(200, 200).Epoch(0, 1, std::vector<int16_t>(20000, 1)).Epoch(0, 1, {})).Data(), 30},
  };
  for (const auto& k : kCases) {
    TFiffBuilder b;
    for (int r = 0; r < k.Repeats; ++r) b.Bytes(k.Pattern);
    b.Int(200, 2).Epoch(0, 1, {1, 2}).Epoch(0, 1, {3, 4}).RawBuffer(std::vector<int16_t>(3000, 1));
    const auto c = Convert(b, dir);
    EXPECT_LE(FilesBytes(c), OutputBytesAllowed(static_cast<int64_t>(b.Size()))) << k.Case;
    const TScilabVar* last = nullptr;
    int averages = 0;
    for (const auto& v : c.Only())
      if (v.Name.rfind("ave_", 0) == 0) last = &v, ++averages;
    ASSERT_NE(last, nullptr) << k.Case;
    ASSERT_EQ(last->Reals.size(), 6u) << k.Case;  // its first column may take a channel's factor
    EXPECT_EQ(std::vector<double>(last->Reals.begin() + 2, last->Reals.end()), (std::vector<double>{3, 4, 0, 1000}))
        << k.Case;
    if (std::string(k.Case) == "averages cut short") {
      // 4,999 NaN columns of one row each: as many as the budget (8 x the input + 1 MiB) holds, and
      // the complete one.
      EXPECT_EQ(averages, (8 * static_cast<int64_t>(b.Size()) + 1048576) / (8 * 4999) + 1);
      EXPECT_EQ(FindOne(c.Only(), "ave_0001").Cols, 5001);
    }
  }
}

}  // namespace
