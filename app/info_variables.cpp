// The measurement-information variables: ChInform, PCA_nnnn, DigitPts, ave_nnnn, Volume3D, slice2MR.
#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

#include "convert.h"

namespace {

std::string Numbered(const char* Prefix, int Number) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%04d", Prefix, Number);
  return text;
}

}  // namespace

void TConversion::WriteChInform() {
  // A channel list that repeats scan numbers already covered is collected once.
  std::vector<int64_t> locations;
  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    if (FReader.FTags[i].Kind != 203) continue;
    FReader.SeekTagData(i);
    if (FReader.ReadLong() > static_cast<int64_t>(locations.size()))
      locations.push_back(int64_t{FReader.FTags[i].Pos} + 16 + 24);
  }
  if (locations.empty()) return;
  FWriter->WriteRealMatrixHeader("ChInform", 12, static_cast<int32_t>(locations.size()));
  TDoubleStager out(*FWriter);
  for (int64_t pos : locations) {
    FReader.SetPosition(pos);
    for (int k = 0; k < 12; ++k) out.Put(FReader.ReadSingle());
  }
  out.Flush();
}

void TConversion::WriteProjections() {
  int number = 0;
  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    const TFiffTag& t = FReader.FTags[i];
    if (t.Kind == 201) return;  // projections after the first frequency are not this file's
    if (t.Kind != 3415) continue;
    // The matrix's three trailing words (dimensions and their count) are not values.
    int32_t rows = t.Size / 4 - 3;
    if (rows < 0) rows = 0;
    FWriter->WriteRealMatrixHeader(Numbered("PCA_", ++number), rows, 1);
    TDoubleStager out(*FWriter);
    FReader.SeekTagData(i);
    for (int32_t k = 0; k < rows; ++k) out.Put(FReader.ReadSingle());
    out.Flush();
  }
}

void TConversion::WriteDigitPts() {
  // Points count only after the first HPI-slopes tag, as in the summary.
  std::vector<int64_t> points;
  bool collecting = false;
  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    const int32_t kind = FReader.FTags[i].Kind;
    if (kind == 215) collecting = true;
    else if (kind == 213 && collecting) points.push_back(int64_t{FReader.FTags[i].Pos} + 16 + 8);
  }
  if (points.empty()) return;
  FWriter->WriteRealMatrixHeader("DigitPts", static_cast<int32_t>(points.size()), 3);
  TDoubleStager out(*FWriter);
  for (int c = 0; c < 3; ++c)  // column by column: all x, then all y, then all z
    for (int64_t pos : points) {
      FReader.SetPosition(pos + 4 * c);
      out.Put(FReader.ReadSingle());
    }
  out.Flush();
}

void TConversion::WriteAverages() {
  constexpr int kFactors = 1000;
  float factor[kFactors];
  bool defined[kFactors] = {};
  int32_t channels = 0, counter = 0, firstSample = 0;
  int number = 0;
  float freq = 1.0f;
  int32_t rows = 0;  // S of the open average
  // A complete average is about four times its epochs' bytes; more than eight times the
  // file cannot be real data and would only fill the disk with NaN.
  const int64_t plausible = 8 * FReader.StreamSize() + (1 << 20);

  TDoubleStager out(*FWriter);
  // The time column has one value per row, from the first sample on.
  auto timeColumn = [&] {
    for (int32_t k = 0; k < rows; ++k)
      out.Put(static_cast<double>(int64_t{firstSample} + k) / freq * 1000);
    out.Flush();
    counter = 0;
  };
  // An average cut short gets NaN columns for its missing channels, then its time column.
  auto closeAverage = [&] {
    if (counter == 0) return;
    out.PutMany(int64_t{channels - counter} * rows, kNaN);
    timeColumn();
  };

  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    const TFiffTag& t = FReader.FTags[i];
    switch (t.Kind) {
      case 200:
        closeAverage();
        FReader.SeekTagData(i);
        channels = FReader.ReadLong();
        counter = 0;
        break;
      case 201:
        FReader.SeekTagData(i);
        freq = FReader.ReadSingle();
        break;
      case 203: {
        FReader.SeekTagData(i);
        const int32_t scan = FReader.ReadLong();
        FReader.SeekTagOffset(i, 16 + 8);
        const int32_t kind = FReader.ReadLong();
        const float scale = kind == 1 ? 1e13f : kind == 2 ? 1e6f : 1.0f;
        FReader.SeekTagOffset(i, 16 + 16);
        float f = FReader.ReadSingle() * scale;  // single precision, as the table holds it
        if (const int32_t coil = FReader.ReadLong(); coil >= 3021 && coil <= 3023) f *= 100.0f;
        if (scan >= 1 && scan <= kFactors) {
          factor[scan - 1] = f;
          defined[scan - 1] = true;
        }
        break;
      }
      case 208:
        FReader.SeekTagData(i);
        firstSample = FReader.ReadLong();
        break;
      case 243:
        closeAverage();
        return;
      case 302: {
        // Only the packed 16-bit form (offset, scale, samples) holds what is read here.
        if (t.DataType != 23 || t.Size < 8 || channels <= 0) break;
        const int32_t s = (t.Size - 8) / 2;
        if (counter == 0) {
          if (int64_t{s} * (int64_t{channels} + 1) * 8 > plausible) break;
          rows = s;
          FWriter->WriteRealMatrixHeader(Numbered("ave_", ++number), rows, channels + 1);
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
      default:
        break;
    }
  }
  closeAverage();
}

void TConversion::WriteMriVolume() {
  int32_t transforms = 0;
  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    if (FReader.FTags[i].Kind != 222) continue;
    FReader.SeekTagData(i);
    if (FReader.ReadLong() == 6 && FReader.ReadLong() == 5) ++transforms;
  }
  if (transforms == 0) return;

  // Slices of unequal size are no volume: neither variable is written.
  int32_t pixelSize = -1, slices = 0, width = 0, height = 0, sliceWidth = 0, sliceHeight = 0;
  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    const TFiffTag& t = FReader.FTags[i];
    if (t.Kind == 2010) {
      FReader.SeekTagData(i);
      width = FReader.ReadLong();
    } else if (t.Kind == 2012) {
      FReader.SeekTagData(i);
      height = FReader.ReadLong();
    } else if (t.Kind == 2006) {
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
      sliceBytes * slices <= std::numeric_limits<int32_t>::max()) {
    // Declared height x width, so each slice is a matrix of height rows, pixels in place.
    FWriter->WriteUInt8HypermatHeader("Volume3D", sliceHeight, sliceWidth, slices);
    std::vector<uint8_t> pixels(static_cast<size_t>(sliceBytes));
    uint8_t* buf = FWriter->Buffer();
    for (int32_t i = 0; i < FReader.FTagCount; ++i) {
      if (FReader.FTags[i].Kind != 2006) continue;
      FReader.SeekTagData(i);
      FReader.ReadBlock(pixels.data(), sliceBytes);
      // Row y, column x of the file goes to x * height + y, in blocks of the staging buffer.
      int64_t o = 0;
      while (o < sliceBytes) {
        const int64_t n = std::min<int64_t>(sliceBytes - o, TScilab::kBufferSize);
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
    if (FReader.FTags[i].Kind != 222) continue;
    FReader.SeekTagData(i);
    if (FReader.ReadLong() != 6 || FReader.ReadLong() != 5) continue;
    for (int k = 0; k < 24; ++k) out.Put(FReader.ReadSingle());
    out.Flush();
  }
}
