// The measurement summary, section by section, compared as whole line lists.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "summary_helpers.h"

namespace {

// Channels with rising scan numbers from Start.
void AddChannels(TFiffBuilder& B, int& Scan, int Count, int32_t Kind, int32_t Coil) {
  for (int i = 0; i < Count; ++i) B.Channel({.Scan = Scan++, .Kind = Kind, .Coil = Coil});
}

TLines ChannelSection(const std::string& Category, const std::string& Bad = "no bad channel") {
  return {"", "****** channel informatin ******", Category, Bad};
}

TEST(ChannelSection, CategoryLines) {
  {
    TFiffBuilder b;
    int s = 1;
    AddChannels(b, s, 204, 1, 3012);
    AddChannels(b, s, 102, 1, 3022);
    AddChannels(b, s, 9, 3, 0);
    AddChannels(b, s, 60, 2, 0);
    EXPECT_EQ(Sections(b), ChannelSection("PLA=204,MAG=102,STI=9,EEG=60"));
  }
  {
    TFiffBuilder b;
    int s = 1;
    AddChannels(b, s, 60, 2, 0);
    EXPECT_EQ(Sections(b), ChannelSection(",EEG=60"));
  }
  {
    // PLA replaces NM-122; dip replaces everything before it.
    TFiffBuilder b;
    int s = 1;
    AddChannels(b, s, 3, 1, 2);
    AddChannels(b, s, 2, 1, 3012);
    AddChannels(b, s, 1, 3, 0);
    EXPECT_EQ(Sections(b), ChannelSection("PLA=2,STI=1"));
    AddChannels(b, s, 1, 1000, 0);
    AddChannels(b, s, 2, 1001, 0);
    AddChannels(b, s, 1, 1, 3013);
    AddChannels(b, s, 1, 1, 3024);
    AddChannels(b, s, 1, 7, 0);
    EXPECT_EQ(Sections(b), ChannelSection("dip=1,gof=2,???=3"));
  }
  {
    TFiffBuilder b;
    int s = 1;
    AddChannels(b, s, 4, 1, 2);
    EXPECT_EQ(Sections(b), ChannelSection("NM-122=4"));
  }
}

TEST(ChannelSection, ScanNumbersCountEachChannelOnce) {
  TFiffBuilder b;
  int s = 1;
  AddChannels(b, s, 3, 2, 0);
  s = 1;
  AddChannels(b, s, 3, 2, 0);  // the list again
  EXPECT_EQ(Sections(b), ChannelSection(",EEG=3"));

  TFiffBuilder down;
  down.Channel({.Scan = 3, .Kind = 2, .Coil = 0})
      .Channel({.Scan = 2, .Kind = 2, .Coil = 0})
      .Channel({.Scan = 1, .Kind = 2, .Coil = 0});
  EXPECT_EQ(Sections(down), ChannelSection(",EEG=1"));

  TFiffBuilder zero;
  zero.Channel({.Scan = 0, .Kind = 2, .Coil = 0}).Channel({.Scan = -4, .Kind = 2, .Coil = 0}).Int(220, 5);
  EXPECT_EQ(Sections(zero), TLines{});  // no category, so no bad-channel line either

  // Only the low 16 bits of the scan number count: 65537 is 1.
  TFiffBuilder wrap;
  wrap.Channel({.Scan = 65537, .Kind = 2, .Coil = 0}).Channel({.Scan = 2, .Kind = 2, .Coil = 0});
  EXPECT_EQ(Sections(wrap), ChannelSection(",EEG=2"));
}

TEST(ChannelSection, BadChannels) {
  auto with = [](std::vector<std::vector<int32_t>> Tags) {
    TFiffBuilder b;
    b.Channel({.Scan = 1, .Kind = 2, .Coil = 0});
    for (const auto& t : Tags) b.Tag(220, kTypeInt, BEInts(t));
    return Sections(b).back();
  };
  EXPECT_EQ(with({{-1, -1, 0, -1, 7}}), "bad channel: 3 5 ");
  EXPECT_EQ(with({{-1, -1, -1}}), "no bad channel");
  EXPECT_EQ(with({}), "no bad channel");
  EXPECT_EQ(with({{-1, 5, -999, 5}}), "bad channel: 2 ");
  EXPECT_EQ(with({{-1, -1, -1, 4, 4}, {-1, -1, -1}}), "bad channel: 4 5 ");
  // More values than the 1000 slots: the slots end the read, the list ends at slot 1000.
  std::vector<int32_t> many(1500, -1);
  many[999] = 1;
  many[1200] = 1;
  EXPECT_EQ(with({many}), "bad channel: 1000 ");
}

TEST(RawDataSection, TotalsFiltersAndSkip) {
  auto raw = [](const TFiffBuilder& B) { return Sections(B); };
  TFiffBuilder b;
  b.Int(200, 10).Float(201, 1000.0f);
  b.RawBuffer(std::vector<int16_t>(10000)).RawBuffer(std::vector<int16_t>(10000));
  EXPECT_EQ(raw(b), (TLines{"", "****** raw data ******", "bandpass filter(0.000...0.000Hz)", "Total 2.0 sec"}));

  TFiffBuilder f(b);
  f.Float(219, 0.0f).Float(219, 330.0f).Float(219, 100.0f).Float(223, 0.1f).Int(301, 2);
  EXPECT_EQ(raw(f), (TLines{"", "****** raw data ******", "bandpass filter(0.100...330.000Hz)", "Total 2.0 sec",
                            "data skip is 2"}));

  // The frequency only counts when it stands before the last buffer.
  TFiffBuilder late;
  late.Int(200, 10);
  late.RawBuffer(std::vector<int16_t>(10000)).RawBuffer(std::vector<int16_t>(10000)).Float(201, 1000.0f);
  EXPECT_EQ(raw(late)[3], "Total 2000.0 sec");

  TFiffBuilder none;
  none.Int(200, 10).Float(219, 40.0f).Int(301, 1);
  EXPECT_EQ(raw(none), TLines{});
}

TEST(RawDataSection, ElementSizesAndDegenerateCounts) {
  // Float and 32-bit buffers count 4 bytes a value, doubles 8; 16-bit ones 2.
  for (auto [type, seconds] : {std::pair{kTypeFloat, "1.0"},
                               {kTypeInt, "1.0"},
                               {kTypeDouble, "0.5"},
                               {kTypeShort, "2.0"},
                               {kTypeDauPack16, "2.0"}}) {
    TFiffBuilder b;
    b.Int(200, 10).Float(201, 1000.0f).Tag(300, type, TBytes(40000, 0));
    EXPECT_EQ(Sections(b).at(3), std::string("Total ") + seconds + " sec") << type;
  }
  TFiffBuilder zero;
  zero.Int(200, 0).RawBuffer(std::vector<int16_t>(100));
  EXPECT_EQ(Sections(zero), TLines{});  // no channels: the buffers hold no samples

  TFiffBuilder noFreq;
  noFreq.Int(200, 1).Float(201, 0.0f).RawBuffer(std::vector<int16_t>(100));
  EXPECT_EQ(Sections(noFreq).at(3), "Total INF sec");

  TFiffBuilder negative;
  negative.Int(200, -1).Float(201, 10.0f).RawBuffer(std::vector<int16_t>(100));
  EXPECT_EQ(Sections(negative).at(3), "Total -10.0 sec");
}

TLines Averages(const TFiffBuilder& B) { return Sections(B); }

TEST(AveragesSection, LabelsAndTimeRanges) {
  TFiffBuilder b;
  b.Float(201, 1000.0f).Text(206, "Stim A").Int(207, 50).Int(208, -100).Int(209, 500);
  b.Epoch(0, 1, {1}).Epoch(0, 1, {1}).Epoch(0, 1, {1});
  EXPECT_EQ(Averages(b),
            (TLines{"", "****** averaged informatin ******", "Stim A -100.0...500.0msec(50ave 1000.000Hz)"}));

  TFiffBuilder t;
  t.Float(201, 1000.0f).Int(228, 601).Float(229, -0.1f).Epoch(0, 1, {1});
  EXPECT_EQ(Averages(t).at(2), " -100.0...500.0msec(0ave 1000.000Hz)");

  // A new number-of-averages tag starts a new line; the label is used once.
  TFiffBuilder two;
  two.Float(201, 500.0f).Text(206, "A").Int(207, 1).Epoch(0, 1, {}).Int(207, 2).Epoch(0, 1, {});
  EXPECT_EQ(Averages(two), (TLines{"", "****** averaged informatin ******", "A 0.0...-2.0msec(1ave 500.000Hz)",
                                   " 0.0...-2.0msec(2ave 500.000Hz)"}));
}

TEST(AveragesSection, CoilGoodnessAndFilters) {
  TFiffBuilder b;
  b.Float(201, 1000.0f).Tag(241, kTypeFloat, BEFloats({0.5f, 0.985f})).Float(243, 0.98f);
  b.Int(245, 2).Epoch(0, 1, {});
  const std::string line = Averages(b).at(2);
  EXPECT_EQ(line.substr(0, 5), "HPI2 ");
  EXPECT_TRUE(line.ends_with("Hz)   GOF 98.50% > 98.00%")) << line;

  TFiffBuilder none;
  none.Int(245, 3).Epoch(0, 1, {});
  const std::string l2 = Averages(none).at(2);
  EXPECT_TRUE(l2.ends_with("Hz)   GOF 0.00% < 100.00%")) << l2;

  TFiffBuilder equal;
  equal.Tag(241, kTypeFloat, BEFloats({1.0f})).Int(245, 1).Epoch(0, 1, {});
  EXPECT_NE(Averages(equal).at(2).find("GOF 100.00% = 100.00%"), std::string::npos);

  TFiffBuilder seven;
  seven.Int(245, 7).Epoch(0, 1, {});
  EXPECT_EQ(Averages(seven).at(2), "HPI7 0.0...-1000.0msec(0ave 1.000Hz)");

  // Two lowpass tags give one filter line in front of the next average line; highpass alone none.
  TFiffBuilder f;
  f.Float(223, 0.5f).Float(219, 40.0f).Float(219, 45.0f).Int(207, 1).Epoch(0, 1, {});
  f.Float(223, 1.0f).Int(207, 2).Epoch(0, 1, {});
  const TLines lines = Averages(f);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[2], "bandpass filter(0.500...45.000Hz)");
  EXPECT_EQ(lines[3].substr(0, 1), " ");
  EXPECT_EQ(lines[4].substr(0, 1), " ");

  // More goodness values than the ten slots are read only as far as the slots reach.
  TFiffBuilder many;
  many.Tag(241, kTypeFloat, BEFloats(std::vector<float>(50, 0.5f))).Int(245, 6).Epoch(0, 1, {});
  EXPECT_NE(Averages(many).at(2).find("GOF 50.00% < 100.00%"), std::string::npos);

  TFiffBuilder noEpoch;
  noEpoch.Float(219, 40.0f).Text(206, "x").Int(245, 1);
  EXPECT_EQ(Averages(noEpoch), TLines{});
}

TEST(BemSection, SurfacesAndTheCoordinateLine) {
  TFiffBuilder b;
  b.Int(3101, 4).Int(3103, 2562).Int(3104, 5120).Int(3111, 3).Float(3113, 0.33f);
  b.Int(3112, 4).Int(3101, -1).Int(3111, 1).Int(3101, 0).Int(3111, 2).Int(3102, 9);
  EXPECT_EQ(Sections(b),
            (TLines{"", "****** BEM model ******", "head", "number of nodes = 2562", "number of triangle = 5120",
                    "??? approach", "conductivity = 0.3", "", "****** BEM model ******", "coordination = head",
                    "unknown", "constant potential approach", "", "****** BEM model ******", "coordination = head",
                    "???", "linear potential approach"}));
}

// Measurement date 2010/03/14 (midnight in UTC+9) and a birthday as a Julian day.
constexpr int32_t kMeasured20100314 = 1268492400;

TEST(GeneralSection, SubjectLineAndAge) {
  auto subject = [](int32_t Birth) {
    TFiffBuilder b;
    b.Int(204, kMeasured20100314).Text(212, "X").Text(401, "F").Text(403, "L").Int(404, Birth);
    b.Int(405, 1).Int(406, 1);
    return Sections(b);
  };
  EXPECT_EQ(subject(2442487),
            (TLines{"", "****** general information ******", "measured date = 2010/03/14", "F L by X 34M(R)"}));
  EXPECT_EQ(subject(2442486).back(), "F L by X 35M(R)");  // 1975/03/14
  EXPECT_EQ(subject(2442472).back(), "F L by X 35M(R)");  // 1975/02/28
  EXPECT_EQ(subject(2455563).back(), "F L by X -1M(R)");  // 2011/01/01, after the measurement

  TFiffBuilder other;
  other.Text(401, "Ann").Text(402, "B").Text(403, "C").Int(405, 2).Int(406, 0).Int(404, 2442487);
  EXPECT_EQ(Sections(other), (TLines{"Ann B CF(L) "}));  // no date: the blank but no age

  TFiffBuilder noFirst;
  noFirst.Int(204, kMeasured20100314).Text(403, "L").Int(404, 2442487).Int(405, 1).Int(406, 1);
  EXPECT_EQ(Sections(noFirst), (TLines{"", "****** general information ******", "measured date = 2010/03/14"}));
}

TEST(GeneralSection, TagOrderAndRepeatedDates) {
  TFiffBuilder twice;
  twice.Int(204, kMeasured20100314).Int(204, 1268537107).Text(401, "F").Int(404, 2442487).Int(204, 0);
  EXPECT_EQ(Sections(twice),
            (TLines{"", "****** general information ******", "measured date = 2010/03/14", "",
                    "****** general information ******", "measured date = 2010/03/14 12:25:07", "",
                    "****** general information ******", "measured date = 1970/01/01 9:00:00", "F  34"}));
  // Birthday first: the age is completed at the measurement date, whose line is kept.
  TFiffBuilder birthFirst;
  birthFirst.Text(401, "F").Text(403, "L").Int(404, 2442487).Int(204, kMeasured20100314);
  EXPECT_EQ(Sections(birthFirst),
            (TLines{"", "****** general information ******", "measured date = 2010/03/14", "F L 34"}));
}

TEST(SspSection, ItemNamesKeepTheirBrackets) {
  TFiffBuilder b;
  b.Text(233, "blink").Tag(3417, kTypeString, {}).Tag(3415, 0, TBytes(1228, 0));
  EXPECT_EQ(Sections(b), (TLines{"", "****** SSP informatin ******", "blink [304x1]"}));
  b.Tag(3417, kTypeString, {}).Tag(3415, 0, TBytes(1228, 0)).Tag(3415, 0, TBytes(16, 0));
  EXPECT_EQ(Sections(b), (TLines{"", "****** SSP informatin ******", "blink [304x1]", "blink [304x1] [304x1]"}));

  TFiffBuilder late;
  late.Float(201, 1000.0f).Text(206, "x").Tag(3417, kTypeString, {}).Tag(3415, 0, TBytes(1228, 0));
  EXPECT_EQ(Sections(late), TLines{});

  TFiffBuilder unpaired;
  unpaired.Text(206, "x").Tag(3415, 0, TBytes(1228, 0));
  EXPECT_EQ(Sections(unpaired), TLines{});

  TFiffBuilder small;
  small.Tag(3417, kTypeString, {}).Tag(3415, 0, TBytes(4, 0));
  EXPECT_EQ(Sections(small).back(), " [-2x1]");
}

TEST(DigitizedPointsSection, CountsOnlyAfterTheFirstSlopes) {
  auto points = [](std::vector<std::pair<int32_t, int>> Kinds, bool Slopes = true) {
    TFiffBuilder b;
    b.DigPoint(1, 1, 0, 0, 0);  // before the slopes: never counted
    if (Slopes) b.Tag(215, kTypeFloat, {});
    for (auto [kind, n] : Kinds)
      for (int i = 0; i < n; ++i) b.DigPoint(kind, i, 0, 0, 0);
    return Sections(b);
  };
  EXPECT_EQ(points({{1, 3}, {2, 4}, {3, 60}, {4, 100}}),
            (TLines{"", "****** digitized points informatin ******", "cardinal=3,HPI=4,EEG=60,extra=100"}));
  EXPECT_EQ(points({{1, 3}, {2, 4}, {3, 60}, {4, 100}, {7, 1}, {0, 1}}).back(),
            "cardinal=3,HPI=4,EEG=60,extra=100???=2");
  EXPECT_EQ(points({{2, 4}}).back(), ",HPI=4");
  EXPECT_EQ(points({{2, 4}}, false), TLines{});
}

TEST(LoadLine, SizeInKilobytesAndTheFileStreamForm) {
  TTempDir dir;
  TFiffBuilder k;
  k.Tag(1, 0, TBytes(1000 - 36 - 16, 0));
  const std::string path = k.Write(dir.File("k.fif"));
  EXPECT_EQ(SummaryOf(path).front(), path + " (1.0kB) is loaded.");
  const std::string small = TFiffBuilder().Bytes(TBytes(15, 0)).Write(dir.File("s.fif"));
  EXPECT_EQ(SummaryOf(small).front(), small + " (0.0kB) is loaded.");
  TFiffBuilder m;
  m.Tag(1, 0, TBytes(1048576 - 36 - 16, 0));
  const std::string mb = m.Write(dir.File("m.fif"));
  EXPECT_EQ(SummaryOf(mb).front(), mb + " (1,024.0kB) is loaded.");
  EXPECT_EQ(SummaryOf(mb, {",", "."}).front(), mb + " (1.024,0kB) is loaded.");

  // 500,000,001 bytes, sparse: read through the file.
  const std::string big = dir.File("big.fif");
  TFiffBuilder h;
  h.TagWithSize(999, 0, 500'000'001 - 52, {});
  h.Write(big);
  ASSERT_EQ(::truncate(big.c_str(), 500'000'001), 0);
  EXPECT_EQ(SummaryOf(big), TLines{big + " (488,281KB) is loaded on FileStream."});
}

TEST(Summary, SectionsInTheirOrder) {
  TFiffBuilder b;
  b.Int(3101, 1).Int(245, 1).Epoch(0, 1, {});  // BEM and averages first, before any frequency
  b.Int(200, 1).Float(201, 10.0f).RawBuffer({1, 2}).Channel({.Scan = 1, .Kind = 2, .Coil = 0});
  b.Tag(215, 0, {}).DigPoint(2, 1, 0, 0, 0).Int(204, 0);
  const TLines s = Sections(b);
  EXPECT_EQ(s, (TLines{"",
                       "****** general information ******",
                       "measured date = 1970/01/01 9:00:00",
                       "",
                       "****** digitized points informatin ******",
                       ",HPI=1",
                       "",
                       "****** channel informatin ******",
                       ",EEG=1",
                       "no bad channel",
                       "",
                       "****** raw data ******",
                       "bandpass filter(0.000...0.000Hz)",
                       "Total 0.2 sec",
                       "",
                       "****** averaged informatin ******",
                       "HPI1 0.0...-1000.0msec(0ave 1.000Hz)   GOF 0.00% < 100.00%",
                       "",
                       "****** BEM model ******",
                       "brain"}));
}

}  // namespace
