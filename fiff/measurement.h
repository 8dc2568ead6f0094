// A recording read once: its channels, calibration, times, information and the directory of its raw data buffers.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "averages.h"
#include "blocks.h"
#include "fiff_f.h"
#include "processed.h"

namespace fiff {

// The entries of the digitised points that count, in order: those after the first HPI-slopes tag
// (the summary's counts and the converted points alike).
std::vector<int32_t> DigitizedPointEntries(const TFiff& Reader);

// A calibration vector: the channel records after a channel count, up to that count.
struct TCalibrationVector {
  int32_t Channels = 0;          // the count in force where it begins
  std::vector<int32_t> Records;  // the entries of its records, in file order, at most Channels
  float Frequency = 1.0f;        // the sampling frequency in force where it ends
};
// The vectors CalXRnge takes, in file order; the first gives raw_data's rows their records. A
// vector ends at a new channel count, at an HPI fit once a vector has begun, or at the data buffer
// at End (a series' split point; 0 for none); a channel record after a complete vector ends the
// collection, and so does a count no file of the reader's size could describe.
std::vector<TCalibrationVector> CalibrationVectors(TFiff& Reader, int32_t End);

// An MRI volume: its slices (pixel tags) and their slice-to-MRI transforms.
struct TMriVolume {
  std::vector<TCoordTrans> Transforms;      // slice to MRI (6 to 5), in file order
  std::vector<int32_t> Slices;              // the pixel tags' entries
  int32_t SliceWidth = 0, SliceHeight = 0;  // in force at the first slice
  int32_t PixelSize = -1;                   // bytes of the first pixel tag
  bool Unequal = false;                     // pixel tags of different sizes: no volume
};

}  // namespace fiff

// A data buffer of the recording: its part, where its tag lies, what it holds, and the buffers a
// data skip in front of it says are missing.
struct TRawBuffer {
  int32_t Part = 0;
  int32_t Pos = 0;
  int32_t DataType = 0;
  int32_t Size = 0;
  int32_t SkipBuffers = 0;
};

using TRawBuffers = std::vector<TRawBuffer, THugePageAllocator<TRawBuffer>>;

// Where a part's raw data begin.
struct TPartStart {
  int32_t FirstBuffer = -1;  // its first buffer's index in the recording's; -1 when it has none
  int32_t Channels = 0;      // the channel count and sampling frequency in force at that buffer
  float Frequency = 0.0f;
  // The number of its first sample: the one its raw data state (208), for the first part moved by
  // the columns of an initial skip (as many buffers as its first buffer's), as MNE-Python reads it.
  // A later part's initial skip is zeros in place instead, in its first buffer's skip.
  int64_t FirstSample = 0;
  int64_t StatedFirstSample = 0;
};

// A row of raw_data that the channel list describes: its record, with what other blocks add.
struct TRawChannel {
  int32_t Entry = 0;  // of the record
  fiff::TChannelInfo Record;
  std::string Name;  // the full name where MNE stores one (block 113), else the record's; UTF-8
  bool Bad = false;  // in the bad-channel tag's slots or MNE's list of bad channels
};

// How the recording is read: the window leaves skipped buffers out and reads no first sample
// (KeepSkips false) nor MNE-Python's processed data; an average larger than LargestAverage bytes is no average.
struct TMeasurementRules {
  bool KeepSkips = false;
  bool Processed = false;  // MNE-Python's float averages and epochs read too
  int64_t LargestAverage = std::numeric_limits<int64_t>::max();
};

// One recording (a file, or the parts of a split recording in order), read once from the
// directories of its parts: every variable, table and sidecar reads what it needs here. The first
// part gives the information, the channels and the calibration; the buffers of all parts follow one
// another as if they were one file.
//
// The channels are listed by three rules, each kept where the files' bytes rely on it:
//  - ChInform's locations take each channel record whose scan number is beyond those taken (a
//    repeated channel list counts once);
//  - raw_data's rows, CalXRnge and the channel table take the records of the calibration vectors
//    (the first vector's for the rows), in file order;
//  - each average's columns take the factor of the scan number equal to the column's place, as
//    the records met so far in the directory define it (see averages.h).
class TMeasurement {
 public:
  TMeasurement(std::vector<TFiff*> Parts, const TMeasurementRules& Rules);

  TFiff& First() const { return *FParts[0]; }
  TFiff& Part(int32_t Index) const { return *FParts[Index]; }
  int32_t PartCount() const { return static_cast<int32_t>(FParts.size()); }
  const std::vector<TFiff*>& Parts() const { return FParts; }
  const TMeasurementRules& Rules() const { return FRules; }
  int64_t InputSize() const { return FInputSize; }  // of all parts
  // Throws, naming the part, when any part changed since it was loaded.
  void CheckUnchanged() const;

  // The raw data: every data buffer of every part in order, and where each part's begin.
  const TRawBuffers& Buffers() const { return FBuffers; }
  const std::vector<TPartStart>& PartStarts() const { return FPartStarts; }
  bool HasBuffers() const { return !FBuffers.empty(); }
  int32_t RawRows() const { return FRawRows; }            // the channel count in force at the first buffer
  float RawFrequency() const { return FRawFrequency; }    // the sampling frequency there
  float LastFrequency() const { return FLastFrequency; }  // the first part's last one (1.0 when none)
  int64_t BufferBytes() const { return FBufferBytes; }    // of all data buffers
  // Samples a buffer holds: its values divided among raw_data's rows (0 without rows).
  int64_t Columns(const TRawBuffer& Buffer) const {
    return FRawRows > 0 ? Buffer.Size / FRawRows / fiff::RawValueSize(Buffer.DataType) : 0;
  }

  // The channels: CalXRnge's vectors over the whole directory, and the rows they describe.
  const std::vector<fiff::TCalibrationVector>& Calibration() const { return FCalibration; }
  const std::vector<TRawChannel>& Channels() const { return FChannels; }   // at most RawRows
  bool BadSlot(int64_t Row) const;                                         // the bad-channel tag marks row Row
  std::optional<float> TableFrequency() const { return FTableFrequency; }  // the last before the first buffer
  std::optional<float> Highpass() const { return FHighpass; }              // the file's first corners
  std::optional<float> Lowpass() const { return FLowpass; }
  const fiff::TMeasurementFacts& Facts() const { return FFacts; }
  const fiff::TAnnotations& Annotations() const { return FAnnotations; }
  // Whether the first part holds a compensation (MNE's CTF compensation data, block 371): then
  // MNE-Python's "meg" takes the reference channels too.
  bool HasCompensation() const { return FHasCompensation; }

  // The information variables' content.
  const std::vector<std::array<float, 12>>& ChInformLocations() const { return FLocations; }
  const std::vector<int32_t>& Projections() const { return FProjections; }  // before the first frequency
  const std::vector<fiff::TDigPoint>& DigitizedPoints() const { return FPoints; }
  const std::vector<fiff::TAverage>& Averages() const { return FAverages; }
  // MNE-Python's: the first part's float averages, and each part's epochs (none for a part without).
  const std::vector<fiff::TFloatAverage>& FloatAverages() const { return FFloatAverages; }
  // What an aspect block says of each packed average (by its place in Averages), where one holds it.
  const std::vector<std::optional<fiff::TAspect>>& PackedAspects() const { return FPackedAspects; }
  const std::vector<std::optional<fiff::TEpochs>>& Epochs() const { return FEpochs; }
  bool HasEpochs() const { return !FEpochs.empty() && FEpochs[0].has_value(); }
  const fiff::TMriVolume& Mri() const { return FMri; }

 private:
  void ReadRawDirectory();
  void ReadChannels();
  void ReadInformation();
  void ReadProcessed();

  std::vector<TFiff*> FParts;
  TMeasurementRules FRules;
  int64_t FInputSize = 0;
  TRawBuffers FBuffers;
  std::vector<TPartStart> FPartStarts;
  int32_t FRawRows = 1;
  float FRawFrequency = 1.0f;
  float FLastFrequency = 1.0f;
  int64_t FBufferBytes = 0;
  std::vector<fiff::TCalibrationVector> FCalibration;
  std::vector<TRawChannel> FChannels;
  std::vector<int32_t> FBadSlots;
  std::optional<float> FTableFrequency, FHighpass, FLowpass;
  fiff::TMeasurementFacts FFacts;
  fiff::TAnnotations FAnnotations;
  bool FHasCompensation = false;
  std::vector<std::array<float, 12>> FLocations;
  std::vector<int32_t> FProjections;
  std::vector<fiff::TDigPoint> FPoints;
  std::vector<fiff::TAverage> FAverages;
  std::vector<fiff::TFloatAverage> FFloatAverages;
  std::vector<std::optional<fiff::TAspect>> FPackedAspects;
  std::vector<std::optional<fiff::TEpochs>> FEpochs;
  fiff::TMriVolume FMri;
};
