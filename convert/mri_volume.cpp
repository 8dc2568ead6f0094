// Volume3D and slice2MR: the MRI slices' pixels, and each slice's transform to MRI coordinates.
#include "variables.h"

void WriteMriVolume(const TMeasurement& M, TSinkSet& Out) {
  const fiff::TMriVolume& v = M.Mri();
  // Without a slice transform there is no volume; slices of unequal size are none either.
  if (v.Transforms.empty() || v.Unequal) return;
  TFiff& r = M.First();
  const int32_t width = v.SliceWidth, height = v.SliceHeight;
  const auto slices = static_cast<int32_t>(v.Slices.size());
  // A slice must lie inside its pixel tag; otherwise there is no picture to store.
  const int64_t sliceBytes = int64_t{width} * height;
  if (slices > 0 && width > 0 && height > 0 && sliceBytes <= v.PixelSize &&
      CheckedInt32(CheckedMul(sliceBytes, slices))) {
    // Declared height x width, so each slice is a matrix of height rows, pixels in place.
    Out.Begin("Volume3D", TElement::UInt8, {height, width, slices});
    std::vector<uint8_t> pixels(static_cast<size_t>(sliceBytes));
    uint8_t* buf = Out.Buffer();
    for (const int32_t i : v.Slices) {
      r.SeekTagData(i);
      r.ReadBlock(pixels.data(), sliceBytes);
      // Row y, column x of the file goes to x * height + y, in blocks of the staging buffer.
      for (int64_t o = 0; o < sliceBytes;) {
        const int64_t n = std::min<int64_t>(sliceBytes - o, TSinkSet::kBufferSize);
        for (int64_t j = 0; j < n; ++j) {
          const int64_t x = (o + j) / height, y = (o + j) % height;
          buf[j] = pixels[static_cast<size_t>(y * width + x)];
        }
        Out.Write(n);
        o += n;
      }
    }
  }
  Out.Begin("slice2MR", TElement::Double, {3, 8, static_cast<int64_t>(v.Transforms.size())});
  TDoubleStager out(Out);
  for (const fiff::TCoordTrans& t : v.Transforms) {
    for (const float value : t.Values) out.Put(value);
    out.Flush();
  }
}
