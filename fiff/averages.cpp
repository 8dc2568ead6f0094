// The averages of the packed 16-bit form: their epochs grouped by the channel count, with each column's factor.
#include "averages.h"

#include "checked_size.h"
#include "tag_walk.h"

namespace fiff {

std::vector<TAverage> ReadPackedAverages(TFiff& Reader, int64_t LargestBytes) {
  // The factors by scan number, single precision, as the records met so far define them.
  constexpr int kFactors = 1000;
  float factor[kFactors], cal[kFactors];
  bool defined[kFactors] = {};
  std::vector<TAverage> averages;
  int32_t channels = 0, counter = 0, firstSample = 0;
  float frequency = 1.0f;
  // An average is complete at its count of epochs, and cut short by a new count, the goodness
  // limit or the end; either way its time column counts from what is in force there.
  auto close = [&] {
    if (counter == 0) return;
    TAverage& a = averages.back();
    a.FirstSample = firstSample;
    a.Frequency = frequency;
    int64_t missing = int64_t{a.Channels - static_cast<int32_t>(a.Epochs.size())} * a.Rows;
    for (const TAverage::TEpoch& e : a.Epochs) missing += std::max(0, a.Rows - e.Samples);
    a.InventedBytes = 8 * missing;
    counter = 0;
  };
  for (const TWalkEntry& e : TTagWalk(Reader, 0, 1.0f)) {
    const TFiffTag& t = *e.Tag;
    frequency = e.Frequency;
    switch (t.Kind) {
      case kNChan:
        close();  // with the count it was begun with
        channels = e.Channels;
        break;
      case kChInfo: {
        const TChannelInfo ch = Reader.ReadChannelInfo(e.Index);
        const TCalibrationScale scale = CalibrationScale(ch.Kind, ch.Coil);
        float f = ch.Cal * static_cast<float>(scale.Unit);
        f *= static_cast<float>(scale.Coil);
        if (ch.Scan >= 1 && ch.Scan <= kFactors) {
          factor[ch.Scan - 1] = f;
          cal[ch.Scan - 1] = ch.Cal;
          defined[ch.Scan - 1] = true;
        }
        break;
      }
      case kFirstSample: firstSample = Reader.ReadLongAt(e.Index); break;
      case kHpiFitGoodLimit: close(); return averages;
      case kEpoch: {
        if (t.DataType != kTypeOldPack || t.Size < kOldPackSamples || channels <= 0) break;
        const int32_t s = (t.Size - kOldPackSamples) / 2;
        if (counter == 0) {
          // A count of 2^31 - 1 channels has no column for the time, and the size of a long epoch
          // times many channels would not fit in 64 bits: both are no average.
          const std::optional<int32_t> cols = CheckedInt32(CheckedAdd(channels, 1));
          const std::optional<int64_t> bytes = cols ? CheckedMul(int64_t{s} * 8, *cols) : std::nullopt;
          if (!bytes || *bytes > LargestBytes) break;
          averages.push_back({channels, s, {}, 0, 0, 1.0f});
        }
        const bool known = counter < kFactors && defined[counter];
        averages.back().Epochs.push_back({e.Index, s, known ? factor[counter] : 1.0, known ? cal[counter] : 1.0});
        if (++counter == channels) close();
        break;
      }
      default: break;
    }
  }
  close();
  return averages;
}

}  // namespace fiff
