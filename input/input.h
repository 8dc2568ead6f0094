// The way in: an input opened once (plain or .gz), the parts of a split recording, and the names of the outputs.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fiff_f.h"

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
TInput OpenInput(const std::string& Path, const TReadRules& Rules);

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
TRecordingInput OpenRecording(const std::string& Path, const TReadRules& Rules, bool Join);

// An input of a run, which no output may replace: the file, and its name for a message.
struct TRunInput {
  TFileIdentity Identity;
  std::string Name;
};

// What the files named for one run are, found before any is converted.
struct TRunFiles {
  // The later parts among them of a recording whose first part is named too, in any order (a
  // shell's glob puts run_raw-1.fif before run_raw.fif): each maps to that first part and its
  // number in the recording (2 for the part after the first), so that it is converted with it, once.
  std::map<std::string, std::pair<std::string, int>> LaterParts;
  // Those that are a file named before them, by another spelling or link: that name.
  std::map<std::string, std::string> SameAs;
  // Every input of the run: the files named and, with Join, the parts their references lead to.
  std::vector<TRunInput> Inputs;
};
// Examines Files: each opened once (for its references, with Join), whatever their number; a file
// that cannot be read is left to its own conversion to report.
TRunFiles ExamineRun(const std::vector<std::string>& Files, const TReadRules& Rules, bool Join);

// The file's name without its folder.
std::string BaseName(const std::string& Path);
// The output's base: the path without the file name's extension.
std::string OutputBaseName(const std::string& InputPath);
// The outputs' path without ending for a recording named OutputName: its base, in OutputDir when
// one is given.
std::string OutputBase(const std::string& OutputName, const std::string& OutputDir);
// The bases of a series of Count files: Base_01, Base_02, ... Base_99, Base_100, ...
std::vector<std::string> SeriesBases(const std::string& Base, size_t Count);
