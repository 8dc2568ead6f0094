// The channel table NAME_channels.tsv: one row per row of raw_data, in BIDS's channels.tsv convention.
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "bids.h"
#include "blocks.h"
#include "conversion.h"

std::string TConversion::ChannelTableText() {
  TFiff& r = FReader;
  // The records of CalXRnge's first vector give the rows, in its order.
  const std::vector<TCalibrationVector> vectors = CalibrationVectors(r, 0);
  const std::vector<int32_t> records = vectors.empty() ? std::vector<int32_t>{} : vectors[0].Records;
  const std::vector<std::string> longNames = fiff::ReadLongChannelNames(r);  // in channel order
  const std::vector<std::string> mneBad = fiff::ReadMneBadChannels(r);
  const std::set<std::string> badNames(mneBad.begin(), mneBad.end());
  float frequency = 0, low = 0, high = 0;
  bool haveFrequency = false, haveLow = false, haveHigh = false, buffers = false;
  std::vector<int32_t> badSlots;  // the bad-channel tag's values, one per position
  for (const TWalkEntry& e : TTagWalk(r, 1, 0.0f)) {
    const TFiffTag& t = *e.Tag;
    const int32_t i = e.Index;
    switch (t.Kind) {
      case fiff::kSFreq:
        if (!buffers) frequency = e.Frequency, haveFrequency = true;
        break;
      case fiff::kLowpass:
        if (!haveLow) low = r.ReadSingleAt(i), haveLow = true;
        break;
      case fiff::kHighpass:
        if (!haveHigh) high = r.ReadSingleAt(i), haveHigh = true;
        break;
      case fiff::kBadChs:
        r.SeekTagData(i);
        badSlots.assign(static_cast<size_t>(std::max(0, t.Size / 4)), 0);
        for (int32_t& v : badSlots) v = r.ReadLong();
        break;
      case fiff::kDataBuffer: buffers = true; break;
      default: break;
    }
  }

  std::string out =
      "name\ttype\tunits\tsampling_frequency\tlow_cutoff\thigh_cutoff\tstatus\tsi_factor\tfiff_kind\tfiff_coil_type\n";
  const std::string freq = haveFrequency ? Number(frequency, "%.9g") : "n/a";
  const std::string cutoffs =
      (haveHigh ? Number(high, "%.9g") : "n/a") + "\t" + (haveLow ? Number(low, "%.9g") : "n/a");
  for (int32_t k = 0; k < FPlan.RawRows; ++k) {
    const bool badSlot = k < static_cast<int32_t>(badSlots.size()) && badSlots[k] != -1;
    if (k >= static_cast<int32_t>(records.size())) {
      out += "n/a\tn/a\tn/a\t" + freq + "\tn/a\tn/a\t" + (badSlot ? "bad" : "good") + "\tn/a\tn/a\tn/a\n";
      continue;
    }
    const fiff::TChannelInfo ch = r.ReadChannelInfo(records[k]);
    const std::string& name =
        k < static_cast<int32_t>(longNames.size()) && !longNames[k].empty() ? longNames[k] : ch.Name;
    const bool bad = badSlot || badNames.count(name) > 0;
    out += Cell(name) + "\t" + BidsType(ch.Kind, ch.Coil, ch.Unit) + "\t" + fiff::UnitSymbol(ch.Unit) + "\t" + freq +
           "\t" + cutoffs + "\t" + (bad ? "bad" : "good") + "\t" +
           Number(static_cast<double>(ch.Range) * static_cast<double>(ch.Cal), "%.17g") + "\t" +
           std::to_string(ch.Kind) + "\t" + std::to_string(ch.Coil) + "\n";
  }
  return out;
}
