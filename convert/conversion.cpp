// The conversion driver: the measurement read, the plan made, then each file's variables in order and the sidecars.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "formats.h"
#include "in_out_error.h"
#include "output_file.h"
#include "sidecars.h"
#include "text.h"
#include "triggers.h"
#include "variables.h"

namespace {

// One run of a plan: the files of the series in order, sharing one budget, then the sidecars, all
// hidden until every one is complete; then put in place together, and what an older conversion of
// the recording wrote that this one does not is removed.
class TConversion {
 public:
  TConversion(const TPlan& Plan, const TProgress& Progress);
  std::vector<std::string> Run();

 private:
  void CheckOutputs() const;
  void WriteFile(size_t Index);
  TFound Found();
  void Note(const std::string& Text) const;
  std::vector<std::string> StaleOutputs(const std::vector<std::string>& Files) const;

  const TPlan& FPlan;
  const TProgress& FProgress;
  TBudget FBudget;                     // of invented values, for the whole conversion
  TOutputBatch FBatch;                 // every file, complete and hidden until all are
  int64_t FBytesDone = 0;              // data buffer bytes converted so far
  std::vector<TAverageRow> FAverages;  // the first file's
  // The stim channels, read in the same pass as the raw data.
  std::vector<TStimChannel> FStim;
  TRawObserver FObserver;
};

// Trigger events take at most this many rows, and each channel this many steps: a file of a
// trigger on every sample gives no table larger than its conversion may invent, in bounded memory.
constexpr int64_t kMostTriggerSteps = 1 << 20;

TConversion::TConversion(const TPlan& Plan, const TProgress& Progress)
    : FPlan(Plan), FProgress(Progress), FBudget(Plan.InventedLeft) {
  const int64_t most = std::min<int64_t>(kMostTriggerSteps, InventedBytesAllowed(Plan.M().InputSize()) / 64);
  for (const double factor : FPlan.StimFactors) FStim.emplace_back(factor, FPlan.Options.Triggers.UintCast, most);
  FObserver.Rows = FPlan.StimRows;
  FObserver.Take = [this](int64_t, int64_t Columns, const double* Values) {
    for (size_t k = 0; k < FStim.size(); ++k)
      FStim[k].Take(Values ? Values + k : nullptr, Columns, static_cast<int64_t>(FStim.size()));
  };
}

void TConversion::Note(const std::string& Text) const {
  if (!FProgress) return;
  TConvertProgress note;
  note.Note = Text;
  FProgress(note);
}

// The annotations and skips of the plan, and the trigger events the pass found, by column.
TFound TConversion::Found() {
  TFound found;
  found.Events = FPlan.Events;
  std::vector<std::vector<TTrigger>> perChannel;
  int64_t shortEvents = 0;
  bool capped = false;
  for (const TStimChannel& c : FStim) {
    int64_t n = 0;
    bool cut = false;
    perChannel.push_back(c.Events(FPlan.Options.Triggers, FPlan.M().RawFrequency(), FPlan.SpanFirstSample(), n, cut));
    shortEvents += n;
    capped |= cut;
  }
  for (const TTrigger& t : CombineTriggers(std::move(perChannel)))
    found.Events.push_back({t.Sample - FPlan.SpanFirstSample(), 0.0, "n/a", t.Value});
  found.Triggers = static_cast<int64_t>(found.Events.size() - FPlan.Events.size());
  std::stable_sort(found.Events.begin(), found.Events.end(),
                   [](const TEventRow& A, const TEventRow& B) { return A.Column < B.Column; });
  if (shortEvents > 0)
    Note(std::to_string(shortEvents) +
         (shortEvents == 1 ? " trigger event follows the one before" : " trigger events follow the one before") +
         " by fewer than 2 samples (MNE-Python's find_events refuses such; all are in the events table)");
  if (capped)
    Note("its stim channels change value more often than the events table may take (" +
         std::to_string(kMostTriggerSteps) + " steps a channel): the trigger events after that are left out");
  return found;
}

// Whether Name is one of the files FIdentity names: by its name, or as the same file (a link).
bool Overwrites(const std::string& Name, const struct stat* Existing, const std::string& InputName,
                const TFileIdentity& Input) {
  return Name == InputName ||
         (Existing && Input.Known && Existing->st_dev == Input.Device && Existing->st_ino == Input.Inode);
}

void TConversion::CheckOutputs() const {
  const TMeasurement& m = FPlan.M();
  for (const std::string& name : FPlan.Files()) {
    struct stat st {};
    const bool exists = ::stat(name.c_str(), &st) == 0;
    const std::string refuse =
        "Cannot convert \"" + m.First().FileName() + "\": the output file \"" + name + "\" would overwrite ";
    for (const TFiff* part : m.Parts())
      if (Overwrites(name, exists ? &st : nullptr, part->FileName(), part->Identity()))
        throw TInputError(refuse + (part == &m.First() ? "the input" : "\"" + part->FileName() + "\""));
    // Every other input of the run, so that no later one is replaced before it is read.
    for (const TRunInput& input : FPlan.Options.RunInputs)
      if (Overwrites(name, exists ? &st : nullptr, input.Name, input.Identity))
        throw TInputError(refuse + "\"" + input.Name + "\", an input of this run");
    if (exists && S_ISDIR(st.st_mode))
      throw std::system_error(EISDIR, std::generic_category(), "Cannot create \"" + name + "\"");
  }
}

// The files an older conversion of the recording lists in its NAME_recording.json that this one
// does not write, itself included: only names of ours beside it (the recording's base, a known
// ending, no folder), and never an input of the run.
std::vector<std::string> TConversion::StaleOutputs(const std::vector<std::string>& Files) const {
  if (!FPlan.Options.KeepSkips) return {};
  const std::string& record = FPlan.OlderRecordingFile;
  std::vector<std::string> named = ListedOutputs(record);
  if (named.empty()) return {};
  named.push_back(EscapeNonUtf8(BaseName(record)));
  const std::string folder = record.substr(0, record.size() - BaseName(record).size());
  // The record writes names as UTF-8 (bytes that are not written \xHH): each of ours is the stem
  // as the record writes it and an ending of ours, and stands for the stem as it is.
  const std::string stem = BaseName(FPlan.Base), written = EscapeNonUtf8(stem);
  std::vector<std::string> stale;
  for (const std::string& name : named) {
    if (!IsOutputName(name, written)) continue;
    const std::string path = folder + stem + name.substr(written.size());
    if (std::find(Files.begin(), Files.end(), path) != Files.end() ||
        std::find(stale.begin(), stale.end(), path) != stale.end())
      continue;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    bool input = false;
    for (const TFiff* part : FPlan.M().Parts()) input |= Overwrites(path, &st, part->FileName(), part->Identity());
    for (const TRunInput& in : FPlan.Options.RunInputs) input |= Overwrites(path, &st, in.Name, in.Identity);
    if (!input) stale.push_back(path);
  }
  return stale;
}

std::vector<std::string> TConversion::Run() {
  CheckOutputs();  // the sidecars too, before anything is written
  for (size_t k = 0; k < FPlan.DataBases.size(); ++k) WriteFile(k);
  // Last, so that the sidecars describe the data written; an events table only with a row.
  TFound found = Found();
  found.Averages = std::move(FAverages);
  std::vector<std::string> files = FPlan.DataFiles;
  auto add = [&](const std::string& Name, const std::string& Text) {
    if (Name.empty()) return;
    FBatch.AddText(Name, Text);
    files.push_back(Name);
  };
  add(FPlan.ChannelTable, FPlan.ChannelTable.empty() ? "" : ChannelTableText(FPlan));
  if (!found.Events.empty()) add(FPlan.EventsFile, EventsText(FPlan, found));
  add(FPlan.AveragesTable, FPlan.AveragesTable.empty() ? "" : AveragesText(found.Averages));
  add(FPlan.EpochsTable, FPlan.EpochsTable.empty() ? "" : EpochsText(FPlan.M()));
  add(FPlan.RecordingFile, FPlan.RecordingFile.empty() ? "" : RecordingText(FPlan, found));
  const std::vector<std::string> stale = StaleOutputs(files);  // read before the record is replaced
  FBatch.Publish();
  for (const std::string& path : stale)
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) ThrowInOutError("Cannot remove", path, errno);
  return files;
}

void TConversion::WriteFile(size_t Index) {
  const TMeasurement& m = FPlan.M();
  const TStretch& stretch = FPlan.Stretches[Index];
  const std::string& base = FPlan.DataBases[Index];
  TSinkSet out;
  std::string outputName;  // the progress names the first format's file
  for (const TFormatInfo& format : Formats()) {
    if (!(FPlan.Options.Formats & format.Bit)) continue;
    out.Add(format.Open(base + format.Ending));
    if (outputName.empty()) outputName = base + format.Ending;
  }
  // A file that changes while it is read gives zeros or a mix of two files: each step ends by
  // checking it, so such an output is never completed.
  TFiff& first = m.First();
  WriteChInform(FPlan, out);
  first.CheckUnchanged();
  WriteProjections(m, out);
  first.CheckUnchanged();
  WriteDigitPts(m, out);
  first.CheckUnchanged();
  int leftOut = 0;
  std::vector<TAverageRow> averages = WriteAverages(FPlan, out, FBudget, leftOut);
  first.CheckUnchanged();
  if (Index == 0) {  // every file of a series holds the averages; the table describes the first's
    FAverages = std::move(averages);
    if (leftOut > 0 && FPlan.Options.KeepSkips)
      Note(std::to_string(leftOut) + (leftOut == 1 ? " average is" : " averages are") +
           " left out: completing each with NaN would invent more than its conversion may (" +
           std::to_string(InventedBytesAllowed(m.InputSize())) + " bytes of invented values)");
    WriteEpochs(FPlan, out);
    m.CheckUnchanged();
  }
  WriteMriVolume(m, out);
  first.CheckUnchanged();
  if (m.HasBuffers()) {
    // The split point ends the calibration where it lies in the first part.
    WriteCalibration(FPlan, stretch.SplitPos != 0 ? fiff::CalibrationVectors(first, stretch.SplitPos) : m.Calibration(),
                     out, FBudget);
    first.CheckUnchanged();
    TConvertProgress progress;
    progress.OutputFile = outputName;
    progress.BytesTotal = m.BufferBytes();
    WriteRawData(
        FPlan, stretch, out,
        [&](const TRawBuffer& Buffer, int64_t Columns) {
          FBytesDone += Buffer.Size;
          progress.SecondsWritten += static_cast<double>(Columns) / m.LastFrequency();
          progress.BytesDone = FBytesDone;
          if (FProgress) FProgress(progress);
        },
        FStim.empty() ? nullptr : &FObserver);
    progress.RawDataDone = true;
    if (FProgress) FProgress(progress);
  }
  out.Commit(FBatch);
}

}  // namespace

std::shared_ptr<const TMeasurement> ReadMeasurement(const TRecording& Recording, const TConvertOptions& Options) {
  int64_t inputSize = 0;
  for (const TFiff* part : Recording.Parts) inputSize += part->StreamSize();
  // A complete average is about four times its epochs' bytes; one larger than the budget of
  // invented values cannot be real data and would only fill the disk with NaN.
  return std::make_shared<const TMeasurement>(
      Recording.Parts, TMeasurementRules{Options.KeepSkips, Options.KeepSkips, InventedBytesAllowed(inputSize)});
}

TConversionPlan PlanConversion(const TRecording& Recording, std::shared_ptr<const TMeasurement> Measurement,
                               const TConvertOptions& Options) {
  auto plan = std::make_shared<TPlan>(MakePlan(Recording.OutputName, std::move(Measurement), Options));
  TConversionPlan out;
  out.Files = plan->Files();
  out.Detail = std::move(plan);
  return out;
}

TKept Kept(const TConversionPlan& Plan) {
  const TPlan& p = *Plan.Detail;
  const double f = p.M().RawFrequency();
  return {p.Rows(), p.M().RawRows(), static_cast<double>(p.Selection.From) / f,
          static_cast<double>(p.Selection.To - 1) / f};
}

TConversionPlan PlanConversion(const TRecording& Recording, const TConvertOptions& Options) {
  return PlanConversion(Recording, ReadMeasurement(Recording, Options), Options);
}

std::vector<std::string> ConvertRecording(const TConversionPlan& Plan, const TProgress& Progress) {
  return TConversion(*Plan.Detail, Progress).Run();
}

std::vector<std::string> ConvertFiff(TFiff& Reader, const TConvertOptions& Options, const TProgress& Progress) {
  const TRecording recording{{&Reader}, Reader.FileName()};
  return ConvertRecording(PlanConversion(recording, Options), Progress);
}

std::vector<std::string> ConvertFiff(TFiff& Reader, int64_t SizeLimit, const TProgress& Progress) {
  TConvertOptions options;
  options.SizeLimit = SizeLimit;
  return ConvertFiff(Reader, options, Progress);
}
