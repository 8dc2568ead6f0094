// The conversion of a FIFF recording into Scilab data files: the way in, the plan, and what it reports while it writes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fiff_f.h"

// Told after each raw data buffer written, and once when a file's raw data are complete.
struct TConvertProgress {
  std::string OutputFile;       // the file being written
  double SecondsWritten = 0.0;  // seconds of samples written to that file so far
  bool RawDataDone = false;     // the file's last sample is written
  int64_t BytesDone = 0;        // bytes of the input's data buffers converted so far,
  int64_t BytesTotal = 0;       // of all it has
};
using TProgress = std::function<void(const TConvertProgress&)>;

// What a conversion may invent where the file holds no values (NaN completing an average or a
// calibration vector cut short, NaN padding an epoch shorter than its average's first), in bytes
// per output file. The values it converts take at most eight times the bytes they come from, so
// no output file exceeds OutputBytesAllowed: a small file cannot fill a disk.
inline constexpr int64_t InventedBytesAllowed(int64_t InputSize) { return 8 * InputSize + (1 << 20); }
inline constexpr int64_t OutputBytesAllowed(int64_t InputSize) {
  return 8 * InputSize + InventedBytesAllowed(InputSize);
}

// The formats of the data files, any of them together: Scilab 5's .dat (the window's), Scilab 6's
// .sod, and MATLAB 7.3's .mat.
struct TFormat {
  static constexpr unsigned Dat = 1, Sod = 2, Mat = 4;
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
};

// The report's lines for a file that fails the signature and for a finished conversion, as the
// window and the command line print them.
inline constexpr const char* kNotFiffLine = "This is not FIFF file";
inline constexpr const char* kConvertedLine = "<<<<<< converted fiff >>>>>>";

// Which inputs a reading accepts; the window's rules (FIFF 1.1, no .gz) unless told otherwise.
struct TReadRules {
  bool AnyMinorVersion = false;  // FIFF 1.0 to 1.65535, not 1.1 only
  bool Gzip = false;             // a .gz file that starts as gzip data is read as the FIFF file inside
};

// Why a reading gave no file: none of that name, not FIFF (the version words tell what the first
// tag held), or gzip data that the rules do not read.
enum class TRefusal { None, Missing, NotFiff, GzipNotRead };

// One reading of an input: the file opened once and loaded, or why not.
struct TInput {
  std::unique_ptr<TFiff> Reader;  // loaded, when Refusal is None
  TRefusal Refusal = TRefusal::None;
  TFiffVersion Version;    // what the first tag held
  std::string OutputName;  // what the outputs are named after: the path, .gz dropped when decompressed
};
// Opens and loads Path by Rules; throws, naming the file, when it cannot be read or decompressed.
TInput OpenInput(const std::string& Path, const TReadRules& Rules, const TNumberSeparators& Separators = {});

// What a conversion converts: the parts of one recording in order, loaded (one file, or the files
// of a recording split over several), and the path its outputs are named after. The first part
// gives the information variables, CalXRnge and the outputs' names; the data buffers of all parts
// follow one another as if they were one file.
struct TRecording {
  std::vector<TFiff*> Parts;
  std::string OutputName;
};

// A recording opened: the input as named and the parts that follow it, each opened once.
struct TRecordingInput {
  TInput First;
  std::vector<TInput> Later;
  TRecording Recording() const;
};
// Opens Path as OpenInput does and, with Join, the parts its next-file references lead to (a
// split recording). A part that is missing or not FIFF, a reference that leads back to an earlier
// part, or more than kMostParts parts is a TInputError naming the file.
inline constexpr int kMostParts = 1000;
TRecordingInput OpenRecording(const std::string& Path, const TReadRules& Rules, bool Join,
                              const TNumberSeparators& Separators = {});
// The part that follows Path, named by its next-file reference: nothing when Path has none or
// cannot be read as FIFF. For telling which files of a list belong to one recording.
std::optional<std::string> NextPart(const std::string& Path, const TReadRules& Rules);
// The seconds of samples each part holds (with its skips filled when KeepSkips is set).
std::vector<double> PartSeconds(const TRecording& Recording, bool KeepSkips);

// The conversion planned once: the files it writes, in order (the data files, then the channel
// table), and what the check of the input found, for ConvertRecording to follow.
struct TPlanDetail;
struct TConversionPlan {
  std::vector<std::string> Files;
  std::shared_ptr<const TPlanDetail> Detail;
};
// Checks the input and plans the outputs; throws TInputError when the file cannot be converted.
TConversionPlan PlanConversion(const TRecording& Recording, const TConvertOptions& Options);
// Writes what Plan names: one file beside the input, or a series when the input is larger than the
// size limit, and the channel table last when asked. Returns the files written, in order; throws
// on any failure, and then no unfinished output file is left behind.
std::vector<std::string> ConvertRecording(const TRecording& Recording, const TConversionPlan& Plan,
                                          const TProgress& Progress = {});

// The window's conversion of a loaded file (named after its own path): planned, then written.
std::vector<std::string> ConvertFiff(TFiff& Reader, const TConvertOptions& Options, const TProgress& Progress = {});
std::vector<std::string> ConvertFiff(TFiff& Reader, int64_t SizeLimit, const TProgress& Progress = {});

// The output's base: the path without the file name's extension.
std::string OutputBaseName(const std::string& InputPath);
