// find_events, step by step: steps of each stim channel, padded, merged, masked, taken as onsets, combined.
#include "triggers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

void TStimChannel::Put(int64_t Value) {
  if (FUintCast) Value = static_cast<uint16_t>(static_cast<uint64_t>(Value));
  if (FCount == 0) {
    FFirst = FMin = Value;
  } else if (Value != FLast) {
    if (static_cast<int64_t>(FSteps.size()) < FMostSteps)
      FSteps.push_back({FCount, FLast, Value});
    else
      FCapped = true;
  }
  FMin = std::min(FMin, Value);
  FLast = Value;
  ++FCount;
}

void TStimChannel::Take(const double* Values, int64_t Count, int64_t Stride) {
  constexpr double kLargest = 9.2233720368547748e18;  // below 2^63: a larger value is held at it
  for (int64_t k = 0; k < Count; ++k) {
    if (!Values) {
      Put(0);
      continue;
    }
    // As NumPy's astype(int64): truncated toward zero.
    const double v = Values[k * Stride] * FFactor;
    Put(std::isnan(v) ? 0 : static_cast<int64_t>(std::clamp(v, -kLargest, kLargest)));
  }
}

std::vector<TTrigger> TStimChannel::Events(const TTriggerOptions& Options, double Frequency, int64_t FirstSample,
                                           int64_t& Short, bool& Capped) const {
  Capped = FCapped;
  Short = 0;
  if (FCount == 0) return {};
  // A channel with a negative value is taken as absolute values.
  const bool absolute = FMin < 0;
  auto value = [absolute](int64_t V) { return absolute && V != std::numeric_limits<int64_t>::min() ? std::abs(V) : V; };
  std::vector<TTrigger> steps;
  for (const TStep& s : FSteps)
    if (value(s.Before) != value(s.After)) steps.push_back({FirstSample + s.Index, value(s.Before), value(s.After)});
  // The channel returns to 0 after its last sample.
  if (!steps.empty() && steps.back().Value != 0) steps.push_back({FirstSample + FCount, steps.back().Value, 0});
  // Steps closer than min_duration merge into the later one, which takes the earlier's value before.
  const double minSamples = Options.MinDuration * Frequency;
  int64_t merge = 0;
  if (minSamples > 0) {
    merge = static_cast<int64_t>(std::floor(minSamples));
    if (static_cast<double>(merge) == minSamples) --merge;
  }
  if (merge != 0 && steps.size() > 1) {
    std::vector<bool> keep(steps.size(), true);
    std::vector<int64_t> before(steps.size());
    for (size_t k = 0; k < steps.size(); ++k) before[k] = steps[k].Before;
    for (size_t k = 0; k + 1 < steps.size(); ++k)
      if (steps[k + 1].Sample - steps[k].Sample <= std::abs(merge)) {
        keep[k] = false;
        before[k + 1] = steps[k].Before;  // the values as they were, as NumPy assigns them
      }
    std::vector<TTrigger> merged;
    for (size_t k = 0; k < steps.size(); ++k)
      if (keep[k] && before[k] != steps[k].Value) merged.push_back({steps[k].Sample, before[k], steps[k].Value});
    steps = std::move(merged);
  }
  if (value(FFirst) != 0 && Options.InitialEvent) steps.insert(steps.begin(), {FirstSample, 0, value(FFirst)});
  if (Options.Mask) {
    const int64_t mask = Options.MaskNotAnd ? ~*Options.Mask : *Options.Mask;
    for (TTrigger& s : steps) s.Before &= mask, s.Value &= mask;
  }
  std::erase_if(steps, [](const TTrigger& S) { return S.Before == S.Value; });
  // Onsets and offsets by the rule asked, orphans at either end left out, the onsets the events.
  std::vector<size_t> onsets, offsets;
  for (size_t k = 0; k < steps.size(); ++k) {
    const TTrigger& s = steps[k];
    bool onset, offset;
    switch (Options.Consecutive) {
      case TTriggerOptions::TConsecutive::Increasing:
        onset = s.Value > s.Before;
        offset = (onset || s.Value == 0) && s.Before > 0;
        break;
      case TTriggerOptions::TConsecutive::Yes:
        onset = s.Value > 0;
        offset = s.Before > 0;
        break;
      default:
        onset = s.Before == 0;
        offset = s.Value == 0;
        break;
    }
    if (onset) onsets.push_back(k);
    if (offset) offsets.push_back(k);
  }
  if (onsets.empty() || offsets.empty()) return {};
  if (onsets.front() > offsets.front()) offsets.erase(offsets.begin());
  if (!offsets.empty() && onsets.back() > offsets.back()) onsets.pop_back();
  std::vector<TTrigger> events;
  for (const size_t k : onsets) events.push_back(steps[k]);
  for (size_t k = 1; k < events.size(); ++k) Short += events[k].Sample - events[k - 1].Sample < 2;
  return events;
}

std::vector<TTrigger> CombineTriggers(std::vector<std::vector<TTrigger>> PerChannel) {
  std::vector<TTrigger> all;
  for (auto& events : PerChannel) all.insert(all.end(), events.begin(), events.end());
  std::sort(all.begin(), all.end());
  all.erase(std::unique(all.begin(), all.end()), all.end());
  return all;
}
