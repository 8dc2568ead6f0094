// The conversion driver: the measurement read, the plan made, then each file's variables in order and the sidecars.
#include <sys/stat.h>

#include <stdexcept>
#include <system_error>

#include "formats.h"
#include "output_file.h"
#include "sidecars.h"
#include "variables.h"

namespace {

// One run of a plan: the files of the series in order, each with its own budget, then the sidecars.
class TConversion {
 public:
  TConversion(const TPlan& Plan, const TProgress& Progress) : FPlan(Plan), FProgress(Progress) {}
  std::vector<std::string> Run();

 private:
  void CheckOutputs() const;
  void WriteFile(size_t Index);

  const TPlan& FPlan;
  const TProgress& FProgress;
  int64_t FBytesDone = 0;  // data buffer bytes converted so far
};

void TConversion::CheckOutputs() const {
  const TMeasurement& m = FPlan.M();
  std::vector<std::string> all = FPlan.DataFiles;
  for (const std::string* sidecar : {&FPlan.ChannelTable, &FPlan.EventsFile, &FPlan.RecordingFile})
    if (!sidecar->empty()) all.push_back(*sidecar);
  for (const std::string& name : all) {
    struct stat st {};
    const bool exists = ::stat(name.c_str(), &st) == 0;
    // An input itself, by its name or through a link.
    for (const TFiff* part : m.Parts()) {
      const TFileIdentity& input = part->Identity();
      if (name == part->FileName() || (exists && input.Known && st.st_dev == input.Device && st.st_ino == input.Inode))
        throw TInputError("Cannot convert \"" + m.First().FileName() + "\": the output file \"" + name +
                          "\" would overwrite " + (part == &m.First() ? "the input" : "\"" + part->FileName() + "\""));
    }
    if (exists && S_ISDIR(st.st_mode))
      throw std::system_error(EISDIR, std::generic_category(), "Cannot create \"" + name + "\"");
  }
}

std::vector<std::string> TConversion::Run() {
  CheckOutputs();  // the sidecars too, before anything is written
  std::vector<std::string> written;
  const size_t formats = FPlan.DataFiles.size() / FPlan.DataBases.size();
  for (size_t k = 0; k < FPlan.DataBases.size(); ++k) {
    WriteFile(k);
    written.insert(written.end(), FPlan.DataFiles.begin() + static_cast<std::ptrdiff_t>(k * formats),
                   FPlan.DataFiles.begin() + static_cast<std::ptrdiff_t>((k + 1) * formats));
  }
  // Last, so that a conversion that fails leaves no sidecar naming data it did not write.
  const std::pair<const std::string*, std::string (*)(const TPlan&)> sidecars[] = {
      {&FPlan.ChannelTable, [](const TPlan& P) { return ChannelTableText(P.M()); }},
      {&FPlan.EventsFile, EventsText},
      {&FPlan.RecordingFile, RecordingText}};
  for (const auto& [name, text] : sidecars) {
    if (name->empty()) continue;
    WriteFileAtomically(*name, text(FPlan));
    written.push_back(*name);
  }
  return written;
}

void TConversion::WriteFile(size_t Index) {
  const TMeasurement& m = FPlan.M();
  const TStretch& stretch = FPlan.Stretches[Index];
  const std::string& base = FPlan.DataBases[Index];
  // Each file of a series repeats the information, and has its own budget; its skips' zeros come first.
  TBudget budget(InventedBytesAllowed(m.InputSize()) - stretch.ZeroBytes);
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
  WriteChInform(m, out);
  first.CheckUnchanged();
  WriteProjections(m, out);
  first.CheckUnchanged();
  WriteDigitPts(m, out);
  first.CheckUnchanged();
  WriteAverages(m, out, budget);
  first.CheckUnchanged();
  WriteMriVolume(m, out);
  first.CheckUnchanged();
  if (m.HasBuffers()) {
    // The split point ends the calibration where it lies in the first part.
    WriteCalibration(m, stretch.SplitPos != 0 ? fiff::CalibrationVectors(first, stretch.SplitPos) : m.Calibration(),
                     out, budget);
    first.CheckUnchanged();
    TConvertProgress progress;
    progress.OutputFile = outputName;
    progress.BytesTotal = m.BufferBytes();
    WriteRawData(FPlan, stretch, out, [&](const TRawBuffer& Buffer, int64_t Columns) {
      FBytesDone += Buffer.Size;
      progress.SecondsWritten += static_cast<double>(Buffer.SkipBuffers * Columns + Columns) / m.LastFrequency();
      progress.BytesDone = FBytesDone;
      if (FProgress) FProgress(progress);
    });
    progress.RawDataDone = true;
    if (FProgress) FProgress(progress);
  }
  out.Commit();
}

}  // namespace

std::shared_ptr<const TMeasurement> ReadMeasurement(const TRecording& Recording, const TConvertOptions& Options) {
  int64_t inputSize = 0;
  for (const TFiff* part : Recording.Parts) inputSize += part->StreamSize();
  // A complete average is about four times its epochs' bytes; one larger than the budget of
  // invented values cannot be real data and would only fill the disk with NaN.
  return std::make_shared<const TMeasurement>(Recording.Parts,
                                              TMeasurementRules{Options.KeepSkips, InventedBytesAllowed(inputSize)});
}

TConversionPlan PlanConversion(const TRecording& Recording, std::shared_ptr<const TMeasurement> Measurement,
                               const TConvertOptions& Options) {
  auto plan = std::make_shared<TPlan>(MakePlan(Recording.OutputName, std::move(Measurement), Options));
  TConversionPlan out;
  out.Files = plan->DataFiles;
  for (const std::string* sidecar : {&plan->ChannelTable, &plan->EventsFile, &plan->RecordingFile})
    if (!sidecar->empty()) out.Files.push_back(*sidecar);
  out.Detail = std::move(plan);
  return out;
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
