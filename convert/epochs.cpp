// epochs and epo_time: MNE-Python's epochs of every part, read in pieces and calibrated as get_data gives them.
#include <bit>
#include <cstring>

#include "variables.h"

namespace {

// A value as stored: a big-endian float or double.
double Stored(const uint8_t* At, int64_t Size) {
  if (Size == 4) {
    uint32_t w;
    std::memcpy(&w, At, 4);
    return std::bit_cast<float>(__builtin_bswap32(w));
  }
  uint64_t w;
  std::memcpy(&w, At, 8);
  return std::bit_cast<double>(__builtin_bswap64(w));
}

}  // namespace

void WriteEpochs(const TPlan& P, TSinkSet& Out) {
  const TMeasurement& m = P.M();
  if (!m.HasEpochs()) return;
  const fiff::TEpochs& first = *m.Epochs()[0];
  const auto channels = static_cast<int64_t>(first.Channels.size());
  int64_t total = 0;
  for (const auto& e : m.Epochs()) total += e->Count;
  // The file's order, epochs x channels x samples with the samples fastest, is Scilab's order of a
  // samples x channels x epochs hypermatrix: the values go out as they are read, a piece at a time.
  if (total > 0) {
    Out.Begin("epochs", TElement::Double, {first.Samples, channels, total});
    constexpr int64_t kValues = TSinkSet::kBufferSize / 8;
    std::vector<uint8_t> piece;
    std::vector<double> cals(static_cast<size_t>(channels)), units(static_cast<size_t>(channels));
    uint8_t* buf = Out.Buffer();
    for (int32_t part = 0; part < m.PartCount(); ++part) {
      const fiff::TEpochs& e = *m.Epochs()[static_cast<size_t>(part)];
      // Each part's own calibration, as MNE-Python reads each part; x the unit factor unless in SI units.
      for (int64_t c = 0; c < channels; ++c) {
        const fiff::TChannelInfo& ch = e.Channels[static_cast<size_t>(c)];
        const fiff::TCalibrationScale scale = fiff::CalibrationScale(ch.Kind, ch.Coil);
        cals[static_cast<size_t>(c)] = ch.Cal;
        units[static_cast<size_t>(c)] = P.Options.Choice.Si ? 1.0 : scale.Unit * scale.Coil;
      }
      const int64_t item = e.DataType == fiff::kTypeDouble ? 8 : 4;
      const int64_t count = int64_t{e.Count} * channels * e.Samples;
      piece.resize(static_cast<size_t>(std::min(count, kValues) * item));
      int64_t channel = 0, sample = 0;
      for (int64_t done = 0; done < count;) {
        const int64_t n = std::min(kValues, count - done);
        m.Part(part).ReadFileAt(e.Data + done * item, piece.data(), n * item);
        for (int64_t j = 0; j < n; ++j) {
          const auto c = static_cast<size_t>(channel);
          const double v = Stored(piece.data() + j * item, item) * cals[c] * units[c];
          std::memcpy(buf + 8 * j, &v, 8);
          if (++sample == e.Samples) {
            sample = 0;
            if (++channel == channels) channel = 0;
          }
        }
        Out.Write(8 * n);
        done += n;
      }
    }
  }
  // Milliseconds from the event, as MNE-Python's times: (first sample + k) / frequency.
  Out.Begin("epo_time", TElement::Double, {first.Samples, 1});
  TDoubleStager stage(Out);
  for (int32_t k = 0; k < first.Samples; ++k)
    stage.Put(static_cast<double>(int64_t{first.FirstSample} + k) / first.Frequency * 1000);
  stage.Flush();
}
