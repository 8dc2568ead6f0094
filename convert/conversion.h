// The conversion's internals: the state of one run shared by its steps, and the staging of doubles.
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

class TConversion {
 public:
  TConversion(TFiff& Reader, const TConvertOptions& Options, const TProgress& Progress);
  std::vector<std::string> Run();
  // The files Run would write.
  std::vector<std::string> Plan();

 private:
  // Checks made before anything is written; the same pass splits the raw data into FStretches.
  void CheckInput();
  void CheckOutputs(const std::vector<std::string>& Names) const;
  std::vector<std::string> OutputNames(size_t Files) const;

  void WriteFile(const std::string& Name, const TStretch& Stretch);
  // The outputs' path without ending: the input's, in the output folder when one is given.
  std::string OutputBase() const;
  std::string ChannelTableText();
  void WriteChannelTable(const std::string& Name);
  void WriteChInform();
  void WriteProjections();
  void WriteDigitPts();
  void WriteAverages();
  void WriteMriVolume();
  void WriteCalibration(const TStretch& Stretch);
  void WriteRawData(const TStretch& Stretch);
  void WriteSamplesAsDoubles(int32_t DataType, int64_t Values, class TDoubleStager& Out, std::vector<uint8_t>& Block);
  // Bytes of NaN that completing what begins at entry From would invent.
  int64_t AverageCompletion(int32_t From, int32_t Channels, int32_t Rows) const;
  int64_t CalibrationCompletion(int32_t From, int32_t Channels, const TStretch& Stretch) const;
  // Takes Bytes from the file's budget of invented values; false, taking nothing, when too few are left.
  bool Invent(int64_t Bytes);
  bool InStretch(const TFiffTag& Tag, const TStretch& Stretch) const;
  int64_t ColumnsOf(const TFiffTag& Tag) const;

  TFiff& FReader;
  const TConvertOptions& FOptions;
  const int64_t FSizeLimit;
  const TProgress& FProgress;
  std::unique_ptr<TScilab> FWriter;
  std::string FOutputName;
  int32_t FRawRows = 1;  // channel count of raw_data, the count in force at the first buffer
  bool FHasBuffers = false;
  std::vector<TStretch> FStretches;  // one per output file
  bool FRawDoubles = false;          // raw_data of doubles: some buffers hold 32-bit or 64-bit values
  float FFrequency = 1.0f;           // the file's last sampling frequency, for the seconds written
  int64_t FBytesTotal = 0;           // data buffer bytes of the input, and how many are converted
  int64_t FBytesDone = 0;
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
