// The conversion's internals: the plan, the state of one run shared by its steps, and the staging of doubles.
#pragma once

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "checked_size.h"
#include "convert.h"
#include "scilab_f.h"
#include "tag_walk.h"

// Stands for a value the file does not give (a factor, a channel's epoch).
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The raw data of one output file: the buffers after Start, up to and including the one at
// End (0: to the end of the directory), and the samples they hold.
struct TStretch {
  int32_t Start = 0;
  int32_t End = 0;
  int64_t Columns = 0;
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

// What the check of the input found, and the files it plans: made once, followed by the run.
struct TPlanDetail {
  TConvertOptions Options;
  std::vector<TStretch> Stretches;  // one per data file
  std::vector<std::string> DataFiles;
  std::string ChannelTable;  // empty when none is written
  int32_t RawRows = 1;       // channel count of raw_data, the count in force at the first buffer
  bool HasBuffers = false;
  bool RawDoubles = false;  // raw_data of doubles: some buffers hold 32-bit or 64-bit values
  float Frequency = 1.0f;   // the file's last sampling frequency, for the seconds written
  int64_t BytesTotal = 0;   // data buffer bytes of the input
};

class TConversion {
 public:
  TConversion(const TRecording& Recording, const TPlanDetail& Plan, const TProgress& Progress);
  std::vector<std::string> Run();

 private:
  void CheckOutputs() const;
  void WriteFile(const std::string& Name, const TStretch& Stretch);
  std::string ChannelTableText();
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
  bool InStretch(const TFiffTag& Tag, const TStretch& Stretch) const;
  int64_t ColumnsOf(const TFiffTag& Tag) const;

  TFiff& FReader;
  const TRecording& FRecording;
  const TPlanDetail& FPlan;
  const TProgress& FProgress;
  std::unique_ptr<TScilab> FWriter;
  std::string FOutputName;
  int64_t FBytesDone = 0;     // data buffer bytes converted so far
  int64_t FInventedLeft = 0;  // of the output file being written
};

// Stages doubles in the writer's buffer and writes them block by block, so a variable of
// any size goes out as the same bytes one block would give.
class TDoubleStager {
 public:
  explicit TDoubleStager(TScilab& Writer) : FWriter(Writer), FBuf(Writer.Buffer()) {}
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
  static constexpr int64_t kPerBlock = TScilab::kBufferSize / 8;
  TScilab& FWriter;
  uint8_t* FBuf;
  int64_t FCount = 0;
};
