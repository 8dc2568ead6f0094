// The raw data of one output file: the calibration vector CalXRnge, then raw_data's samples.
#include <algorithm>
#include <cstring>
#include <vector>

#include "conversion.h"

namespace {

// A big-endian value of Size bytes of a raw data buffer, exactly as a double.
double ValueAt(const uint8_t* P, int64_t Size, int32_t DataType) {
  uint64_t bits = 0;
  for (int64_t k = 0; k < Size; ++k) bits = (bits << 8) | P[k];
  switch (DataType) {
    case fiff::kTypeInt: return static_cast<int32_t>(static_cast<uint32_t>(bits));
    case fiff::kTypeFloat: {
      float f;
      const auto b32 = static_cast<uint32_t>(bits);
      std::memcpy(&f, &b32, 4);
      return f;
    }
    case fiff::kTypeDouble: {
      double d;
      std::memcpy(&d, &bits, 8);
      return d;
    }
    default: return static_cast<int16_t>(static_cast<uint16_t>(bits));
  }
}

}  // namespace

int64_t TConversion::ColumnsOf(const TFiffTag& Tag) const {
  return Tag.Size / FRawRows / fiff::RawValueSize(Tag.DataType);
}

bool TConversion::InStretch(const TFiffTag& Tag, const TStretch& Stretch) const {
  const int32_t end = Stretch.End != 0 ? Stretch.End : FReader.FTags[FReader.FTagCount - 1].Pos;
  return Tag.Kind == fiff::kDataBuffer && Tag.Pos > Stretch.Start && Tag.Pos <= end;
}

// A vector begun at entry From takes the channel tags up to its channel count, before a new count,
// a goodness tag or the split point ends it; the factors it lacks are NaN.
int64_t TConversion::CalibrationCompletion(int32_t From, int32_t Channels, const TStretch& Stretch) const {
  int32_t found = 0;
  for (int32_t i = From; i < FReader.FTagCount && found < Channels; ++i) {
    const TFiffTag& t = FReader.FTags[i];
    if (t.Kind == fiff::kNChan || t.Kind == fiff::kHpiFitGoodness) break;
    if (t.Kind == fiff::kDataBuffer && Stretch.End != 0 && t.Pos == Stretch.End) break;
    if (t.Kind == fiff::kChInfo) ++found;
  }
  return 8 * int64_t{Channels - found};
}

void TConversion::WriteCalibration(const TStretch& Stretch) {
  TScilab& w = *FWriter;
  int32_t size = 0;   // channels of the vector begun last
  int32_t index = 0;  // channel tags since the last channel count
  float freq = 1.0f;
  bool begun = false;
  bool vectorOpen = false;
  TDoubleStager cal(w);
  // A vector cut short gets NaN for the factors no channel tag gave, then the frequency.
  auto closeVector = [&] {
    if (!vectorOpen) return;
    cal.PutMany(int64_t{size} - index, kNaN);
    cal.Put(freq);
    cal.Flush();
    vectorOpen = false;
  };
  const int64_t fileSize = FReader.StreamSize();
  for (const TWalkEntry& e : TTagWalk(FReader, 1, 1.0f)) {
    const TFiffTag& t = *e.Tag;
    const int32_t channels = e.Channels;
    freq = e.Frequency;
    bool ends = false;
    switch (t.Kind) {
      case fiff::kNChan:
        closeVector();
        index = 0;
        break;
      case fiff::kChInfo: {
        // A complete vector ends the collection; so does a count no file could describe.
        if (index == channels || channels <= 0 || channels > fileSize || !CheckedInt32(CheckedAdd(channels, 1)) ||
            (index == 0 && !Invent(CalibrationCompletion(e.Index, channels, Stretch)))) {
          ends = true;
          break;
        }
        if (index == 0) {
          w.WriteRealMatrixHeader("CalXQnge", 1, channels + 1);  // Scilab reads the name as CalXRnge
          size = channels;
          vectorOpen = true;
          begun = true;
        }
        const fiff::TChannelInfo ch = FReader.ReadChannelInfo(e.Index);
        const fiff::TCalibrationScale scale = fiff::CalibrationScale(ch.Kind, ch.Coil);
        double value = ch.Range * scale.Unit;
        value *= ch.Cal;
        value *= scale.Coil;
        cal.Put(value);
        ++index;
        if (index == channels) {
          cal.Put(freq);
          cal.Flush();
          vectorOpen = false;
        }
        break;
      }
      case fiff::kHpiFitGoodness:
        // Measurement info carries HPI fits before the channels: only a begun vector ends here.
        ends = begun;
        break;
      case fiff::kDataBuffer:
        ends = Stretch.End != 0 && t.Pos == Stretch.End;  // the split point ends the calibration
        break;
      default: break;
    }
    if (ends) break;
  }
  closeVector();
}

void TConversion::WriteRawData(const TStretch& Stretch) {
  TScilab& w = *FWriter;
  // Columns are the samples actually written, counted with the rows of the header.
  const int32_t rows = FRawRows;
  const std::optional<int32_t> columns = CheckedInt32(Stretch.Columns);
  if (!columns)
    throw TInputError("Cannot convert \"" + FReader.FFileName + "\": its raw data hold " +
                      std::to_string(Stretch.Columns) + " samples, more than a Scilab matrix can");
  if (FRawDoubles)
    w.WriteRealMatrixHeader("raw_data", rows, *columns);
  else
    w.WriteInt16MatrixHeader("raw_data", rows, *columns);

  // Consecutive buffers are converted into the staging buffer one after another and written
  // when it is full and at the end, so many small buffers cost as few writes as a few large ones.
  TConvertProgress progress;
  progress.OutputFile = FOutputName;
  progress.BytesTotal = FBytesTotal;
  constexpr int64_t kBlockShorts = TScilab::kBufferSize / 2;
  int64_t staged = 0;  // 16-bit values waiting in the staging buffer
  auto flush = [&] {
    if (staged > 0) w.WriteBuffer(static_cast<int32_t>(2 * staged));
    staged = 0;
  };
  TDoubleStager doubles(w);
  std::vector<uint8_t> block;
  // The input is checked for changes after every few MiB of data, not after every buffer.
  constexpr int64_t kCheckEvery = 4 << 20;
  int64_t unchecked = 0;
  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    const TFiffTag& t = FReader.FTags[i];
    if (!InStretch(t, Stretch)) continue;
    const int64_t samples = ColumnsOf(t);
    FReader.SeekTagData(i);
    if (FRawDoubles) {
      WriteSamplesAsDoubles(t.DataType, samples * rows, doubles, block);
    } else {
      for (int64_t left = samples * rows; left > 0;) {
        if (staged == kBlockShorts) flush();
        const int64_t n = std::min(left, kBlockShorts - staged);
        FReader.ReadSwappedShorts(w.Buffer() + 2 * staged, n);
        staged += n;
        left -= n;
      }
    }
    unchecked += t.Size;
    if (unchecked >= kCheckEvery) {
      FReader.CheckUnchanged();
      unchecked = 0;
    }
    FBytesDone += t.Size;
    progress.SecondsWritten += static_cast<double>(samples) / FFrequency;
    progress.BytesDone = FBytesDone;
    if (FProgress) FProgress(progress);
  }
  flush();
  doubles.Flush();
  FReader.CheckUnchanged();
  progress.RawDataDone = true;
  if (FProgress) FProgress(progress);
}

void TConversion::WriteSamplesAsDoubles(int32_t DataType, int64_t Values, TDoubleStager& Out,
                                        std::vector<uint8_t>& Block) {
  // Read in blocks, then each value exactly as a double through the staging buffer.
  const int32_t type = DataType;
  const int64_t size = fiff::RawValueSize(type);
  constexpr int64_t kBlockValues = 1 << 20;
  const size_t need = static_cast<size_t>(std::min<int64_t>(Values, kBlockValues) * size);
  if (Block.size() < need) Block.resize(need);
  for (int64_t left = Values; left > 0;) {
    const int64_t n = std::min<int64_t>(left, kBlockValues);
    FReader.ReadBlock(Block.data(), n * size);
    for (int64_t k = 0; k < n; ++k) Out.Put(ValueAt(Block.data() + k * size, size, type));
    left -= n;
  }
}
