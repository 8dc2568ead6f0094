// What FIFF keeps in blocks: channels' full names, MNE's bad channels, references to other files, annotations.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fiff_f.h"

namespace fiff {

// FIFF's strings are ISO 8859-1: the names and descriptions below are decoded as MNE-Python decodes
// them, into UTF-8.

// The full name (tag 258) of each extended channel record (block 113), in file order; empty for a
// record that has none. MNE writes one such block per channel, in the channel list's order.
std::vector<std::string> ReadLongChannelNames(TFiff& Reader);

// The names in MNE-Python's list of bad channels (tag 3507 in block 359, separated by ':').
std::vector<std::string> ReadMneBadChannels(TFiff& Reader);

// A reference block (118): another file of the same measurement, as a split recording names the
// part before and the part after it.
struct TFileReference {
  int32_t Role = 0;                   // 1 the previous file, 2 the next file; 0 when not stated
  std::string FileName;               // as stored: a bare name, or a path of the machine that wrote it
  std::optional<int32_t> FileNumber;  // the file's number in the recording, when stated
};
std::vector<TFileReference> ReadFileReferences(TFiff& Reader);

// Where the raw data begin, as MNE-Python reads them: the first entry of the raw-data block (102,
// else 112, else 119) may state the number of the first sample (208), and the entry after it (or
// the first) a skip before the first buffer, which only moves the first sample.
struct TRawDataStart {
  int64_t FirstSample = 0;
  int32_t InitialSkip = -1;  // the entry of that skip, or -1
  int32_t Block = -1;        // the raw data block's kind: the skips MNE-Python reads are its own entries
};
TRawDataStart ReadRawDataStart(TFiff& Reader);

// The measurement's date (seconds since 1970 in UTC, with its microseconds) and power-line
// frequency, from the measurement information (block 101). Without a date there, the date is the
// time of the measurement's identification, as MNE-Python takes it; MNE-Python's "no date" (0 s
// and 2^31 - 1 µs) is none.
struct TMeasurementFacts {
  std::optional<double> Date;
  std::optional<float> LineFrequency;
};
TMeasurementFacts ReadMeasurementFacts(TFiff& Reader);

// MNE-Python's annotations (block 3810): onsets and ends in seconds, a description each. Origin is
// the measurement start the onsets count from (tag 204 inside the block), in seconds since 1970;
// without it they count from the first sample.
struct TAnnotations {
  std::vector<double> Onsets;
  std::vector<double> Ends;
  std::vector<std::string> Descriptions;
  std::optional<double> Origin;
  bool Single = false;  // onsets and ends stored as 32-bit floats, as MNE-Python writes them
  int32_t Block = -1;   // the entry of the block's start; -1 when the file has none
};
// The first annotations block of the file (as MNE-Python reads it), with its lists as stored:
// the counts may disagree in a damaged file.
TAnnotations ReadAnnotations(TFiff& Reader);

// The bytes of a tag's text as stored, up to its first zero byte unless told otherwise.
std::string ReadStoredText(TFiff& Reader, int32_t Index, bool ToFirstZero = true);

}  // namespace fiff
