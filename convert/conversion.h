// The conversion's internals: the plan, the state of one run shared by its steps, and the staging of doubles.
#pragma once

#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "checked_size.h"
#include "convert.h"
#include "output_set.h"
#include "tag_walk.h"

// Stands for a value the file does not give (a factor, a channel's epoch).
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A data buffer's place in a recording: its part and its position there, in one number that
// grows through the parts in order.
inline int64_t RecordingPos(int32_t Part, int32_t Pos) { return (int64_t{Part} << 32) | static_cast<uint32_t>(Pos); }

// The raw data of one output file: the buffers after Start, up to and including the one at End,
// both places in the recording; the samples they hold (and the zeros of their skips); and the
// column of the whole recording where they begin.
struct TStretch {
  int64_t Start = -1;
  int64_t End = std::numeric_limits<int64_t>::max();
  int64_t Columns = 0;
  int64_t FirstColumn = 0;
  int64_t ZeroBytes = 0;  // of the skips' zeros, taken from the file's budget of invented values
};

// The data buffers of a recording in order, each with the skip in front of it: the buffers a data
// skip says are missing, as MNE-Python counts them (the last skip tag before the buffer; none under
// the window's rules, nor the skip that begins a part's raw data, which moves its first sample).
class TRawBufferWalk {
 public:
  TRawBufferWalk(const TRecording& Recording, bool KeepSkips) : FRecording(Recording), FKeepSkips(KeepSkips) {}
  // Steps to the next data buffer; false after the last.
  bool Next();
  int32_t Part() const { return FPart; }
  const TWalkEntry& Entry() const { return *FIt; }
  int64_t Pos() const { return RecordingPos(FPart, FIt->Tag->Pos); }
  int32_t SkipBuffers() const { return FSkip > 0 ? FSkip : 0; }

 private:
  const TRecording& FRecording;
  const bool FKeepSkips;
  int32_t FPart = -1;
  std::optional<TTagWalk> FWalk;
  TTagWalk::Iterator FIt;
  bool FAtBuffer = false;  // FIt stands on the buffer given last
  int32_t FSkip = 0;
  int32_t FInitialSkip = -1;  // the entry of the part's initial skip
};

// A calibration vector: the channel records after a channel count, up to that count.
struct TCalibrationVector {
  int32_t Channels = 0;          // the count in force where it begins
  std::vector<int32_t> Records;  // the entries of its records, in file order, at most Channels
  float Frequency = 1.0f;        // the sampling frequency in force where it ends
};
// The vectors CalXRnge takes, in file order, and so the rows of the channel table. A vector ends
// at a new channel count, at an HPI fit once a vector has begun, or at the data buffer at End (the
// split point; 0 for none); a channel record after a complete vector ends the collection, and so
// does a count no file of the reader's size could describe.
std::vector<TCalibrationVector> CalibrationVectors(TFiff& Reader, int32_t End);

// A data skip filled with zeros: where it begins in the recording, how many columns, and where it
// stands (its part, the position of the buffer after it, the buffers it says are missing).
struct TSkipFill {
  int64_t Column = 0;
  int64_t Columns = 0;
  int32_t Part = 0;
  int32_t Pos = 0;
  int32_t Buffers = 0;
};

// A row of NAME_events.tsv: the column where it begins, its duration in seconds, its type.
struct TEventRow {
  int64_t Column = 0;
  double Duration = 0;
  std::string Type;
};

// What the check of the input found, and the files it plans: made once, followed by the run.
struct TPlanDetail {
  TConvertOptions Options;
  int64_t InputSize = 0;               // of all parts
  std::vector<TStretch> Stretches;     // one per data file
  std::vector<std::string> DataBases;  // one per data file: its path without the format's ending
  std::vector<std::string> DataFiles;  // every data file, in every format
  std::string ChannelTable;            // empty when none is written
  std::string EventsFile;              // likewise
  std::string RecordingFile;           // likewise
  int32_t RawRows = 1;                 // channel count of raw_data, the count in force at the first buffer
  bool HasBuffers = false;
  bool RawDoubles = false;    // raw_data of doubles: some buffers hold 32-bit or 64-bit values
  float Frequency = 1.0f;     // the first part's last sampling frequency, for the seconds written
  float RawFrequency = 1.0f;  // the sampling frequency at the first buffer: the recording's
  int64_t BytesTotal = 0;     // data buffer bytes of the input
  int64_t FirstSample = 0;    // the FIFF number of the first column
  int64_t TotalColumns = 0;   // of the whole recording
  std::vector<TSkipFill> Skips;
  std::vector<TEventRow> Events;  // sorted by column
};

// The rows of NAME_events.tsv: the first part's annotations, placed as MNE-Python places them, and
// one BAD_ACQ_SKIP row per filled skip, sorted by their beginning.
std::vector<TEventRow> RecordingEvents(const TRecording& Recording, const TPlanDetail& Plan);

class TConversion {
 public:
  TConversion(const TRecording& Recording, const TPlanDetail& Plan, const TProgress& Progress);
  std::vector<std::string> Run();

 private:
  void CheckOutputs() const;
  void WriteFile(const std::string& Base, const TStretch& Stretch);
  std::string ChannelTableText();
  std::string EventsText();
  std::string RecordingText();
  void WriteChInform();
  void WriteProjections();
  void WriteDigitPts();
  void WriteAverages();
  void WriteMriVolume();
  void WriteCalibration(const TStretch& Stretch);
  void WriteRawData(const TStretch& Stretch);
  void WriteSamplesAsDoubles(class TSampleReader& Samples, int64_t Pos, int32_t DataType, int64_t Values,
                             class TDoubleStager& Out, std::vector<uint8_t>& Block);
  // Bytes of NaN that completing the average beginning at entry From would invent.
  int64_t AverageCompletion(int32_t From, int32_t Channels, int32_t Rows) const;
  // Takes Bytes from the file's budget of invented values; false, taking nothing, when too few are left.
  bool Invent(int64_t Bytes);
  int64_t ColumnsOf(const TFiffTag& Tag) const;

  TFiff& FReader;
  const TRecording& FRecording;
  const TPlanDetail& FPlan;
  const TProgress& FProgress;
  std::unique_ptr<TOutputSet> FWriter;
  std::string FOutputName;
  int64_t FBytesDone = 0;     // data buffer bytes converted so far
  int64_t FInventedLeft = 0;  // of the output file being written
};

// Stages doubles in the writer's buffer and writes them block by block, so a variable of
// any size goes out as the same bytes one block would give.
class TDoubleStager {
 public:
  explicit TDoubleStager(TOutputSet& Writer) : FWriter(Writer), FBuf(Writer.Buffer()) {}
  void Put(double Value) {
    if (FCount == kPerBlock) Flush();
    std::memcpy(FBuf + 8 * FCount, &Value, 8);  // little-endian hosts only, as Scilab's
    ++FCount;
  }
  void PutMany(int64_t Count, double Value) {
    for (int64_t i = 0; i < Count; ++i) Put(Value);
  }
  void Flush() {
    if (FCount > 0) FWriter.WriteBuffer(static_cast<int32_t>(8 * FCount));
    FCount = 0;
  }

 private:
  static constexpr int64_t kPerBlock = TOutputSet::kBufferSize / 8;
  TOutputSet& FWriter;
  uint8_t* FBuf;
  int64_t FCount = 0;
};
