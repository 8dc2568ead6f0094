// The conversion of a loaded FIFF file into Scilab data files; it needs no window.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "fiff_f.h"
#include "scilab_f.h"

// Stands for a value the file does not give (a factor, a channel's epoch).
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// What the conversion needs of the window: the caption for the progress text.
struct TConvertSeam {
  std::function<std::string()> GetCaption;
  std::function<void(const std::string&)> SetCaption;
  TNumberSeparators Separators;
};

// Converts Reader (loaded) into one file beside it, or a series when the file is larger
// than SizeLimit bytes. Returns the files written, in order; throws on any failure, and
// then no unfinished output file is left behind.
std::vector<std::string> ConvertFiff(TFiff& Reader, int64_t SizeLimit, const TConvertSeam& Seam = {});

// The output's base: the path without the file name's extension.
std::string OutputBaseName(const std::string& InputPath);

// The state of one conversion run, shared by its steps.
class TConversion {
 public:
  TConversion(TFiff& Reader, int64_t SizeLimit, const TConvertSeam& Seam);
  std::vector<std::string> Run();

 private:
  // Checks made before anything is written.
  void CheckInput();
  std::vector<std::string> OutputNames() const;
  int32_t NextStart(int32_t Start) const;

  void BeginOutputFile();
  void EndOutputFile();
  int32_t WriteRawData(int32_t Start);
  void WriteChInform();
  void WriteProjections();
  void WriteDigitPts();
  void WriteAverages();
  void WriteMriVolume();
  void SetCaption(const std::string& Text) const;

  TFiff& FReader;
  const int64_t FSizeLimit;
  const TConvertSeam& FSeam;
  std::unique_ptr<TScilab> FWriter;
  std::string FOutputName;
  int32_t FRawRows = 1;  // channel count of raw_data, the count in force at the first buffer
  bool FHasBuffers = false;
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
