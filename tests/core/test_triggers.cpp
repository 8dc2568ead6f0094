// Trigger events decoded from stim channel values, each case as MNE-Python 1.3's find_events gives it.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "../../convert/triggers.h"

namespace {

using TConsecutive = TTriggerOptions::TConsecutive;

// The channel's values, taken in two runs (so that a step may fall between them) with Zeros more
// zeros (a skip) after the first; its events as (sample, value), the first value sample 0.
std::vector<std::pair<int64_t, int64_t>> Decode(const std::vector<double>& Values, const TTriggerOptions& Options,
                                                double Factor = 1.0, int64_t Zeros = 0, double Frequency = 1.0) {
  TStimChannel c(Factor, Options.UintCast, 1000);
  const int64_t half = static_cast<int64_t>(Values.size()) / 2;
  c.Take(Values.data(), half, 1);
  c.Take(nullptr, Zeros, 1);
  c.Take(Values.data() + half, static_cast<int64_t>(Values.size()) - half, 1);
  int64_t shortEvents = 0;
  bool capped = false;
  std::vector<std::pair<int64_t, int64_t>> events;
  for (const TTrigger& t : c.Events(Options, Frequency, 0, shortEvents, capped)) events.emplace_back(t.Sample, t.Value);
  return events;
}

TEST(Triggers, AsFindEventsDecodesThem) {
  const std::vector<double> doc = {0, 32, 32, 33, 32, 0};  // find_events' own example
  const struct {
    std::vector<double> Values;
    TTriggerOptions Options;
    std::vector<std::pair<int64_t, int64_t>> Events;
    double Factor = 1.0;
    int64_t Zeros = 0;
    double Frequency = 1.0;
  } kCases[] = {
      {doc, {}, {{1, 32}, {3, 33}}},
      {doc, {.Consecutive = TConsecutive::Yes}, {{1, 32}, {3, 33}, {4, 32}}},
      {doc, {.Consecutive = TConsecutive::No}, {{1, 32}}},
      {doc, {.MinDuration = 2}, {{1, 32}}},
      {doc, {.Mask = 1, .MaskNotAnd = true}, {{1, 32}}},
      {doc, {.Mask = 1}, {{3, 1}}},
      {{0, -5, -5, 0, 3, 0}, {}, {{1, 5}, {4, 3}}},  // a negative channel is taken as absolute values
      {{0, -5, -5, 0, 3, 0}, {.UintCast = true}, {{1, 65531}, {4, 3}}},
      {{4, 4, 0, 0, 2, 2}, {.InitialEvent = true}, {{0, 4}, {4, 2}}},
      {{4, 4, 0, 0, 2, 2}, {}, {{4, 2}}},
      {{0, 0, 0, 0, 0, 9}, {}, {{5, 9}}},  // a pulse at the last sample
      {{0, 1, 2, 3, 0, 0, 0, 4, 0}, {.MinDuration = 1.5}, {}},
      {{0, 5, 5, 5}, {}, {{1, 5}, {4, 5}}, 1.0, 2},               // a skip inside a pulse reads as zeros
      {{0, 10, 10, 0}, {}, {{1, 6}}, static_cast<double>(0.7f)},  // 10 x float 0.7, truncated
      {{0, 0, 0, 2, 2, 2, 2, 0, 0, 0}, {.MinDuration = 0.004}, {{3, 2}}, 1.0, 0, 1000.0},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Decode(c.Values, c.Options, c.Factor, c.Zeros, c.Frequency), c.Events)
        << c.Values.size() << " " << c.Options.MinDuration;
  }
}

// Two channels' events together, each row once; events closer than 2 samples are counted.
TEST(Triggers, ChannelsCombinedAndCloseEventsCounted) {
  const std::vector<TTrigger> a = {{1, 0, 32}, {3, 32, 33}}, b = {{3, 32, 33}, {7, 0, 2}};
  EXPECT_EQ(CombineTriggers({a, b}), (std::vector<TTrigger>{{1, 0, 32}, {3, 32, 33}, {7, 0, 2}}));
  TStimChannel c(1.0, false, 1000);
  const std::vector<double> v = {0, 1, 2, 0, 0};
  c.Take(v.data(), 5, 1);
  int64_t close = 0;
  bool capped = false;
  EXPECT_EQ(c.Events({}, 1.0, 100, close, capped).size(), 2u);
  EXPECT_EQ(close, 1);
  TStimChannel few(1.0, false, 2);  // steps beyond the most it keeps are left out, and said to be
  few.Take(v.data(), 5, 1);
  few.Events({}, 1.0, 0, close, capped);
  EXPECT_TRUE(capped);
}

}  // namespace
