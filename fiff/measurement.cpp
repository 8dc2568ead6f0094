// Reading a recording once: the raw data directory of its parts, its channels and calibration, and its information.
#include "measurement.h"

#include <algorithm>
#include <cstdint>
#include <set>

#include "checked_size.h"
#include "tag_walk.h"
#include "text.h"

namespace fiff {

std::vector<int32_t> DigitizedPointEntries(const TFiff& Reader) {
  std::vector<int32_t> points;
  bool slopesSeen = false;
  for (int32_t i = 0; i < Reader.TagCount(); ++i) {
    if (Reader.Tag(i).Kind == kHpiSlopes)
      slopesSeen = true;
    else if (Reader.Tag(i).Kind == kDigPoint && slopesSeen)
      points.push_back(i);
  }
  return points;
}

std::vector<TCalibrationVector> CalibrationVectors(TFiff& Reader, int32_t End) {
  std::vector<TCalibrationVector> vectors;
  bool open = false;  // the last vector still takes records
  int32_t index = 0;  // channel records since the last channel count
  const int64_t fileSize = Reader.StreamSize();
  TTagWalk walk(Reader, 1, 1.0f);
  auto close = [&](float Frequency) {
    if (open) vectors.back().Frequency = Frequency;
    open = false;
  };
  for (const TWalkEntry& e : walk) {
    const int32_t channels = e.Channels;
    bool ends = false;
    switch (e.Tag->Kind) {
      case kNChan:
        close(e.Frequency);
        index = 0;
        break;
      case kChInfo:
        // A complete vector ends the collection; so does a count no file could describe.
        if (index == channels || channels <= 0 || channels > fileSize || !CheckedInt32(CheckedAdd(channels, 1))) {
          ends = true;
          break;
        }
        if (index == 0) {
          vectors.push_back({channels, {}, 1.0f});
          open = true;
        }
        vectors.back().Records.push_back(e.Index);
        if (++index == channels) close(e.Frequency);
        break;
      case kHpiFitGoodness:
        // Measurement info carries HPI fits before the channels: only a begun vector ends here.
        ends = !vectors.empty();
        break;
      case kDataBuffer:
        ends = End != 0 && e.Tag->Pos == End;  // the split point ends the calibration
        break;
      default: break;
    }
    if (ends) {
      close(e.Frequency);
      return vectors;
    }
  }
  close(walk.Frequency());
  return vectors;
}

}  // namespace fiff

TMeasurement::TMeasurement(std::vector<TFiff*> Parts, const TMeasurementRules& Rules)
    : FParts(std::move(Parts)), FRules(Rules) {
  for (const TFiff* part : FParts) FInputSize += part->StreamSize();
  ReadRawDirectory();
  ReadChannels();
  ReadInformation();
  if (FRules.Processed) ReadProcessed();
}

void TMeasurement::ReadProcessed() {
  for (int32_t part = 0; part < PartCount(); ++part) {
    TFiff& file = Part(part);
    const fiff::TBlockTree tree(file);
    const fiff::TMneInfo info = fiff::ReadMneInfo(file, tree);
    if (part == 0) {
      FFloatAverages = fiff::ReadFloatAverages(file, tree, info);
      const std::map<int32_t, fiff::TAspect> aspects = fiff::PackedEpochAspects(file, tree);
      for (const fiff::TAverage& a : FAverages) {
        const auto found = a.Epochs.empty() ? aspects.end() : aspects.find(a.Epochs[0].Entry);
        FPackedAspects.push_back(found == aspects.end() ? std::nullopt : std::optional(found->second));
      }
    }
    FEpochs.push_back(fiff::ReadEpochs(file, tree, info));
  }
}

void TMeasurement::CheckUnchanged() const {
  for (const TFiff* part : FParts) part->CheckUnchanged();
}

bool TMeasurement::BadSlot(int64_t Row) const {
  return Row < static_cast<int64_t>(FBadSlots.size()) && FBadSlots[static_cast<size_t>(Row)] != -1;
}

// The data buffers of every part, each with the skip in front of it as MNE-Python counts it: the
// last skip tag of the raw data block before the buffer (none under the window's rules). The skip
// that begins the first part's raw data moves its first sample instead; one that begins a later
// part is zeros in place, so that the samples after it keep their time.
void TMeasurement::ReadRawDirectory() {
  // Room for every buffer at once: a list of many small buffers is never copied while it grows.
  size_t count = 0;
  for (const TFiff* part : FParts)
    for (const TFiffTag& t : part->Tags()) count += t.Kind == fiff::kDataBuffer;
  FBuffers.reserve(count);
  for (int32_t part = 0; part < PartCount(); ++part) {
    TFiff& file = Part(part);
    const fiff::TRawDataStart start = FRules.KeepSkips ? fiff::ReadRawDataStart(file) : fiff::TRawDataStart{};
    TPartStart ps;
    ps.FirstSample = ps.StatedFirstSample = start.FirstSample;
    const int32_t initialSkip = start.InitialSkip >= 0 ? std::max(0, file.ReadLongAt(start.InitialSkip)) : 0;
    int32_t skip = 0;
    bool buffers = false;  // of this part, for what the first part's measurement info says before them
    TTagWalk walk(file, 1, 1.0f);
    for (const TWalkEntry& e : walk) {
      const TFiffTag& t = *e.Tag;
      if (t.Kind == fiff::kDataSkip && FRules.KeepSkips && e.Index != start.InitialSkip && e.Block == start.Block) {
        skip = file.ReadLongAt(e.Index);
      } else if (t.Kind == fiff::kDataBuffer) {
        if (FBuffers.empty()) {
          FRawRows = e.Channels;
          FRawFrequency = e.Frequency;
        }
        int32_t skipped = std::max(skip, 0);
        if (!buffers) {
          ps.FirstBuffer = static_cast<int32_t>(FBuffers.size());
          ps.Channels = e.Channels;
          ps.Frequency = e.Frequency;
          // Beyond what a count can be, it stays the largest one, which no budget allows.
          if (part > 0) skipped = static_cast<int32_t>(std::min<int64_t>(int64_t{skipped} + initialSkip, INT32_MAX));
        }
        FBuffers.push_back({part, t.Pos, t.DataType, t.Size, skipped});
        FBufferBytes += t.Size;
        skip = 0;
        if (!buffers && part == 0) ps.FirstSample += initialSkip * Columns(FBuffers.back());
        buffers = true;
      } else if (part == 0 && !buffers && t.Kind == fiff::kSFreq) {
        FTableFrequency = e.Frequency;
      }
      if (part == 0) {
        if (t.Kind == fiff::kHighpass && !FHighpass) FHighpass = file.ReadSingleAt(e.Index);
        if (t.Kind == fiff::kLowpass && !FLowpass) FLowpass = file.ReadSingleAt(e.Index);
        if (t.Kind == fiff::kBadChs) {
          file.SeekTagData(e.Index);
          FBadSlots.assign(static_cast<size_t>(std::max(0, t.Size / 4)), 0);
          for (int32_t& v : FBadSlots) v = file.ReadLong();
        }
      }
    }
    if (part == 0) FLastFrequency = walk.Frequency();
    FPartStarts.push_back(ps);
  }
}

void TMeasurement::ReadChannels() {
  TFiff& first = First();
  FCalibration = fiff::CalibrationVectors(first, 0);
  if (FCalibration.empty() || FRawRows <= 0) return;
  const std::vector<int32_t>& records = FCalibration[0].Records;
  const std::vector<std::string> longNames = fiff::ReadLongChannelNames(first);  // in channel order
  const std::vector<std::string> mneBad = fiff::ReadMneBadChannels(first);
  const std::set<std::string> badNames(mneBad.begin(), mneBad.end());
  const size_t rows = std::min(records.size(), static_cast<size_t>(FRawRows));
  for (size_t k = 0; k < rows; ++k) {
    TRawChannel c;
    c.Entry = records[k];
    c.Record = first.ReadChannelInfo(c.Entry);
    // The record's own 16 bytes are UTF-8 to MNE-Python; others are taken as Latin-1.
    c.Name = k < longNames.size() && !longNames[k].empty() ? longNames[k] : Utf8OrLatin1(c.Record.Name);
    c.Bad = BadSlot(static_cast<int64_t>(k)) || badNames.count(c.Name) > 0;
    FChannels.push_back(std::move(c));
  }
}

void TMeasurement::ReadInformation() {
  TFiff& first = First();
  FFacts = fiff::ReadMeasurementFacts(first);
  FAnnotations = fiff::ReadAnnotations(first);
  FAverages = fiff::ReadPackedAverages(first, FRules.LargestAverage);
  for (const int32_t i : fiff::DigitizedPointEntries(first)) FPoints.push_back(first.ReadDigPoint(i));
  bool frequencySeen = false;  // projections after the first frequency are not this file's
  int32_t width = 0, height = 0;
  for (int32_t i = 0; i < first.TagCount(); ++i) {
    const TFiffTag& t = first.Tag(i);
    switch (t.Kind) {
      case fiff::kChInfo: {
        const fiff::TChannelInfo ch = first.ReadChannelInfo(i);
        if (ch.Scan > static_cast<int64_t>(FLocations.size())) FLocations.push_back(std::to_array(ch.Loc));
        break;
      }
      case fiff::kSFreq: frequencySeen = true; break;
      case fiff::kProjItemVectors:
        if (!frequencySeen) FProjections.push_back(i);
        break;
      case fiff::kCoordTrans: {
        const fiff::TCoordTrans c = first.ReadCoordTrans(i);
        if (c.From == fiff::kCoordMriSlice && c.To == fiff::kCoordMri) FMri.Transforms.push_back(c);
        break;
      }
      case fiff::kBlockStart:
        if (first.ReadLongAt(i) == fiff::kBlockMneCtfCompData) FHasCompensation = true;
        break;
      case fiff::kMriWidth: width = first.ReadLongAt(i); break;
      case fiff::kMriHeight: height = first.ReadLongAt(i); break;
      case fiff::kMriPixelData:
        if (FMri.Slices.empty()) {
          FMri.PixelSize = t.Size;
          FMri.SliceWidth = width;  // the volume keeps the size its first slice had
          FMri.SliceHeight = height;
        } else if (t.Size != FMri.PixelSize) {
          FMri.Unequal = true;
        }
        FMri.Slices.push_back(i);
        break;
      default: break;
    }
  }
}
