// Readers of blocks: extended channel records, MNE's bad channels, file references and annotations.
#include "blocks.h"

#include <algorithm>
#include <bit>

#include "tag_walk.h"
#include "text.h"

namespace fiff {

namespace {

// The values of a tag of 32-bit floats or 64-bit doubles, as doubles; nothing for another type.
std::vector<double> ReadReals(TFiff& R, int32_t Index) {
  const TFiffTag& t = R.Tag(Index);
  const int32_t size = t.DataType == kTypeDouble ? 8 : t.DataType == kTypeFloat ? 4 : 0;
  std::vector<double> values;
  if (size == 0) return values;
  values.reserve(static_cast<size_t>(t.Size / size));
  R.SeekTagData(Index);
  for (int32_t k = 0; k < t.Size / size; ++k) {
    if (size == 4) {
      values.push_back(R.ReadSingle());
    } else {
      const uint64_t hi = R.ReadLongWord();
      values.push_back(std::bit_cast<double>(hi << 32 | R.ReadLongWord()));
    }
  }
  return values;
}

// Names joined by ':', as MNE-Python writes its lists; a ':' inside a name is written {COLON}.
std::vector<std::string> SplitNames(const std::string& List) {
  std::vector<std::string> names;
  if (List.empty()) return names;
  for (size_t at = 0;;) {
    const size_t colon = std::min(List.find(':', at), List.size());
    std::string name;
    for (size_t k = at; k < colon;) {
      if (List.compare(k, 7, "{COLON}") == 0) {
        name += ':';
        k += 7;
      } else {
        name += List[k++];
      }
    }
    names.push_back(std::move(name));
    if (colon == List.size()) break;
    at = colon + 1;
  }
  return names;
}

// A measurement date: seconds and microseconds as 32-bit integers (the measurement's own tag) or
// as doubles (inside annotations), or one double of seconds (older files).
std::optional<double> ReadDate(TFiff& R, int32_t Index) {
  const TFiffTag& t = R.Tag(Index);
  if (t.DataType == kTypeInt && t.Size >= 4) {
    R.SeekTagData(Index);
    const double seconds = R.ReadLong();
    return t.Size >= 8 ? seconds + R.ReadLong() / 1e6 : seconds;
  }
  const std::vector<double> v = ReadReals(R, Index);
  if (v.empty()) return std::nullopt;
  return v.size() >= 2 ? v[0] + v[1] / 1e6 : v[0];
}

}  // namespace

std::string ReadStoredText(TFiff& Reader, int32_t Index, bool ToFirstZero) {
  std::string text(static_cast<size_t>(std::max(0, Reader.Tag(Index).Size)), '\0');
  Reader.SeekTagData(Index);
  Reader.ReadBlock(reinterpret_cast<uint8_t*>(text.data()), static_cast<int64_t>(text.size()));
  if (ToFirstZero) text.resize(std::min(text.find('\0'), text.size()));
  return text;
}

std::vector<std::string> ReadLongChannelNames(TFiff& Reader) {
  std::vector<std::string> names;
  for (const TWalkEntry& e : TTagWalk(Reader, 0, 0.0f)) {
    if (e.Block != kBlockChInfo) continue;
    if (e.Tag->Kind == kBlockStart)
      names.emplace_back();
    else if (e.Tag->Kind == kChDacqName && !names.empty())
      names.back() = Latin1ToUtf8(ReadStoredText(Reader, e.Index));
  }
  return names;
}

std::vector<std::string> ReadMneBadChannels(TFiff& Reader) {
  std::vector<std::string> names;
  for (const TWalkEntry& e : TTagWalk(Reader, 0, 0.0f))
    if (e.Block == kBlockMneBadChannels && e.Tag->Kind == kMneChNameList)
      for (std::string& name : SplitNames(Latin1ToUtf8(ReadStoredText(Reader, e.Index))))
        names.push_back(std::move(name));
  return names;
}

TRawDataStart ReadRawDataStart(TFiff& Reader) {
  TRawDataStart start;
  // The block MNE-Python reads: raw data, else continuous data, else MaxShield raw data.
  int32_t rawBlock = 0;
  for (const int32_t kind : {kBlockRawData, kBlockContinuousData, kBlockIasRawData}) {
    for (int32_t i = 0; i < Reader.TagCount() && rawBlock == 0; ++i)
      if (Reader.Tag(i).Kind == kBlockStart && Reader.ReadLongAt(i) == kind) rawBlock = kind;
    if (rawBlock != 0) break;
  }
  if (rawBlock == 0) return start;
  start.Block = rawBlock;
  int entries = 0;  // of the block itself, its start, end and inner blocks not counted
  for (const TWalkEntry& e : TTagWalk(Reader, 0, 0.0f)) {
    if (e.Block != rawBlock || e.Tag->Kind == kBlockStart || e.Tag->Kind == kBlockEnd) continue;
    ++entries;
    if (entries == 1 && e.Tag->Kind == kFirstSample) {
      start.FirstSample = Reader.ReadLongAt(e.Index);
    } else {
      if (e.Tag->Kind == kDataSkip && entries <= 2) start.InitialSkip = e.Index;
      break;
    }
  }
  return start;
}

namespace {

// MNE-Python's "no date": 0 seconds and 2^31 - 1 microseconds.
bool IsDateNone(int32_t Seconds, int32_t Microseconds) { return Seconds == 0 && Microseconds == 2147483647; }

// The time an identification (type 31: version, machine id, seconds, microseconds) was made.
std::optional<double> IdTime(TFiff& R, int32_t Index) {
  if (R.Tag(Index).Size < kFileIdSize) return std::nullopt;
  R.SeekTagOffset(Index, kTagHeaderSize + 12);
  const int32_t seconds = R.ReadLong(), micro = R.ReadLong();
  if (IsDateNone(seconds, micro)) return std::nullopt;
  return seconds + micro / 1e6;
}

// The identifications MNE-Python takes the date from when the measurement states none, each the
// last of its kind in its block: the measurement information's parent id and id, the
// measurement's id and parent id, and the file's id.
struct TIds {
  std::optional<int32_t> InfoParent, Info, Meas, MeasParent, File;
  std::optional<int32_t> First() const {
    for (const std::optional<int32_t>& id : {InfoParent, Info, Meas, MeasParent, File})
      if (id) return id;
    return std::nullopt;
  }
};

}  // namespace

TMeasurementFacts ReadMeasurementFacts(TFiff& Reader) {
  TMeasurementFacts facts;
  bool dateNone = false;
  TIds ids;
  // The first measurement block and the first information block inside it, by their depth.
  std::vector<int32_t> open;
  int measDepth = -1, infoDepth = -1;
  bool measSeen = false, infoSeen = false;
  for (int32_t i = 0; i < Reader.TagCount(); ++i) {
    const int32_t kind = Reader.Tag(i).Kind;
    const int depth = static_cast<int>(open.size());
    if (kind == kBlockStart) {
      open.push_back(Reader.ReadLongAt(i));
      if (open.back() == kBlockMeas && !measSeen) measSeen = true, measDepth = depth + 1;
      if (open.back() == kBlockMeasInfo && measDepth > 0 && depth >= measDepth && !infoSeen)
        infoSeen = true, infoDepth = depth + 1;
      continue;
    }
    if (kind == kBlockEnd) {
      if (depth == infoDepth) infoDepth = -1;
      if (depth == measDepth) measDepth = infoDepth = -1;
      if (!open.empty()) open.pop_back();
      continue;
    }
    if (depth == 0 && kind == kFileId) ids.File = i;
    if (depth == measDepth && kind == kBlockId) ids.Meas = i;
    if (depth == measDepth && kind == kParentBlockId) ids.MeasParent = i;
    if (depth == infoDepth && kind == kBlockId) ids.Info = i;
    if (depth == infoDepth && kind == kParentBlockId) ids.InfoParent = i;
    if (depth == 0 || open.back() != kBlockMeasInfo) continue;
    if (kind == kMeasDate && !facts.Date && !dateNone) {
      const TFiffTag& t = Reader.Tag(i);
      if (t.DataType == kTypeInt && t.Size >= 8) {
        Reader.SeekTagData(i);
        const int32_t seconds = Reader.ReadLong(), micro = Reader.ReadLong();
        dateNone = IsDateNone(seconds, micro);
      }
      if (!dateNone) facts.Date = ReadDate(Reader, i);
    } else if (kind == kLineFreq && !facts.LineFrequency) {
      facts.LineFrequency = Reader.ReadSingleAt(i);
    }
  }
  if (!facts.Date && !dateNone)
    if (const std::optional<int32_t> id = ids.First()) facts.Date = IdTime(Reader, *id);
  return facts;
}

std::vector<TFileReference> ReadFileReferences(TFiff& Reader) {
  std::vector<TFileReference> refs;
  for (const TWalkEntry& e : TTagWalk(Reader, 0, 0.0f)) {
    if (e.Block != kBlockRef) continue;
    switch (e.Tag->Kind) {
      case kBlockStart: refs.emplace_back(); break;
      case kRefRole: refs.back().Role = Reader.ReadLongAt(e.Index); break;
      case kRefFileName: refs.back().FileName = ReadStoredText(Reader, e.Index); break;
      case kRefFileNum: refs.back().FileNumber = Reader.ReadLongAt(e.Index); break;
      default: break;
    }
  }
  return refs;
}

TAnnotations ReadAnnotations(TFiff& Reader) {
  TAnnotations a;
  for (const TWalkEntry& e : TTagWalk(Reader, 0, 0.0f)) {
    if (e.Block != kBlockMneAnnotations) {
      if (a.Block >= 0) break;  // the first block only
      continue;
    }
    switch (e.Tag->Kind) {
      case kBlockStart: a.Block = e.Index; break;
      case kMneBaselineMin:
        a.Onsets = ReadReals(Reader, e.Index);
        a.Single = e.Tag->DataType == kTypeFloat;
        break;
      case kMneBaselineMax: a.Ends = ReadReals(Reader, e.Index); break;
      // Every byte, a zero too: MNE-Python reads the whole string, and a zero ends no description.
      case kComment: a.Descriptions = SplitNames(Latin1ToUtf8(ReadStoredText(Reader, e.Index, false))); break;
      case kMeasDate: a.Origin = ReadDate(Reader, e.Index); break;
      default: break;
    }
  }
  return a;
}

}  // namespace fiff
