// The conversion of a FIFF recording into Scilab data files: the way in, the plan, and what it reports while it writes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "fiff_f.h"
#include "input.h"
#include "measurement.h"
#include "raw_reader.h"

// Told after each raw data buffer written, and once when a file's raw data are complete.
struct TConvertProgress {
  std::string OutputFile;       // the file being written
  double SecondsWritten = 0.0;  // seconds of samples written to that file so far
  bool RawDataDone = false;     // the file's last sample is written
  int64_t BytesDone = 0;        // bytes of the input's data buffers converted so far,
  int64_t BytesTotal = 0;       // of all it has
  std::string Note;             // when set, only this: something the user should know (the rest is as before)
};
using TProgress = std::function<void(const TConvertProgress&)>;

// What a conversion may invent where the file holds no values (zeros for data skips, NaN completing
// an average or a calibration vector cut short, NaN padding an epoch shorter than its average's
// first, rows of n/a in the channel table), in bytes for all the files of one input's conversion
// together. The values it converts take at most eight times the bytes they come from, so no
// output file exceeds OutputBytesAllowed: a small file cannot fill a disk.
inline constexpr int64_t InventedBytesAllowed(int64_t InputSize) { return 8 * InputSize + (1 << 20); }
inline constexpr int64_t OutputBytesAllowed(int64_t InputSize) {
  return 8 * InputSize + InventedBytesAllowed(InputSize);
}

// The formats of the data files, any of them together: Scilab 5's .dat (the window's), Scilab 6's
// .sod, and MATLAB 7.3's .mat.
struct TFormat {
  static constexpr unsigned Dat = 1, Sod = 2, Mat = 4;
};
// A format by its name ("dat", "sod", "mat"): nothing for another name.
std::optional<unsigned> FormatNamed(const std::string& Name);
// The ending of a format's files: ".dat", ".sod", ".mat".
const char* FormatEnding(unsigned Format);

// What to take of a recording, as MNE-Python's pick, crop and get_data take it (the command line's
// --pick, --exclude, --exclude-bads, --tmin, --tmax, --units, --precision).
struct TChoice {
  std::vector<std::string> Pick;     // channel types and names (with * and ?), the union; all when empty
  std::vector<std::string> Exclude;  // names (with * and ?) left out
  bool ExcludeBads = false;          // the channels the file marks bad left out
  std::optional<double> TMin, TMax;  // seconds from the first sample, both included
  bool Si = false;                   // values in SI units: stored x range x calibration
  bool Single = false;               // raw_data of 32-bit floats (with Si)
  bool Any() const { return !Pick.empty() || !Exclude.empty() || ExcludeBads || TMin || TMax || Si; }
};

// How trigger events are decoded from the stim channels: the options of MNE-Python's find_events.
struct TTriggerOptions {
  bool Off = false;                       // --stim-channel none
  std::vector<std::string> StimChannels;  // empty: STI101, else STI 014, else every stim channel not bad
  double MinDuration = 0;                 // seconds
  enum class TConsecutive { Increasing, Yes, No } Consecutive = TConsecutive::Increasing;
  std::optional<int64_t> Mask;
  bool MaskNotAnd = false;
  bool UintCast = false;
  bool InitialEvent = false;
};

// A choice the recording cannot meet (a pattern that matches no channel, a span outside it): the
// command line's usage error, naming the file.
class TChoiceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How to convert: the window uses the size limit only.
struct TConvertOptions {
  unsigned Formats = TFormat::Dat;
  int64_t SizeLimit = 50'000'000;  // bytes; a larger input gives a series
  std::string OutputDir;           // the outputs' folder; empty: beside the input
  bool RawAsDouble = false;        // raw buffers of 32-bit integers, floats or doubles as doubles
  bool ChannelTable = false;       // NAME_channels.tsv beside the outputs, for a file with raw data
  // A data skip as zeros in its place, as MNE-Python reads it (the window leaves the skipped
  // buffers out, so every later sample moves); with it, NAME_events.tsv (when the recording has
  // events) and NAME_recording.json beside the outputs.
  bool KeepSkips = false;
  // Every input of the run (the files named and the parts of their recordings), each checked
  // against every output before anything is written; the recording's own parts always are.
  std::vector<TRunInput> RunInputs;
  TChoice Choice;
  TTriggerOptions Triggers;  // with KeepSkips: trigger events in NAME_events.tsv
};

// The report's lines for a file that fails the signature and for a finished conversion, as the
// window and the command line print them.
inline constexpr const char* kNotFiffLine = "This is not FIFF file";
inline constexpr const char* kConvertedLine = "<<<<<< converted fiff >>>>>>";

// The recording as the options read it (skips kept, averages no larger than the budget), read
// once: the plan and every variable, table and sidecar take it from here.
std::shared_ptr<const TMeasurement> ReadMeasurement(const TRecording& Recording, const TConvertOptions& Options);

// The conversion planned once: the files it writes, in order (the data files, then the sidecars),
// and what the check of the input found, for ConvertRecording to follow.
struct TPlan;
struct TConversionPlan {
  std::vector<std::string> Files;
  std::shared_ptr<const TPlan> Detail;
};
// Checks the measurement and plans the outputs; throws TInputError when it cannot be converted, and
// TChoiceError when it does not meet the choice.
TConversionPlan PlanConversion(const TRecording& Recording, std::shared_ptr<const TMeasurement> Measurement,
                               const TConvertOptions& Options);
TConversionPlan PlanConversion(const TRecording& Recording, const TConvertOptions& Options);
// Writes what Plan names: one file beside the input, or a series when the input is larger than the
// size limit, and the sidecars last when asked. Returns the files written, in order; throws on
// any failure, and then no unfinished output file is left behind.
std::vector<std::string> ConvertRecording(const TConversionPlan& Plan, const TProgress& Progress = {});
// What the plan keeps of its recording: rows of all, the first and last second (from the first
// sample); for the line after the summary.
struct TKept {
  int64_t Rows = 0, AllRows = 0;
  double From = 0, To = 0;
};
TKept Kept(const TConversionPlan& Plan);

// The window's conversion of a loaded file (named after its own path): planned, then written.
std::vector<std::string> ConvertFiff(TFiff& Reader, const TConvertOptions& Options, const TProgress& Progress = {});
std::vector<std::string> ConvertFiff(TFiff& Reader, int64_t SizeLimit, const TProgress& Progress = {});
