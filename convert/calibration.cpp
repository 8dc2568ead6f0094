// The calibration vector CalXRnge: which channel records make each vector, and their factors.
#include "conversion.h"

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
      case fiff::kNChan:
        close(e.Frequency);
        index = 0;
        break;
      case fiff::kChInfo:
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
      case fiff::kHpiFitGoodness:
        // Measurement info carries HPI fits before the channels: only a begun vector ends here.
        ends = !vectors.empty();
        break;
      case fiff::kDataBuffer:
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

void TConversion::WriteCalibration(const TStretch& Stretch) {
  // The split point ends the calibration where it lies in the first part.
  const int32_t end = Stretch.End < (int64_t{1} << 32) ? static_cast<int32_t>(Stretch.End) : 0;
  for (const TCalibrationVector& v : CalibrationVectors(FReader, end)) {
    // A vector cut short gets NaN for the factors no record gave, then the frequency; one that
    // would invent more than the budget left ends the calibration.
    const int64_t missing = int64_t{v.Channels} - static_cast<int64_t>(v.Records.size());
    if (!Invent(8 * missing)) break;
    FWriter->WriteRealMatrixHeader("CalXRnge", 1, v.Channels + 1);
    TDoubleStager cal(*FWriter);
    for (const int32_t i : v.Records) {
      const fiff::TChannelInfo ch = FReader.ReadChannelInfo(i);
      const fiff::TCalibrationScale scale = fiff::CalibrationScale(ch.Kind, ch.Coil);
      double value = ch.Range * scale.Unit;
      value *= ch.Cal;
      value *= scale.Coil;
      cal.Put(value);
    }
    cal.PutMany(missing, kNaN);
    cal.Put(v.Frequency);
    cal.Flush();
  }
}
