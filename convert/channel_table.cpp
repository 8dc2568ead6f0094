// The channel table NAME_channels.tsv: one row per row of raw_data, in BIDS's channels.tsv convention.
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "conversion.h"

namespace {

// Fields of a channel-information record beyond those the conversion reads.
constexpr int32_t kRecordUnit = 72;
constexpr int32_t kRecordName = 80;
constexpr int32_t kRecordNameSize = 16;
// FIFF tags and blocks of the table.
constexpr int32_t kBlockStart = 104;
constexpr int32_t kBlockEnd = 105;
constexpr int32_t kBlockChInfo = 113;  // MNE's extended record of one channel
constexpr int32_t kChDacqName = 258;   // its full name, longer than 15 characters
constexpr int32_t kBlockMneBadChannels = 359;
constexpr int32_t kMneChNameList = 3507;  // names separated by ':'

// SI units of FIFF unit codes.
const char* UnitName(int32_t Unit) {
  switch (Unit) {
    case 1: return "m";
    case 2: return "kg";
    case 3: return "s";
    case 4: return "A";
    case 5: return "K";
    case 6: return "mol";
    case 7: return "rad";
    case 8: return "sr";
    case 9: return "cd";
    case 10: return "mol/m^3";
    case 101: return "Hz";
    case 102: return "N";
    case 103: return "Pa";
    case 104: return "J";
    case 105: return "W";
    case 106: return "C";
    case 107: return "V";
    case 108: return "F";
    case 109: return "Ohm";
    case 110: return "S";
    case 111: return "Wb";
    case 112: return "T";
    case 113: return "H";
    case 114: return "oC";
    case 115: return "lm";
    case 116: return "lx";
    case 117: return "V/m^2";
    case 118: return "s^2";
    case 201: return "T/m";
    case 202: return "Am";
    case 203: return "Am/m^2";
    case 204: return "Am/m^3";
    case 210: return "px";
    default: return "n/a";  // none (-1), unitless (0) and codes no table names
  }
}

bool AxialGradiometer(int32_t Coil) {
  switch (Coil & 0xffff) {  // CTF keeps its compensation grade in the upper half
    case 4002:
    case 5001:
    case 6001:
    case 7001:
    case 8001: return true;
    default: return false;
  }
}

bool ReferenceGradiometer(int32_t Coil) {
  switch (Coil & 0xffff) {
    case 4004:
    case 4005:
    case 5003:
    case 5004:
    case 8003: return true;
    default: return false;
  }
}

// BIDS's channel type from the FIFF channel kind, the coil and the unit.
const char* BidsType(int32_t Kind, int32_t Coil, int32_t Unit) {
  switch (Kind) {
    case 1:  // MEG
      if (Unit == 201) return "MEGGRADPLANAR";
      if (AxialGradiometer(Coil)) return "MEGGRADAXIAL";
      return Unit == 112 ? "MEGMAG" : "MEGOTHER";
    case 301: return ReferenceGradiometer(Coil) ? "MEGREFGRADAXIAL" : "MEGREFMAG";
    case 2: return "EEG";
    case 202: return "EOG";
    case 302: return "EMG";
    case 402: return "ECG";
    case 3: return "TRIG";
    case 602: return "RESP";
    case 802: return "SEEG";
    case 803: return "DBS";
    case 902: return "ECOG";
    case 900: return "SYSCLOCK";
    case 1200: return "TEMP";
    case 1300: return "GSR";
    case 1400: return "EYEGAZE";
    case 700:
    case 701:
    case 702:
    case 703:
    case 704:
    case 705:
    case 706: return "HLU";
    case 707:
    case 708: return "FITERR";
    default: return "MISC";  // 502 and every kind without a BIDS type
  }
}

// A number in the C locale, short where it can be, exactly where it must be: %.17g reads back
// to the same double.
std::string Number(double Value, const char* Format) {
  char text[64];
  std::snprintf(text, sizeof text, Format, Value);
  // snprintf follows LC_NUMERIC; the table's decimal point is always a point.
  if (const lconv* c = std::localeconv(); c->decimal_point && c->decimal_point[0] != '.' && c->decimal_point[0])
    for (char* p = text; *p; ++p)
      if (*p == c->decimal_point[0]) *p = '.';
  return text;
}

// Tabs and line breaks would break the table's rows and columns.
std::string Cell(std::string Text) {
  for (char& c : Text)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return Text;
}

// A tag's text as stored, up to a terminating zero: names keep every byte.
std::string StoredText(TFiff& R, int32_t Index) {
  std::string text(static_cast<size_t>(std::max(0, R.FTags[Index].Size)), '\0');
  R.SeekTagData(Index);
  R.ReadBlock(reinterpret_cast<uint8_t*>(text.data()), static_cast<int64_t>(text.size()));
  text.resize(std::min(text.find('\0'), text.size()));
  return text;
}

}  // namespace

std::string TConversion::ChannelTableText() {
  TFiff& r = FReader;
  // The records of CalXRnge's first vector give the rows, in its order.
  std::vector<int32_t> records;
  int32_t channels = 0;                  // of the first vector
  bool begun = false, complete = false;  // the first vector, as the calibration walk takes it
  float frequency = 0, low = 0, high = 0;
  bool haveFrequency = false, haveLow = false, haveHigh = false, buffers = false;
  std::vector<std::string> longNames;  // one per extended record, in channel order
  std::set<std::string> badNames;
  std::vector<int32_t> badSlots;  // the bad-channel tag's values, one per position
  std::vector<int32_t> blocks;    // the blocks the walk is in, innermost last
  auto inBlock = [&](int32_t Block) { return !blocks.empty() && blocks.back() == Block; };
  for (const TWalkEntry& e : TTagWalk(r, 1, 0.0f)) {
    const TFiffTag& t = *e.Tag;
    const int32_t i = e.Index;
    switch (t.Kind) {
      case kBlockStart:
        blocks.push_back(r.ReadLongAt(i));
        if (blocks.back() == kBlockChInfo) longNames.emplace_back();
        break;
      case kBlockEnd:
        if (!blocks.empty()) blocks.pop_back();
        break;
      case fiff::kNChan:
        if (begun) complete = true;  // a new count ends a vector cut short
        break;
      case fiff::kChInfo:
        if (!begun) channels = e.Channels;
        if (complete || channels <= 0) break;
        records.push_back(i);
        begun = true;
        complete = static_cast<int32_t>(records.size()) == channels;
        break;
      case fiff::kHpiFitGoodness:
        if (begun) complete = true;
        break;
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
      case kChDacqName:
        if (inBlock(kBlockChInfo)) {
          longNames.back() = StoredText(r, i);
        }
        break;
      case kMneChNameList:
        if (inBlock(kBlockMneBadChannels)) {
          const std::string list = StoredText(r, i);
          for (size_t at = 0; at <= list.size();) {
            const size_t colon = std::min(list.find(':', at), list.size());
            if (colon > at) badNames.insert(list.substr(at, colon - at));
            at = colon + 1;
          }
        }
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
  for (int32_t k = 0; k < FRawRows; ++k) {
    const bool badSlot = k < static_cast<int32_t>(badSlots.size()) && badSlots[k] != -1;
    if (k >= static_cast<int32_t>(records.size())) {
      out += "n/a\tn/a\tn/a\t" + freq + "\tn/a\tn/a\t" + (badSlot ? "bad" : "good") + "\tn/a\tn/a\tn/a\n";
      continue;
    }
    const int32_t i = records[k];
    const fiff::TChannelInfo ch = r.ReadChannelInfo(i);
    r.SeekTagOffset(i, fiff::kTagHeaderSize + kRecordUnit);
    const int32_t unit = r.ReadLong();
    r.SeekTagOffset(i, fiff::kTagHeaderSize + kRecordName);
    std::string name;
    for (int32_t c = 0; c < kRecordNameSize; ++c) {
      const uint8_t b = r.ReadByte();
      if (b == 0) break;
      name += static_cast<char>(b);
    }
    if (k < static_cast<int32_t>(longNames.size()) && !longNames[k].empty()) name = longNames[k];
    const bool bad = badSlot || badNames.count(name) > 0;
    out += Cell(name) + "\t" + BidsType(ch.Kind, ch.Coil, unit) + "\t" + UnitName(unit) + "\t" + freq + "\t" + cutoffs +
           "\t" + (bad ? "bad" : "good") + "\t" +
           Number(static_cast<double>(ch.Range) * static_cast<double>(ch.Cal), "%.17g") + "\t" +
           std::to_string(ch.Kind) + "\t" + std::to_string(ch.Coil) + "\n";
  }
  return out;
}

void TConversion::WriteChannelTable(const std::string& Name) {
  const std::string text = ChannelTableText();
  // The writer's atomic output serves a text file as well: hidden while written, renamed when
  // complete, removed on an error or an interrupt.
  FWriter = std::make_unique<TScilab>();
  FWriter->OpenOutputAtomic(Name);
  for (size_t at = 0; at < text.size(); at += TScilab::kBufferSize) {
    const size_t n = std::min(text.size() - at, static_cast<size_t>(TScilab::kBufferSize));
    std::memcpy(FWriter->Buffer(), text.data() + at, n);
    FWriter->WriteBuffer(static_cast<int32_t>(n));
  }
  FWriter->CloseOutput();
  FWriter.reset();
}
