// The conversion's plan: the checks of the measurement, the split into a series, the files it writes.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert.h"

// The raw data of one output file: the buffers [FirstBuffer, EndBuffer) of the measurement's, whose
// zeros and samples begin at BufferColumn of the whole recording; the columns written of them (all,
// or those the chosen span takes), from FirstColumn; and the tag position of the buffer that ends
// the file (its split point; 0 for the last file), where its calibration walk stops.
struct TStretch {
  int32_t FirstBuffer = 0;
  int32_t EndBuffer = 0;
  int64_t BufferColumn = 0;
  int64_t FirstColumn = 0;
  int64_t Columns = 0;
  int64_t ZeroBytes = 0;  // of the skips' zeros written, taken from the conversion's budget of invented values
  int32_t SplitPos = 0;   // in the first part, or 0
};

// A data skip filled with zeros: where it begins in the recording, how many columns, and where it
// stands (its part, the position of the buffer after it, the buffers it says are missing).
struct TSkipFill {
  int64_t Column = 0;
  int64_t Columns = 0;
  int32_t Part = 0;
  int32_t Pos = 0;
  int32_t Buffers = 0;
};

// A row of NAME_events.tsv: the column where it begins, its duration in seconds, its type, and a
// trigger's value.
struct TEventRow {
  int64_t Column = 0;
  double Duration = 0;
  std::string Type;
  std::optional<int64_t> Value;
};

// A row of NAME_averages.tsv: an average's variable, what its aspect block says of it (none for a
// packed average outside one), and the samples its times span.
struct TAverageRow {
  std::string Variable;
  std::optional<fiff::TAspect> Aspect;
  int64_t FirstSample = 0, LastSample = 0;
};

// What the check of the measurement found, and the files it plans: made once, followed by the run.
struct TPlan {
  TConvertOptions Options;
  std::shared_ptr<const TMeasurement> Measurement;
  std::vector<TStretch> Stretches;        // one per data file
  std::vector<std::string> DataBases;     // one per data file: its path without the format's ending
  std::vector<std::string> DataFiles;     // every data file, in every format
  std::string ChannelTable;               // empty when none is written
  std::string EventsFile;                 // likewise
  std::string AveragesTable;              // likewise
  std::string EpochsTable;                // likewise
  std::string RecordingFile;              // likewise
  std::string Base;                       // the outputs' path without ending
  std::string OlderRecordingFile;         // where an older conversion of the recording keeps its facts
  int64_t InventedLeft = 0;               // of the budget, once the skips' zeros and the table's rows are taken
  bool RawDoubles = false;                // some buffers hold 32-bit or 64-bit values
  TRawValues Values = TRawValues::Int16;  // raw_data's: as stored, or in SI units
  // The rows kept (all when empty: rows without a channel record too) with their factors in SI
  // units, and the columns [From, To) of the recording that the chosen span takes.
  TRawSelection Selection;
  int64_t FirstSample = 0;   // the FIFF number of the recording's first column
  int64_t TotalColumns = 0;  // of the whole recording
  std::vector<TSkipFill> Skips;
  std::vector<TEventRow> Events;  // the annotations and skips, sorted by column
  // The stim channels decoded for trigger events: raw_data's rows (of all, kept or not), their names
  // and factors.
  std::vector<int32_t> StimRows;
  std::vector<std::string> StimNames;
  std::vector<double> StimFactors;

  const TMeasurement& M() const { return *Measurement; }
  // raw_data's rows: those kept, or all.
  int64_t Rows() const { return Selection.Rows.empty() ? M().RawRows() : static_cast<int64_t>(Selection.Rows.size()); }
  // The record of raw_data's row K, or none.
  const TRawChannel* Channel(int64_t K) const;
  // The FIFF number of the first column written, and the columns written in all.
  int64_t SpanFirstSample() const { return FirstSample + Selection.From; }
  int64_t SpanColumns() const { return Selection.To - Selection.From; }
  // Every file the conversion writes: the data files, then the sidecars.
  std::vector<std::string> Files() const;
};

// Checks the measurement and plans the outputs, named after OutputName; throws TInputError when it
// cannot be converted.
TPlan MakePlan(const std::string& OutputName, std::shared_ptr<const TMeasurement> Measurement,
               const TConvertOptions& Options);

// The choice resolved: the rows kept, with their factors in SI units (ChooseRows), and the columns
// of the span (ChooseSpan); throw TChoiceError naming the file where the recording cannot meet it.
void ChooseRows(TPlan& P);
void ChooseSpan(TPlan& P);
// The stim channels whose trigger events are decoded, as find_events takes them.
void ChooseStimChannels(TPlan& P);

// The rows of NAME_events.tsv: the first part's annotations, placed as MNE-Python places them, and
// one BAD_ACQ_SKIP row per filled skip, sorted by their beginning.
std::vector<TEventRow> RecordingEvents(const TPlan& Plan);
