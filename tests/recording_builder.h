// Recordings as MNE-Python writes them, for tests: measurement info, annotations, raw data with skips, split parts,
// averages and epochs.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fiff_builder.h"

// One part of a raw recording. Channel c of the sample numbered s (the FIFF number: the first
// sample's and the columns after it) holds SampleValue(s, c), so the tests can tell every sample
// by its place; the last channel is a stim channel, which holds Stim(s) (0 unless told).
struct TRawPart {
  struct TBuffer {
    int Samples = 1000;
    int32_t SkipBefore = 0;  // a data skip of that many buffers in front of it
  };
  struct TReference {
    int32_t Role = 2;  // 1 the previous part, 2 the next
    std::string FileName;
    std::optional<int32_t> FileNumber;
  };
  int Channels = 3;
  float Frequency = 1000.0f;
  std::optional<int32_t> FirstSample;  // the first-sample tag, when written
  int32_t InitialSkip = 0;             // a skip as the raw data block's first entry after it
  std::vector<TBuffer> Buffers;
  std::optional<int32_t> MeasDate;  // seconds since 1970; the microseconds are 250000
  bool FileIdDateNone = false;      // the file's id holds MNE-Python's "no date", as it writes it then
  std::optional<float> LineFrequency;
  std::vector<TReference> Before, After;  // reference blocks before and after the buffers
  // Annotations: onsets and ends in seconds, descriptions joined by ':', and the time they count from.
  std::vector<float> Onsets, Ends;
  std::string Descriptions;
  std::optional<double> AnnotationOrigin;
  std::function<int16_t(int64_t Sample)> Stim = [](int64_t) -> int16_t { return 0; };
};

int16_t SampleValue(int64_t Sample, int Channel);
// The part's file: MNE-Python reads it (checked by hand with MNE-Python 1.3).
TFiffBuilder RawPartFile(const TRawPart& Part);

// A recording of three parts named Names, of 3, 2 and 2 seconds from sample 100, with two
// annotations, each linked to the next by its name (ByName) or by its number alone; the parts
// after the first name the part before as MNE-Python does, by a path of the machine that wrote them.
std::vector<TRawPart> SplitRecording(const std::vector<std::string>& Names, bool ByName);

// The beginning of a file of MNE-Python's processed data: its measurement information (a
// magnetometer of coil 3022 with cal 0.7, an EEG channel with cal 0.3 and a stim channel, at
// 1000 Hz) and the processed-data block opened; ProcessedClosing closes both.
TFiffBuilder ProcessedOpening();
TFiffBuilder& ProcessedClosing(TFiffBuilder& B);
// Channel c's sample s of epoch e, distinct in every place; and those values epoch by epoch,
// channel by channel, as a matrix of epochs x channels x samples holds them.
float EpochValue(int E, int C, int S);
std::vector<float> EpochValues(int Epochs, int Channels, int Samples);
// An epochs block of samples -1 to 2 around events at 100, 250 and 400 of values 1, 2 and Third,
// its data written by Data (by default a float matrix of EpochValues), its values named by Names.
TFiffBuilder& EpochsBlock(TFiffBuilder& B, const std::function<void(TFiffBuilder&)>& Data = nullptr,
                          const std::string& Names = "a:x:1;b:2", int32_t Third = 7);
