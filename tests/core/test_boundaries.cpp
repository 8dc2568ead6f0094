// The design's boundaries, each from one below to one above, so that moving any of them by one fails here.
#include <gtest/gtest.h>

#include "convert_helpers.h"

namespace {

// Only the Vectorview magnetometers 3021 to 3023 get the extra factor of 100, in CalXRnge and in
// the averages' table alike.
TEST(Boundaries, CoilTypesThatGetTheFactorOfOneHundred) {
  const struct {
    int32_t Coil;
    double Factor;
  } kCoils[] = {{3020, 1}, {3021, 100}, {3022, 100}, {3023, 100}, {3024, 1}};
  for (const auto& c : kCoils) {
    TTempDir dir;
    TFiffBuilder b;
    b.Int(200, 1).Float(201, 1000.0f).Channel({.Coil = c.Coil}).Epoch(0, 1, {3}).RawBuffer({1});
    const auto vars = Convert(b, dir).Only();
    EXPECT_EQ(FindOne(vars, "CalXRnge").Reals.at(0), 1e13 * c.Factor) << c.Coil;
    EXPECT_EQ(FindOne(vars, "ave_0001").Reals.at(0),
              3.0 * static_cast<float>(static_cast<float>(1e13) * static_cast<float>(c.Factor)))
        << c.Coil;
  }
}

// A file of a series ends at the buffer whose running total is more than the limit: a total
// equal to the limit goes on.
TEST(Boundaries, ASeriesSplitsWhenTheTotalIsMoreThanTheLimit) {
  constexpr int64_t kBuffer = 200;  // one channel, 100 samples
  const struct {
    int64_t Limit;
    int32_t FirstFileColumns;
  } kLimits[] = {{2 * kBuffer - 1, 200}, {2 * kBuffer, 300}, {2 * kBuffer + 1, 300}};
  for (const auto& l : kLimits) {
    TTempDir dir;
    TFiffBuilder b;
    b.Int(200, 1);
    for (int i = 0; i < 6; ++i) b.RawBuffer(std::vector<int16_t>(100, static_cast<int16_t>(i)));
    const auto c = Convert(b, dir, l.Limit);
    ASSERT_GT(c.Files.size(), 1u) << l.Limit;
    EXPECT_EQ(FindOne(c.Vars[0], "raw_data").Cols, l.FirstFileColumns) << l.Limit;
  }
}

}  // namespace
