// The measurement-information variables: ChInform, PCA_nnnn, DigitPts, ave_nnnn, Volume3D, slice2MR.
#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "conversion.h"

namespace {

std::string Numbered(const char* Prefix, int Number) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%04d", Prefix, Number);
  return text;
}

}  // namespace

void TConversion::WriteChInform() {
  // A channel list that repeats scan numbers already covered is collected once.
  std::vector<std::array<float, 12>> locations;
  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    if (FReader.FTags[i].Kind != fiff::kChInfo) continue;
    const fiff::TChannelInfo ch = FReader.ReadChannelInfo(i);
    if (ch.Scan > static_cast<int64_t>(locations.size())) locations.push_back(std::to_array(ch.Loc));
  }
  if (locations.empty()) return;
  FWriter->WriteRealMatrixHeader("ChInform", 12, static_cast<int32_t>(locations.size()));
  TDoubleStager out(*FWriter);
  for (const auto& loc : locations)
    for (float v : loc) out.Put(v);
  out.Flush();
}

void TConversion::WriteProjections() {
  int number = 0;
  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    const TFiffTag& t = FReader.FTags[i];
    if (t.Kind == fiff::kSFreq) return;  // projections after the first frequency are not this file's
    if (t.Kind != fiff::kProjItemVectors) continue;
    // The matrix's trailing words (dimensions and their count) are not values.
    int32_t rows = t.Size / 4 - fiff::kMatrixTrailingWords;
    if (rows < 0) rows = 0;
    FWriter->WriteRealMatrixHeader(Numbered("PCA_", ++number), rows, 1);
    TDoubleStager out(*FWriter);
    FReader.SeekTagData(i);
    for (int32_t k = 0; k < rows; ++k) out.Put(FReader.ReadSingle());
    out.Flush();
  }
}

void TConversion::WriteDigitPts() {
  const std::vector<int32_t> points = FReader.DigitizedPointEntries();
  if (points.empty()) return;
  FWriter->WriteRealMatrixHeader("DigitPts", static_cast<int32_t>(points.size()), 3);
  std::vector<fiff::TDigPoint> read;
  read.reserve(points.size());
  for (const int32_t i : points) read.push_back(FReader.ReadDigPoint(i));
  TDoubleStager out(*FWriter);
  for (int c = 0; c < 3; ++c)  // column by column: all x, then all y, then all z
    for (const fiff::TDigPoint& p : read) out.Put(p.R[c]);
  out.Flush();
}

// The epochs the average beginning at entry From gets are those up to its channel count, before
// a new channel count or the goodness limit ends it; each missing one and each shorter one is NaN.
int64_t TConversion::AverageCompletion(int32_t From, int32_t Channels, int32_t Rows) const {
  int64_t missing = 0;  // values
  int32_t epochs = 0;
  for (int32_t i = From; i < FReader.FTagCount && epochs < Channels; ++i) {
    const TFiffTag& t = FReader.FTags[i];
    if (t.Kind == fiff::kNChan || t.Kind == fiff::kHpiFitGoodLimit) break;
    if (t.Kind != fiff::kEpoch || t.DataType != fiff::kTypeOldPack || t.Size < fiff::kOldPackSamples) continue;
    missing += std::max<int64_t>(0, Rows - (t.Size - fiff::kOldPackSamples) / 2);
    ++epochs;
  }
  return 8 * (missing + int64_t{Channels - epochs} * Rows);
}

void TConversion::WriteAverages() {
  constexpr int kFactors = 1000;
  float factor[kFactors];
  bool defined[kFactors] = {};
  int32_t channels = 0, counter = 0, firstSample = 0;
  int number = 0;
  float freq = 1.0f;
  int32_t rows = 0;      // S of the open average
  bool skipped = false;  // the open average is left out: it would invent more than the budget left
  // A complete average is about four times its epochs' bytes; one larger than the budget of
  // invented values cannot be real data and would only fill the disk with NaN.
  const int64_t plausible = InventedBytesAllowed(FPlan.InputSize);

  TDoubleStager out(*FWriter);
  // The time column has one value per row, from the first sample on.
  auto timeColumn = [&] {
    for (int32_t k = 0; k < rows; ++k) out.Put(static_cast<double>(int64_t{firstSample} + k) / freq * 1000);
    out.Flush();
    counter = 0;
  };
  // An average cut short gets NaN columns for its missing channels, then its time column.
  auto closeAverage = [&] {
    if (skipped) counter = 0;
    skipped = false;
    if (counter == 0) return;
    out.PutMany(int64_t{channels - counter} * rows, kNaN);
    timeColumn();
  };

  for (const TWalkEntry& e : TTagWalk(FReader, 0, 1.0f)) {
    const TFiffTag& t = *e.Tag;
    const int32_t i = e.Index;
    freq = e.Frequency;
    switch (t.Kind) {
      case fiff::kNChan:
        closeAverage();  // with the count it was begun with
        channels = e.Channels;
        counter = 0;
        break;
      case fiff::kChInfo: {
        const fiff::TChannelInfo ch = FReader.ReadChannelInfo(i);
        const fiff::TCalibrationScale scale = fiff::CalibrationScale(ch.Kind, ch.Coil);
        // Single precision, as the table holds it.
        float f = ch.Cal * static_cast<float>(scale.Unit);
        f *= static_cast<float>(scale.Coil);
        if (ch.Scan >= 1 && ch.Scan <= kFactors) {
          factor[ch.Scan - 1] = f;
          defined[ch.Scan - 1] = true;
        }
        break;
      }
      case fiff::kFirstSample: firstSample = FReader.ReadLongAt(i); break;
      case fiff::kHpiFitGoodLimit: closeAverage(); return;
      case fiff::kEpoch: {
        // Only the packed 16-bit form (offset, scale, samples) holds what is read here.
        if (t.DataType != fiff::kTypeOldPack || t.Size < fiff::kOldPackSamples || channels <= 0) break;
        const int32_t s = (t.Size - fiff::kOldPackSamples) / 2;
        if (counter == 0) {
          // A count of 2^31 - 1 channels has no column for the time, and the size of a long epoch
          // times many channels would not fit in 64 bits: both are no average.
          const std::optional<int32_t> cols = CheckedInt32(CheckedAdd(channels, 1));
          const std::optional<int64_t> bytes = cols ? CheckedMul(int64_t{s} * 8, *cols) : std::nullopt;
          if (!bytes || *bytes > plausible) break;
          if (!Invent(AverageCompletion(i, channels, s))) {
            skipped = true;
            counter = 1;
            if (counter == channels) closeAverage();
            break;
          }
          rows = s;
          FWriter->WriteRealMatrixHeader(Numbered("ave_", ++number), rows, *cols);
        } else if (skipped) {
          if (++counter == channels) closeAverage();
          break;
        }
        FReader.SeekTagData(i);
        const double a = FReader.ReadSingle();
        const double b = FReader.ReadSingle();
        const double k = counter < kFactors && defined[counter] ? factor[counter] : 1.0;
        const int32_t n = s < rows ? s : rows;  // every column has the header's rows
        for (int32_t j = 0; j < n; ++j) out.Put((FReader.ReadShort() * b + a) * k);
        out.PutMany(rows - n, kNaN);
        out.Flush();
        if (++counter == channels) timeColumn();
        break;
      }
      default: break;
    }
  }
  closeAverage();
}

void TConversion::WriteMriVolume() {
  int32_t transforms = 0;
  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    if (FReader.FTags[i].Kind != fiff::kCoordTrans) continue;
    const fiff::TCoordTrans t = FReader.ReadCoordTrans(i);
    if (t.From == fiff::kCoordMriSlice && t.To == fiff::kCoordMri) ++transforms;
  }
  if (transforms == 0) return;

  // Slices of unequal size are no volume: neither variable is written.
  int32_t pixelSize = -1, slices = 0, width = 0, height = 0, sliceWidth = 0, sliceHeight = 0;
  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    const TFiffTag& t = FReader.FTags[i];
    if (t.Kind == fiff::kMriWidth) {
      width = FReader.ReadLongAt(i);
    } else if (t.Kind == fiff::kMriHeight) {
      height = FReader.ReadLongAt(i);
    } else if (t.Kind == fiff::kMriPixelData) {
      if (pixelSize < 0) {
        pixelSize = t.Size;
        sliceWidth = width;  // the volume keeps the size its first slice had
        sliceHeight = height;
      } else if (t.Size != pixelSize) {
        return;
      }
      ++slices;
    }
  }

  // A slice must lie inside its pixel tag; otherwise there is no picture to store.
  const int64_t sliceBytes = int64_t{sliceWidth} * sliceHeight;
  if (slices > 0 && sliceWidth > 0 && sliceHeight > 0 && sliceBytes <= pixelSize &&
      CheckedInt32(CheckedMul(sliceBytes, slices))) {
    // Declared height x width, so each slice is a matrix of height rows, pixels in place.
    FWriter->WriteUInt8HypermatHeader("Volume3D", sliceHeight, sliceWidth, slices);
    std::vector<uint8_t> pixels(static_cast<size_t>(sliceBytes));
    uint8_t* buf = FWriter->Buffer();
    for (int32_t i = 0; i < FReader.FTagCount; ++i) {
      if (FReader.FTags[i].Kind != fiff::kMriPixelData) continue;
      FReader.SeekTagData(i);
      FReader.ReadBlock(pixels.data(), sliceBytes);
      // Row y, column x of the file goes to x * height + y, in blocks of the staging buffer.
      int64_t o = 0;
      while (o < sliceBytes) {
        const int64_t n = std::min<int64_t>(sliceBytes - o, TOutputSet::kBufferSize);
        for (int64_t j = 0; j < n; ++j) {
          const int64_t x = (o + j) / sliceHeight, y = (o + j) % sliceHeight;
          buf[j] = pixels[static_cast<size_t>(y * sliceWidth + x)];
        }
        FWriter->WriteBuffer(static_cast<int32_t>(n));
        o += n;
      }
    }
  }

  FWriter->WriteRealHypermatHeader("slice2MR", 3, 8, transforms);
  TDoubleStager out(*FWriter);
  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    if (FReader.FTags[i].Kind != fiff::kCoordTrans) continue;
    const fiff::TCoordTrans t = FReader.ReadCoordTrans(i);
    if (t.From != fiff::kCoordMriSlice || t.To != fiff::kCoordMri) continue;
    for (const float v : t.Values) out.Put(v);
    out.Flush();
  }
}
