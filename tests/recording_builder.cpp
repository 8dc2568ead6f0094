// The FIFF layout of a raw recording as MNE-Python writes it, built tag by tag.
#include "recording_builder.h"

#include <bit>

#include "processed.h"

int16_t SampleValue(int64_t Sample, int Channel) { return static_cast<int16_t>(Sample * 3 + Channel * 1000); }

TFiffBuilder RawPartFile(const TRawPart& P) {
  using namespace fiff;
  TFiffBuilder b = TFiffBuilder::Empty();
  b.Tag(kFileId, kTypeId, BE16(1) + BE16(1) + TBytes(8, 0) + BEInts({0, P.FileIdDateNone ? 2147483647 : 0}));
  b.Int(101, -1).Int(106, -1);  // no directory pointer and no free list: MNE-Python reads the tags in order
  b.Int(kBlockStart, kBlockMeas).Int(kBlockStart, kBlockMeasInfo);
  if (P.MeasDate) b.Tag(kMeasDate, kTypeInt, BEInts({*P.MeasDate, 250000}));
  b.Int(kNChan, P.Channels).Float(kSFreq, P.Frequency).Float(kLowpass, P.Frequency / 2).Float(kHighpass, 0.0f);
  if (P.LineFrequency) b.Float(kLineFreq, *P.LineFrequency);
  for (int c = 0; c < P.Channels; ++c) {
    const int32_t kind = c == P.Channels - 1 ? kChKindStim : c % 2 == 0 ? kChKindMeg : kChKindEeg;
    b.Channel({.Scan = c + 1,
               .Kind = kind,
               .Cal = kind == kChKindMeg   ? 1e-13f
                      : kind == kChKindEeg ? 1e-6f
                                           : 1.0f,
               .Coil = kind == kChKindMeg ? 3022 : 0,
               .Unit = kind == kChKindMeg   ? 112
                       : kind == kChKindEeg ? 107
                                            : -1,
               .Name = "CH " + std::to_string(c + 1)});
  }
  b.Int(kBlockEnd, kBlockMeasInfo);
  if (!P.Onsets.empty() || !P.Ends.empty()) {
    b.Int(kBlockStart, kBlockMneAnnotations);
    b.Tag(kMneBaselineMin, kTypeFloat, BEFloats(P.Onsets)).Tag(kMneBaselineMax, kTypeFloat, BEFloats(P.Ends));
    b.Text(kComment, P.Descriptions);
    if (P.AnnotationOrigin) {
      const double seconds = static_cast<int64_t>(*P.AnnotationOrigin), micro = (*P.AnnotationOrigin - seconds) * 1e6;
      TBytes d;
      for (const double v : {seconds, micro}) {
        const auto bits = std::bit_cast<uint64_t>(v);
        d = d + BE32(static_cast<int32_t>(bits >> 32)) + BE32(static_cast<int32_t>(bits));
      }
      b.Tag(kMeasDate, kTypeDouble, d);
    }
    b.Int(kBlockEnd, kBlockMneAnnotations);
  }
  auto references = [&b](const std::vector<TRawPart::TReference>& Refs) {
    for (const auto& r : Refs) {
      b.Int(kBlockStart, kBlockRef).Int(kRefRole, r.Role);
      if (!r.FileName.empty()) b.Text(kRefFileName, r.FileName);
      if (r.FileNumber) b.Int(kRefFileNum, *r.FileNumber);
      b.Int(kBlockEnd, kBlockRef);
    }
  };
  b.Int(kBlockStart, kBlockRawData);
  if (P.FirstSample) b.Int(kFirstSample, *P.FirstSample);
  if (P.InitialSkip) b.Int(kDataSkip, P.InitialSkip);
  references(P.Before);
  // The samples run on from the first sample, past the initial skip and each skip, as MNE counts them.
  int64_t sample = P.FirstSample.value_or(0);
  if (P.InitialSkip > 0 && !P.Buffers.empty()) sample += int64_t{P.InitialSkip} * P.Buffers[0].Samples;
  for (const auto& buffer : P.Buffers) {
    if (buffer.SkipBefore != 0) b.Int(kDataSkip, buffer.SkipBefore);
    if (buffer.SkipBefore > 0) sample += int64_t{buffer.SkipBefore} * buffer.Samples;
    std::vector<int16_t> v;
    for (int t = 0; t < buffer.Samples; ++t, ++sample)
      for (int c = 0; c < P.Channels; ++c) v.push_back(c == P.Channels - 1 ? P.Stim(sample) : SampleValue(sample, c));
    b.RawBuffer(v);
  }
  references(P.After);
  b.Int(kBlockEnd, kBlockRawData).Int(kBlockEnd, kBlockMeas);
  return b;
}

std::vector<TRawPart> SplitRecording(const std::vector<std::string>& Names, bool ByName) {
  std::vector<TRawPart> parts(3);
  for (int k = 0; k < 3; ++k) {
    TRawPart& p = parts[k];
    p.FirstSample = k == 0 ? 100 : k == 1 ? 3100 : 5100;
    p.Buffers = std::vector<TRawPart::TBuffer>(k == 0 ? 3 : 2, {1000, 0});
    p.MeasDate = 1614834367;
    p.LineFrequency = 50.0f;
    p.Onsets = {0.6f, 4.35f};
    p.Ends = {1.1f, 4.35f};
    p.Descriptions = "stim A:resp{COLON}B";
    p.AnnotationOrigin = 1614834367.25;
    if (k > 0) p.Before = {{1, ByName ? "/acq/" + Names[k - 1] : "", k - 1}};
    if (k < 2) p.After = {{2, ByName ? Names[k + 1] : "", k + 1}};
  }
  return parts;
}

TFiffBuilder ProcessedOpening() {
  using namespace fiff;
  TFiffBuilder b = TFiffBuilder::Empty();
  b.Tag(kFileId, kTypeId, BE16(1) + BE16(1) + TBytes(16, 0)).Int(101, -1).Int(106, -1);
  b.Begin(kBlockMeas).Begin(kBlockMeasInfo).Int(kNChan, 3).Float(kSFreq, 1000.0f);
  b.Channel({.Scan = 1, .Kind = kChKindMeg, .Cal = 0.7f, .Coil = 3022, .Unit = 112, .Name = "MEG 0111"});
  b.Channel({.Scan = 2, .Kind = kChKindEeg, .Cal = 0.3f, .Coil = 1, .Unit = 107, .Name = "EEG 001"});
  b.Channel({.Scan = 3, .Kind = kChKindStim, .Cal = 1.0f, .Coil = 0, .Unit = -1, .Name = "STI 014"});
  return b.End(kBlockMeasInfo).Begin(103);
}

TFiffBuilder& ProcessedClosing(TFiffBuilder& B) { return B.End(103).End(fiff::kBlockMeas); }

float EpochValue(int E, int C, int S) { return static_cast<float>(E * 100 + C * 10 + S) + 0.25f; }

std::vector<float> EpochValues(int Epochs, int Channels, int Samples) {
  std::vector<float> v;
  for (int e = 0; e < Epochs; ++e)
    for (int c = 0; c < Channels; ++c)
      for (int s = 0; s < Samples; ++s) v.push_back(EpochValue(e, c, s));
  return v;
}

TFiffBuilder& EpochsBlock(TFiffBuilder& B, const std::function<void(TFiffBuilder&)>& Data, const std::string& Names,
                          int32_t Third) {
  using namespace fiff;
  B.Begin(kBlockMneEpochs).Int(kFirstSample, -1).Int(kLastSample, 2);
  if (Data)
    Data(B);
  else
    B.Matrix(kEpoch, kTypeFloat, BEFloats(EpochValues(3, 3, 4)), {3, 3, 4});
  B.Begin(kBlockMneEvents).Tag(kMneEventList, kTypeInt, BEInts({100, 0, 1, 250, 0, 2, 400, 0, Third}));
  if (!Names.empty()) B.Text(kComment, Names);
  return B.End(kBlockMneEvents).End(kBlockMneEpochs);
}
