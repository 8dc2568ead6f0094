// The raw data of one output file: raw_data's samples, 16-bit or as doubles.
#include <algorithm>
#include <cstring>
#include <vector>

#include "blocks.h"
#include "conversion.h"
#include "sample_reader.h"

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

bool TRawBufferWalk::Next() {
  for (;;) {
    if (FAtBuffer) {  // the skip in front of that buffer is used up
      ++FIt;
      FSkip = 0;
    }
    FAtBuffer = false;
    if (!FWalk || FIt == std::default_sentinel) {
      if (++FPart >= static_cast<int32_t>(FRecording.Parts.size())) return false;
      TFiff& part = *FRecording.Parts[FPart];
      FWalk.emplace(part, 1, 1.0f);
      FIt = FWalk->begin();
      FSkip = 0;
      FInitialSkip = FKeepSkips ? fiff::ReadRawDataStart(part).InitialSkip : -1;
      continue;
    }
    const TFiffTag& t = *FIt->Tag;
    if (t.Kind == fiff::kDataBuffer) {
      FAtBuffer = true;
      return true;
    }
    if (t.Kind == fiff::kDataSkip && FKeepSkips && FIt->Index != FInitialSkip)
      FSkip = FRecording.Parts[FPart]->ReadLongAt(FIt->Index);
    ++FIt;
  }
}

int64_t TConversion::ColumnsOf(const TFiffTag& Tag) const {
  return Tag.Size / FPlan.RawRows / fiff::RawValueSize(Tag.DataType);
}

void TConversion::WriteRawData(const TStretch& Stretch) {
  TOutputSet& w = *FWriter;
  // Columns are the samples actually written, counted with the rows of the header.
  const int32_t rows = FPlan.RawRows;
  const auto columns = static_cast<int32_t>(Stretch.Columns);  // the plan checked that it fits
  if (FPlan.RawDoubles)
    w.WriteRealMatrixHeader("raw_data", rows, columns);
  else
    w.WriteInt16MatrixHeader("raw_data", rows, columns);

  // Consecutive buffers are converted into the staging buffer one after another and written
  // when it is full and at the end, so many small buffers cost as few writes as a few large ones.
  TConvertProgress progress;
  progress.OutputFile = FOutputName;
  progress.BytesTotal = FPlan.BytesTotal;
  constexpr int64_t kBlockShorts = TOutputSet::kBufferSize / 2;
  int64_t staged = 0;  // 16-bit values waiting in the staging buffer
  auto flush = [&] {
    if (staged > 0) w.WriteBuffer(static_cast<int32_t>(2 * staged));
    staged = 0;
  };
  TDoubleStager doubles(w);
  std::vector<uint8_t> block;
  // The zeros of a skip, as many values as its columns hold.
  auto zeros = [&](int64_t Values) {
    if (FPlan.RawDoubles) {
      doubles.PutMany(Values, 0.0);
      return;
    }
    for (int64_t left = Values; left > 0;) {
      if (staged == kBlockShorts) flush();
      const int64_t n = std::min(left, kBlockShorts - staged);
      std::memset(w.Buffer() + 2 * staged, 0, static_cast<size_t>(2 * n));
      staged += n;
      left -= n;
    }
  };
  std::optional<TSampleReader> samplesOf;  // of the part being read
  // The input is checked for changes after every few MiB of data, not after every buffer.
  constexpr int64_t kCheckEvery = 4 << 20;
  int64_t unchecked = 0;
  int32_t part = -1;
  for (TRawBufferWalk walk(FRecording, FPlan.Options.KeepSkips); walk.Next();) {
    if (walk.Pos() <= Stretch.Start) continue;
    if (walk.Pos() > Stretch.End) break;
    TFiff& reader = *FRecording.Parts[walk.Part()];
    if (walk.Part() != part) {
      if (part >= 0) FRecording.Parts[part]->CheckUnchanged();
      part = walk.Part();
      samplesOf.emplace(reader);
    }
    const TFiffTag& t = *walk.Entry().Tag;
    const int64_t samples = ColumnsOf(t);
    const int64_t skipped = walk.SkipBuffers() * samples;
    zeros(skipped * rows);
    int64_t at = int64_t{t.Pos} + fiff::kTagHeaderSize;
    if (FPlan.RawDoubles) {
      WriteSamplesAsDoubles(*samplesOf, at, t.DataType, samples * rows, doubles, block);
    } else {
      for (int64_t left = samples * rows; left > 0;) {
        if (staged == kBlockShorts) flush();
        const int64_t n = std::min(left, kBlockShorts - staged);
        samplesOf->ReadSwappedShorts(at, w.Buffer() + 2 * staged, n);
        at += 2 * n;
        staged += n;
        left -= n;
      }
    }
    unchecked += t.Size;
    if (unchecked >= kCheckEvery) {
      reader.CheckUnchanged();
      unchecked = 0;
    }
    FBytesDone += t.Size;
    progress.SecondsWritten += static_cast<double>(skipped + samples) / FPlan.Frequency;
    progress.BytesDone = FBytesDone;
    if (FProgress) FProgress(progress);
  }
  flush();
  doubles.Flush();
  if (part >= 0) FRecording.Parts[part]->CheckUnchanged();
  progress.RawDataDone = true;
  if (FProgress) FProgress(progress);
}

void TConversion::WriteSamplesAsDoubles(TSampleReader& Samples, int64_t Pos, int32_t DataType, int64_t Values,
                                        TDoubleStager& Out, std::vector<uint8_t>& Block) {
  // Read in blocks, then each value exactly as a double through the staging buffer.
  const int32_t type = DataType;
  const int64_t size = fiff::RawValueSize(type);
  constexpr int64_t kBlockValues = 1 << 20;
  const size_t need = static_cast<size_t>(std::min<int64_t>(Values, kBlockValues) * size);
  if (Block.size() < need) Block.resize(need);
  for (int64_t left = Values; left > 0;) {
    const int64_t n = std::min<int64_t>(left, kBlockValues);
    Samples.Read(Pos, Block.data(), n * size);
    for (int64_t k = 0; k < n; ++k) Out.Put(ValueAt(Block.data() + k * size, size, type));
    Pos += n * size;
    left -= n;
  }
}
