// Summaries of real files written by other programs, checked against what they are known to hold.
#include <gtest/gtest.h>

#include "summary_helpers.h"

namespace {

TLines RealSummary(const std::string& Name, TTempDir& Dir) { return SummaryOf(PatchedCopy(Name, Dir.Path())); }

TEST(RealFiles, BrainVisionEegRaw) {
  TTempDir dir;
  const TLines s = RealSummary("brainvision_test_bin_raw.fif", dir);
  // 32 EEG channels and one stimulus channel, 7.9 s at 1000 Hz in 16-bit buffers.
  EXPECT_EQ(TLines(s.begin() + 1, s.end()),
            (TLines{"", "****** channel informatin ******", ",STI=1,EEG=32", "no bad channel", "",
                    "****** raw data ******", "bandpass filter(0.000...500.000Hz)", "Total 7.9 sec"}));
  EXPECT_EQ(s[0], dir.File("brainvision_test_bin_raw.fif") + " (514.2kB) is loaded.");
}

TEST(RealFiles, Magnes4DWithChannelsPastEntry3000) {
  TTempDir dir;
  const std::string path = PatchedCopy("exported4D_linux_raw.fif", dir.Path());
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(path));
  EXPECT_EQ(f.TagCount(), 3838);
  const TLines s = MakeSummary(f);
  // 248 magnetometers of coil 4001 (not a category of their own) and two stimulus channels;
  // 0.3 s of float data, counted with four bytes a value.
  EXPECT_NE(std::find(s.begin(), s.end(), ",STI=2,???=248"), s.end());
  EXPECT_NE(std::find(s.begin(), s.end(), "Total 0.3 sec"), s.end());
}

TEST(RealFiles, ProjectionsAndSurfaces) {
  TTempDir dir;
  const TLines p = RealSummary("test-proj.fif", dir);
  EXPECT_EQ(TLines(p.begin() + 1, p.end()),
            (TLines{"", "****** SSP informatin ******", "planar-1--0.200-0.300-PCA-01 [204x1]",
                    "axial-1--0.200-0.300-PCA-01 [102x1]"}));
  const TLines b = RealSummary("306m.fif", dir);
  EXPECT_EQ(TLines(b.begin() + 1, b.end()), (TLines{"", "****** BEM model ******", "coordination = device", "???",
                                                    "number of nodes = 304", "number of triangle = 568"}));
  // Fiducials with no HPI slopes before them are not counted.
  EXPECT_EQ(RealSummary("fsaverage-fiducials.fif", dir).size(), 1u);
}

}  // namespace
