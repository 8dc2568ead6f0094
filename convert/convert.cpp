// The conversion driver: the plan (checks, the split into a series, output names), and each file's variables in order.
#include <sys/stat.h>

#include <bit>
#include <cstdio>
#include <stdexcept>
#include <system_error>

#include "conversion.h"
#include "output_file.h"

static_assert(std::endian::native == std::endian::little, "Scilab data files are written little-endian");

namespace {

const char* DataTypeName(int32_t Type) {
  switch (Type) {
    case fiff::kTypeVoid: return "void";
    case fiff::kTypeByte: return "8-bit integers";
    case fiff::kTypeInt: return "32-bit integers";
    case fiff::kTypeFloat: return "32-bit floats";
    case fiff::kTypeDouble: return "64-bit floats";
    case fiff::kTypeComplexFloat: return "complex floats";
    case fiff::kTypeComplexDouble: return "complex doubles";
    default: return "not 16-bit integers";
  }
}

}  // namespace

std::string OutputBaseName(const std::string& InputPath) {
  const size_t slash = InputPath.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = InputPath.find_last_of('.');
  if (dot == std::string::npos || dot < nameStart) return InputPath;
  return InputPath.substr(0, dot);
}

namespace {

// The outputs' path without ending: the recording's, in the output folder when one is given.
std::string OutputBase(const TRecording& Recording, const TConvertOptions& Options) {
  std::string base = OutputBaseName(Recording.OutputName);
  if (!Options.OutputDir.empty()) {
    const size_t slash = base.find_last_of('/');
    base = Options.OutputDir + (Options.OutputDir.back() == '/' ? "" : "/") +
           (slash == std::string::npos ? base : base.substr(slash + 1));
  }
  return base;
}

// An n/a row of the channel table is shorter than this.
constexpr int64_t kBlankRowBytes = 64;

// One pass checks the input and splits its raw data into the series: each file takes the
// buffers after the previous one's last, up to and including the buffer at which their sizes
// first add up to more than the limit.
TPlanDetail MakePlan(const TRecording& Recording, const TConvertOptions& Options) {
  TFiff& reader = *Recording.Reader;
  TPlanDetail p;
  p.Options = Options;
  const bool series = reader.StreamSize() > Options.SizeLimit;
  p.Stretches = {TStretch{series ? 1 : 0, 0}};
  int64_t total = 0;  // bytes of the stretch's buffers
  // raw_data holds 16-bit integers, or doubles when asked: any other buffer type would be
  // stored as garbage.
  TTagWalk walk(reader, 1, 1.0f);
  for (const TWalkEntry& e : walk) {
    const TFiffTag& t = *e.Tag;
    if (t.Kind != fiff::kDataBuffer) continue;
    const bool wide = t.DataType == fiff::kTypeInt || t.DataType == fiff::kTypeFloat || t.DataType == fiff::kTypeDouble;
    if (wide && Options.RawAsDouble) {
      p.RawDoubles = true;
    } else if (t.DataType != fiff::kTypeShort && t.DataType != fiff::kTypeDauPack16) {
      throw TInputError(
          "Cannot convert \"" + reader.FFileName + "\": its raw data buffers hold FIFF data type " +
          std::to_string(t.DataType) + " (" + DataTypeName(t.DataType) +
          "), and raw_data stores only 16-bit integers (types 2 and 16)" +
          (wide ? "; tessaline-convert converts them as doubles (with --like-window, add --raw-as-double)" : ""));
    }
    if (!p.HasBuffers) p.RawRows = e.Channels;
    p.HasBuffers = true;
    p.BytesTotal += t.Size;
    if (p.RawRows > 0) p.Stretches.back().Columns += t.Size / p.RawRows / fiff::RawValueSize(t.DataType);
    total += t.Size;
    if (series && total > Options.SizeLimit) {
      p.Stretches.back().End = t.Pos;
      p.Stretches.push_back({t.Pos, 0});
      total = 0;
    }
  }
  p.Frequency = walk.Frequency();
  if (p.HasBuffers && p.RawRows <= 0)
    throw TInputError("Cannot convert \"" + reader.FFileName + "\": it declares " + std::to_string(p.RawRows) +
                      " channels for its raw data buffers");
  for (const TStretch& s : p.Stretches)
    if (!CheckedInt32(s.Columns))
      throw TInputError("Cannot convert \"" + reader.FFileName + "\": its raw data hold " + std::to_string(s.Columns) +
                        " samples, more than a Scilab matrix can");

  const std::string base = OutputBase(Recording, Options);
  if (!series) {
    p.DataFiles = {base + ".dat"};
  } else {
    for (size_t k = 1; k <= p.Stretches.size(); ++k) {
      char number[24];
      std::snprintf(number, sizeof number, "_%02zu.dat", k);
      p.DataFiles.push_back(base + number);
    }
  }
  // The table's rows without a channel record are invented: a count far beyond the records (a
  // damaged file) would fill the disk with rows of n/a, so the table is then left out.
  if (Options.ChannelTable && p.HasBuffers) {
    const std::vector<TCalibrationVector> vectors = CalibrationVectors(reader, 0);
    const int64_t records = vectors.empty() ? 0 : static_cast<int64_t>(vectors[0].Records.size());
    if ((p.RawRows - records) * kBlankRowBytes <= InventedBytesAllowed(reader.StreamSize()))
      p.ChannelTable = base + "_channels.tsv";
  }
  return p;
}

}  // namespace

TConversionPlan PlanConversion(const TRecording& Recording, const TConvertOptions& Options) {
  auto detail = std::make_shared<TPlanDetail>(MakePlan(Recording, Options));
  TConversionPlan plan;
  plan.Files = detail->DataFiles;
  if (!detail->ChannelTable.empty()) plan.Files.push_back(detail->ChannelTable);
  plan.Detail = std::move(detail);
  return plan;
}

std::vector<std::string> ConvertRecording(const TRecording& Recording, const TConversionPlan& Plan,
                                          const TProgress& Progress) {
  return TConversion(Recording, *Plan.Detail, Progress).Run();
}

std::vector<std::string> ConvertFiff(TFiff& Reader, const TConvertOptions& Options, const TProgress& Progress) {
  const TRecording recording{&Reader, Reader.FFileName};
  return ConvertRecording(recording, PlanConversion(recording, Options), Progress);
}

std::vector<std::string> ConvertFiff(TFiff& Reader, int64_t SizeLimit, const TProgress& Progress) {
  TConvertOptions options;
  options.SizeLimit = SizeLimit;
  return ConvertFiff(Reader, options, Progress);
}

TConversion::TConversion(const TRecording& Recording, const TPlanDetail& Plan, const TProgress& Progress)
    : FReader(*Recording.Reader), FRecording(Recording), FPlan(Plan), FProgress(Progress) {}

void TConversion::CheckOutputs() const {
  std::vector<std::string> all = FPlan.DataFiles;
  if (!FPlan.ChannelTable.empty()) all.push_back(FPlan.ChannelTable);
  const TFileIdentity& input = FReader.FIdentity;
  for (const std::string& name : all) {
    struct stat st {};
    const bool exists = ::stat(name.c_str(), &st) == 0;
    // The input itself, by its name or through a link.
    if (name == FReader.FFileName || (exists && input.Known && st.st_dev == input.Device && st.st_ino == input.Inode))
      throw TInputError("Cannot convert \"" + FReader.FFileName + "\": the output file \"" + name +
                        "\" would overwrite the input");
    if (exists && S_ISDIR(st.st_mode))
      throw std::system_error(EISDIR, std::generic_category(), "Cannot create \"" + name + "\"");
  }
}

std::vector<std::string> TConversion::Run() {
  CheckOutputs();  // the table too, before anything is written
  std::vector<std::string> written;
  for (size_t k = 0; k < FPlan.DataFiles.size(); ++k) {
    WriteFile(FPlan.DataFiles[k], FPlan.Stretches[k]);
    written.push_back(FPlan.DataFiles[k]);
  }
  // Last, so that a conversion that fails leaves no table naming rows it did not write.
  if (!FPlan.ChannelTable.empty()) {
    WriteFileAtomically(FPlan.ChannelTable, ChannelTableText());
    written.push_back(FPlan.ChannelTable);
  }
  return written;
}

bool TConversion::Invent(int64_t Bytes) {
  if (Bytes > FInventedLeft) return false;
  FInventedLeft -= Bytes;
  return true;
}

void TConversion::WriteFile(const std::string& Name, const TStretch& Stretch) {
  FOutputName = Name;
  FInventedLeft = InventedBytesAllowed(FReader.StreamSize());  // each file of a series repeats the information
  FWriter = std::make_unique<TScilab>();
  FWriter->OpenOutputAtomic(Name);
  // A file that changes while it is read gives zeros or a mix of two files: each step ends by
  // checking it, so such an output is never completed.
  for (void (TConversion::*step)() :
       {&TConversion::WriteChInform, &TConversion::WriteProjections, &TConversion::WriteDigitPts,
        &TConversion::WriteAverages, &TConversion::WriteMriVolume}) {
    (this->*step)();
    FReader.CheckUnchanged();
  }
  if (FPlan.HasBuffers) {
    WriteCalibration(Stretch);
    FReader.CheckUnchanged();
    WriteRawData(Stretch);
  }
  FWriter->CloseOutput();
  FWriter.reset();
}
