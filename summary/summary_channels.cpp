// Summary sections for the channel list with its bad channels, and for the raw data.
#include <string>

#include "checked_size.h"
#include "sections.h"
#include "tag_walk.h"

void ReportChannels(TSummaryPage& Page) {
  enum { kNM122, kPLA, kMAG, kSTI, kEEG, kDip, kGof, kOther, kCategories };
  int16_t watermark = 0;
  int16_t counts[kCategories] = {};
  constexpr int kSlots = 1000;
  int32_t bad[kSlots];
  for (int32_t& slot : bad) slot = -999;  // the end mark

  for (int32_t i = 0; i < Page.Reader.TagCount(); ++i) {
    const TFiffTag& t = Page.Reader.Tag(i);
    if (t.Kind == fiff::kChInfo) {
      // Only the low 16 bits of each field count, as the summary always read them.
      const fiff::TChannelInfo ch = Page.Reader.ReadChannelInfo(i);
      const int16_t scan = Wrap16(ch.Scan);
      const int16_t kind = Wrap16(ch.Kind);
      const int16_t coil = Wrap16(ch.Coil);
      if (scan <= watermark) continue;  // a repeated channel list is counted once
      watermark = scan;
      int category = kOther;
      if (kind == fiff::kChKindMeg && coil == fiff::kCoilNm122)
        category = kNM122;
      else if (kind == fiff::kChKindMeg && coil == fiff::kCoilVvPlanarT1)
        category = kPLA;
      else if (kind == fiff::kChKindMeg && coil == fiff::kCoilVvMagT1)
        category = kMAG;
      else if (kind == fiff::kChKindEeg)
        category = kEEG;
      else if (kind == fiff::kChKindStim)
        category = kSTI;
      else if (kind == fiff::kChKindDipole)
        category = kDip;
      else if (kind == fiff::kChKindGoodness)
        category = kGof;
      counts[category] = Wrap16(counts[category] + 1);
    } else if (t.Kind == fiff::kBadChs) {
      Page.Reader.SeekTagData(i);
      const int32_t n = t.Size / 4 < kSlots ? t.Size / 4 : kSlots;  // the slots end the read
      for (int32_t k = 0; k < n; ++k) bad[k] = Page.Reader.ReadLong();
    }
  }

  // "PLA=" and "dip=" replace what stands before them: the system's own line, pinned by tests.
  std::string line;
  auto count = [&](int c) { return std::to_string(counts[c]); };
  if (counts[kNM122] > 0) line = "NM-122=" + count(kNM122);
  if (counts[kPLA] > 0) line = "PLA=" + count(kPLA);
  if (counts[kMAG] > 0) line += ",MAG=" + count(kMAG);
  if (counts[kSTI] > 0) line += ",STI=" + count(kSTI);
  if (counts[kEEG] > 0) line += ",EEG=" + count(kEEG);
  if (counts[kDip] > 0) line = "dip=" + count(kDip);
  if (counts[kGof] > 0) line += ",gof=" + count(kGof);
  if (counts[kOther] > 0) line += ",???=" + count(kOther);
  if (line.empty()) return;
  Page.Lines.push_back("");
  // "informatin" is the system's own text, pinned by tests.
  Page.Lines.push_back("****** channel informatin ******");
  Page.Lines.push_back(line);

  std::string badText;
  for (int k = 0; k < kSlots && bad[k] != -999; ++k)
    if (bad[k] != -1) badText += std::to_string(k + 1) + " ";
  Page.Lines.push_back(badText.empty() ? "no bad channel" : "bad channel: " + badText);
}

void ReportRawData(TSummaryPage& Page) {
  float freqAtBuffer = 1.0f;
  float lowpass = 0.0f;
  float highpass = 0.0f;
  int64_t samples = 0;
  std::string skip;

  for (const TWalkEntry& e : TTagWalk(Page.Reader, 1, 1.0f)) {
    const TFiffTag& t = *e.Tag;
    const int32_t i = e.Index;
    const int32_t channels = e.Channels;
    switch (t.Kind) {
      case fiff::kLowpass:  // the first non-zero corner stays
        if (lowpass == 0.0f) {
          Page.Reader.SeekTagData(i);
          lowpass = Page.Reader.ReadSingle();
        }
        break;
      case fiff::kHighpass:
        if (highpass == 0.0f) {
          Page.Reader.SeekTagData(i);
          highpass = Page.Reader.ReadSingle();
        }
        break;
      case fiff::kDataBuffer:
        // With no channels a buffer holds no samples (and nothing is divided by zero); float and
        // 32-bit buffers count their real duration.
        if (channels != 0) samples += t.Size / (fiff::RawValueSize(t.DataType) * channels);
        freqAtBuffer = e.Frequency;
        break;
      case fiff::kDataSkip:
        Page.Reader.SeekTagData(i);
        skip = "data skip is " + std::to_string(Page.Reader.ReadLongWord());
        break;
      default: break;
    }
  }
  if (samples == 0) return;
  Page.Lines.push_back("");
  Page.Lines.push_back("****** raw data ******");
  Page.Lines.push_back("bandpass filter(" + Page.Format(highpass, "0.000") + "..." + Page.Format(lowpass, "0.000") +
                       "Hz)");
  Page.Lines.push_back("Total " + Page.Format(static_cast<double>(samples) / freqAtBuffer, "0.0") + " sec");
  if (!skip.empty()) Page.Lines.push_back(skip);
}
