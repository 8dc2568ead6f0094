// Code names and number pictures: texts, frames, surfaces, dates in UTC+9, rounding.
#include <gtest/gtest.h>

#include "code_names.h"
#include "fiff_builder.h"
#include "fiff_f.h"
#include "number_format.h"
#include "test_files.h"

namespace {

// Loads a file with one tag holding Data and positions the reader on its data.
class TOneTag {
 public:
  explicit TOneTag(const TBytes& Data) {
    TFiffBuilder b;
    b.Tag(1, 0, Data);
    EXPECT_TRUE(F.LoadFiff(b.Write(Dir.File("t.fif"))));
    F.SeekTagData(1);
  }
  TTempDir Dir;
  TFiff F;
};

TEST(ReadText, KeepsBytes32To127AndAdvancesByCount) {
  TOneTag t({'h', 'e', 'l', 'l', 'o', 0, 0, 0, 'x'});
  EXPECT_EQ(ReadText(t.F, 8), "hello");
  EXPECT_EQ(t.F.Position(), 36 + 16 + 8);
  TOneTag u({'a', 9, 'b', 10, 'c', 13, 127, 128, 255, 31, 32});
  EXPECT_EQ(ReadText(u.F, 11), "abc\x7f ");
  EXPECT_EQ(ReadText(u.F, 0), "");
  EXPECT_EQ(ReadText(u.F, -5), "");
  // Past the end of the file the missing bytes are dropped as zeros.
  TOneTag v({'e', 'n', 'd'});
  EXPECT_EQ(ReadText(v.F, 100), "end");
  EXPECT_EQ(v.F.Position(), 36 + 16 + 100);
}

TEST(CodeNames, FramesAndSurfaces) {
  const std::pair<int32_t, const char*> frames[] = {{0, "unknown"}, {1, "device"}, {2, "isotrak"},   {3, "HPI"},
                                                    {4, "head"},    {5, "MRI"},    {6, "MRI slice"}, {7, "MRI display"},
                                                    {8, "???"},     {-1, "???"}};
  for (const auto& [code, name] : frames) {
    TOneTag t(BE32(code));
    EXPECT_EQ(ReadCoordFrameName(t.F), name) << code;
    EXPECT_EQ(t.F.Position(), 36 + 16 + 4);
  }
  const std::pair<int32_t, const char*> surfaces[] = {
      {-1, "unknown"}, {0, "???"},          {1, "brain"},  {2, "CSF"},    {3, "skull"},  {4, "head"}, {5, "???"},
      {10, "???"},     {11, "blood"},       {12, "heart"}, {13, "lungs"}, {14, "torso"}, {15, "???"}, {20, "???"},
      {21, "NM122"},   {22, "unit sphere"}, {23, "VV"},    {24, "???"},   {-2, "???"}};
  for (const auto& [code, name] : surfaces) {
    TOneTag t(BE32(code));
    EXPECT_EQ(ReadBemSurfaceName(t.F), name) << code;
  }
}

TEST(CodeNames, DatesInUtcPlusNine) {
  const std::pair<uint32_t, const char*> seconds[] = {
      {0, "1970/01/01 9:00:00"},
      {54000, "1970/01/02"},  // 15:00 UTC is midnight in UTC+9
      {1268537107, "2010/03/14 12:25:07"},
      {2085773295, "2036/02/05 6:28:15"},  // the last second the old arithmetic held
      {2085773296, "2036/02/05 6:28:16"},  // and on from there
      {4294967295u, "2106/02/07 15:28:15"}};
  for (const auto& [v, text] : seconds) {
    TOneTag t(BE32(static_cast<int32_t>(v)));
    EXPECT_EQ(ReadUnixTimeText(t.F), text) << v;
  }
  const std::pair<uint32_t, const char*> days[] = {
      {2451545, "2000/01/01"}, {2415019, "1899/12/30"}, {2415018, "1899/12/29"}, {2442487, "1975/03/15"},
      {0, "-4713/11/24"},      {5373484, "9999/12/31"}, {5373485, "10000/01/01"}};
  for (const auto& [v, text] : days) {
    TOneTag t(BE32(static_cast<int32_t>(v)));
    EXPECT_EQ(ReadJulianDateText(t.F), text) << v;
  }
}

TEST(NumberPictures, RoundsTheExactValueHalvesAwayFromZero) {
  const TNumberSeparators dot;
  EXPECT_EQ(FormatFloat(0.25, "0.0", dot), "0.3");
  EXPECT_EQ(FormatFloat(-0.25, "0.0", dot), "-0.3");
  EXPECT_EQ(FormatFloat(0.15, "0.0", dot), "0.1");  // 0.1499999… in binary
  EXPECT_EQ(FormatFloat(2.675, "0.00", dot), "2.67");
  EXPECT_EQ(FormatFloat(0.0005, "0.000", dot), "0.001");
  EXPECT_EQ(FormatFloat(9.9996, "0.000", dot), "10.000");
  EXPECT_EQ(FormatFloat(-0.04, "0.0", dot), "0.0");
  EXPECT_EQ(FormatFloat(-0.0, "0.000", dot), "0.000");
  EXPECT_EQ(FormatFloat(330.0f, "0.000", dot), "330.000");
  EXPECT_EQ(FormatFloat(0.33f, "0.0", dot), "0.3");
  EXPECT_EQ(FormatFloat(double{0.985f} * 100, "0.00", dot), "98.50");
  EXPECT_EQ(FormatFloat(1e300, "0.0", dot).size(), 303u);
}

TEST(NumberPictures, GroupingAndSeparators) {
  const TNumberSeparators dot;
  EXPECT_EQ(FormatFloat(1024.0, "#,###,##0.0", dot), "1,024.0");
  EXPECT_EQ(FormatFloat(0.25, "#,###,##0.0", dot), "0.3");
  EXPECT_EQ(FormatFloat(51 / 1024.0, "#,###,##0.0", dot), "0.0");
  EXPECT_EQ(FormatFloat(1234567890.0, "#,###,##0.0", dot), "1,234,567,890.0");
  EXPECT_EQ(FormatFloat(488281.25, "#,###,##0,0", dot), "488,281");
  EXPECT_EQ(FormatFloat(999.5, "#,###,##0,0", dot), "1,000");
  const TNumberSeparators comma{",", "."};
  EXPECT_EQ(FormatFloat(1024.0, "#,###,##0.0", comma), "1.024,0");
  EXPECT_EQ(FormatFloat(12.5, "0.0", comma), "12,5");
  EXPECT_EQ(FormatFloat(1.0 / 0.0, "0.0", dot), "INF");
  EXPECT_EQ(FormatFloat(-1.0 / 0.0, "0.0", dot), "-INF");
  EXPECT_EQ(FormatFloat(0.0 / 0.0, "0.0", dot), "NAN");
}

}  // namespace
