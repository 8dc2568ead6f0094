// The conversion driver: the plan (checks, the split into a series, output names), and each file's variables in order.
#include <sys/stat.h>

#include <bit>
#include <cstdio>
#include <stdexcept>
#include <system_error>

#include "bids.h"
#include "blocks.h"
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

[[noreturn]] void Refuse(const TFiff& File, const std::string& Why) {
  throw TInputError("Cannot convert \"" + File.FFileName + "\": " + Why);
}

[[noreturn]] void RefuseSkip(const TFiff& File, int32_t Buffers, int32_t Pos, int64_t InputSize) {
  Refuse(File, "its data skip of " + std::to_string(Buffers) + " buffers before the buffer at byte " +
                   std::to_string(Pos) + " stands for more zeros than an output file of it may hold (" +
                   std::to_string(InventedBytesAllowed(InputSize)) + " bytes of invented values)");
}

// One pass checks the input and splits its raw data into the series: each file takes the
// buffers after the previous one's last, up to and including the buffer at which their sizes
// (and the sizes of the buffers their skips stand for) first add up to more than the limit. The
// parts of a split recording must continue one another: the same channels and frequency, and
// each part's first sample the one after the last of the part before.
TPlanDetail MakePlan(const TRecording& Recording, const TConvertOptions& Options) {
  TFiff& first = *Recording.Parts[0];
  TPlanDetail p;
  p.Options = Options;
  for (const TFiff* part : Recording.Parts) p.InputSize += part->StreamSize();
  const bool series = p.InputSize > Options.SizeLimit;
  p.Stretches = {TStretch{}};
  int64_t total = 0;  // bytes of the stretch's buffers
  int64_t column = 0;
  int32_t part = -1;
  TRawBufferWalk walk(Recording, Options.KeepSkips);
  while (walk.Next()) {
    TFiff& file = *Recording.Parts[walk.Part()];
    const TWalkEntry& e = walk.Entry();
    const TFiffTag& t = *e.Tag;
    // raw_data holds 16-bit integers, or doubles when asked: any other buffer type would be
    // stored as garbage.
    const bool wide = t.DataType == fiff::kTypeInt || t.DataType == fiff::kTypeFloat || t.DataType == fiff::kTypeDouble;
    if (wide && Options.RawAsDouble) {
      p.RawDoubles = true;
    } else if (t.DataType != fiff::kTypeShort && t.DataType != fiff::kTypeDauPack16) {
      Refuse(file, "its raw data buffers hold FIFF data type " + std::to_string(t.DataType) + " (" +
                       DataTypeName(t.DataType) + "), and raw_data stores only 16-bit integers (types 2 and 16)" +
                       (wide ? "; tessaline-convert converts them as doubles (with --like-window, add --raw-as-double)"
                             : ""));
    }
    if (!p.HasBuffers) {
      p.RawRows = e.Channels;
      p.RawFrequency = e.Frequency;
    }
    p.HasBuffers = true;
    const int64_t columns = p.RawRows > 0 ? t.Size / p.RawRows / fiff::RawValueSize(t.DataType) : 0;
    if (walk.Part() != part) {  // the part's first buffer
      if (walk.Part() != part + 1)
        Refuse(first, "its part \"" + Recording.Parts[part + 1]->FFileName + "\" holds no raw data");
      const fiff::TRawDataStart start = Options.KeepSkips ? fiff::ReadRawDataStart(file) : fiff::TRawDataStart{};
      int64_t firstSample = start.FirstSample;
      if (start.InitialSkip >= 0) firstSample += std::max(0, file.ReadLongAt(start.InitialSkip)) * columns;
      if (walk.Part() == 0) {
        p.FirstSample = firstSample;
      } else if (e.Channels != p.RawRows) {
        Refuse(first, "its part \"" + file.FFileName + "\" has " + std::to_string(e.Channels) +
                          " channels where the part before has " + std::to_string(p.RawRows));
      } else if (e.Frequency != p.RawFrequency) {
        Refuse(first, "its part \"" + file.FFileName + "\" is sampled at " + Shortest(e.Frequency) +
                          " Hz where the part before is sampled at " + Shortest(p.RawFrequency) + " Hz");
      } else if (firstSample != p.FirstSample + column) {
        Refuse(first, "its part \"" + file.FFileName + "\" begins at sample " + std::to_string(firstSample) +
                          ", not at " + std::to_string(p.FirstSample + column) + ", the one after the part before");
      }
      part = walk.Part();
    }
    // The zeros of a skip are invented values: more than the budget of an output file is refused.
    // Counted here at two bytes a value at least, so that no count can overflow; below at the size
    // raw_data's values have.
    const std::optional<int64_t> skipped = CheckedMul(walk.SkipBuffers(), columns);
    const std::optional<int64_t> zeroBytes = skipped ? CheckedMul(*skipped, 2 * int64_t{p.RawRows}) : std::nullopt;
    if (!zeroBytes || *zeroBytes > InventedBytesAllowed(p.InputSize) - p.Stretches.back().ZeroBytes)
      RefuseSkip(file, walk.SkipBuffers(), t.Pos, p.InputSize);
    if (*skipped > 0) p.Skips.push_back({column, *skipped, walk.Part(), t.Pos, walk.SkipBuffers()});
    p.Stretches.back().ZeroBytes += *zeroBytes;
    p.BytesTotal += t.Size;
    p.Stretches.back().Columns += *skipped + columns;
    column += *skipped + columns;
    total += (int64_t{walk.SkipBuffers()} + 1) * t.Size;
    if (series && total > Options.SizeLimit) {
      p.Stretches.back().End = walk.Pos();
      p.Stretches.push_back({walk.Pos(), std::numeric_limits<int64_t>::max(), 0, column, 0});
      total = 0;
    }
  }
  // Each file's zeros again, at the size of raw_data's values: doubles take eight bytes.
  if (p.RawDoubles) {
    size_t k = 0;
    for (TStretch& stretch : p.Stretches) stretch.ZeroBytes = 0;
    for (const TSkipFill& skip : p.Skips) {
      while (k + 1 < p.Stretches.size() && skip.Column >= p.Stretches[k + 1].FirstColumn) ++k;
      p.Stretches[k].ZeroBytes += skip.Columns * p.RawRows * 8;
      if (p.Stretches[k].ZeroBytes > InventedBytesAllowed(p.InputSize))
        RefuseSkip(*Recording.Parts[skip.Part], skip.Buffers, skip.Pos, p.InputSize);
    }
  }
  if (p.HasBuffers && p.RawRows <= 0)
    Refuse(first, "it declares " + std::to_string(p.RawRows) + " channels for its raw data buffers");
  // A part without raw data continues nothing.
  if (Recording.Parts.size() > 1 && part + 1 < static_cast<int32_t>(Recording.Parts.size()))
    Refuse(first, "its part \"" + Recording.Parts[part + 1]->FFileName + "\" holds no raw data");
  p.TotalColumns = column;
  TTagWalk firstWalk(first, 1, 1.0f);  // the first part's last frequency, which the progress counts by
  for (auto it = firstWalk.begin(); it != std::default_sentinel; ++it) {
  }
  p.Frequency = firstWalk.Frequency();
  for (const TStretch& s : p.Stretches)
    if (!CheckedInt32(s.Columns))
      Refuse(first, "its raw data hold " + std::to_string(s.Columns) + " samples, more than a Scilab matrix can");

  const std::string base = OutputBase(Recording, Options);
  if (!series) {
    p.DataBases = {base};
  } else {
    for (size_t k = 1; k <= p.Stretches.size(); ++k) {
      char number[24];
      std::snprintf(number, sizeof number, "_%02zu", k);
      p.DataBases.push_back(base + number);
    }
  }
  for (const std::string& file : p.DataBases)
    for (const unsigned format : {TFormat::Dat, TFormat::Sod, TFormat::Mat})
      if (Options.Formats & format) p.DataFiles.push_back(file + FormatEnding(format));
  // The table's rows without a channel record are invented: a count far beyond the records (a
  // damaged file) would fill the disk with rows of n/a, so the table is then left out.
  if (Options.ChannelTable && p.HasBuffers) {
    const std::vector<TCalibrationVector> vectors = CalibrationVectors(first, 0);
    const int64_t records = vectors.empty() ? 0 : static_cast<int64_t>(vectors[0].Records.size());
    if ((p.RawRows - records) * kBlankRowBytes <= InventedBytesAllowed(p.InputSize))
      p.ChannelTable = base + "_channels.tsv";
  }
  if (Options.KeepSkips && p.HasBuffers) {
    p.Events = RecordingEvents(Recording, p);
    if (!p.Events.empty()) p.EventsFile = base + "_events.tsv";
    p.RecordingFile = base + "_recording.json";
  }
  return p;
}

}  // namespace

TConversionPlan PlanConversion(const TRecording& Recording, const TConvertOptions& Options) {
  auto detail = std::make_shared<TPlanDetail>(MakePlan(Recording, Options));
  TConversionPlan plan;
  plan.Files = detail->DataFiles;
  for (const std::string* sidecar : {&detail->ChannelTable, &detail->EventsFile, &detail->RecordingFile})
    if (!sidecar->empty()) plan.Files.push_back(*sidecar);
  plan.Detail = std::move(detail);
  return plan;
}

std::vector<std::string> ConvertRecording(const TRecording& Recording, const TConversionPlan& Plan,
                                          const TProgress& Progress) {
  return TConversion(Recording, *Plan.Detail, Progress).Run();
}

std::vector<std::string> ConvertFiff(TFiff& Reader, const TConvertOptions& Options, const TProgress& Progress) {
  const TRecording recording{{&Reader}, Reader.FFileName};
  return ConvertRecording(recording, PlanConversion(recording, Options), Progress);
}

std::vector<std::string> ConvertFiff(TFiff& Reader, int64_t SizeLimit, const TProgress& Progress) {
  TConvertOptions options;
  options.SizeLimit = SizeLimit;
  return ConvertFiff(Reader, options, Progress);
}

TConversion::TConversion(const TRecording& Recording, const TPlanDetail& Plan, const TProgress& Progress)
    : FReader(*Recording.Parts[0]), FRecording(Recording), FPlan(Plan), FProgress(Progress) {}

void TConversion::CheckOutputs() const {
  std::vector<std::string> all = FPlan.DataFiles;
  for (const std::string* sidecar : {&FPlan.ChannelTable, &FPlan.EventsFile, &FPlan.RecordingFile})
    if (!sidecar->empty()) all.push_back(*sidecar);
  for (const std::string& name : all) {
    struct stat st {};
    const bool exists = ::stat(name.c_str(), &st) == 0;
    // An input itself, by its name or through a link.
    for (const TFiff* part : FRecording.Parts) {
      const TFileIdentity& input = part->FIdentity;
      if (name == part->FFileName || (exists && input.Known && st.st_dev == input.Device && st.st_ino == input.Inode))
        throw TInputError("Cannot convert \"" + FReader.FFileName + "\": the output file \"" + name +
                          "\" would overwrite " + (part == &FReader ? "the input" : "\"" + part->FFileName + "\""));
    }
    if (exists && S_ISDIR(st.st_mode))
      throw std::system_error(EISDIR, std::generic_category(), "Cannot create \"" + name + "\"");
  }
}

std::vector<std::string> TConversion::Run() {
  CheckOutputs();  // the table too, before anything is written
  std::vector<std::string> written;
  const size_t formats = FPlan.DataFiles.size() / FPlan.DataBases.size();
  for (size_t k = 0; k < FPlan.DataBases.size(); ++k) {
    WriteFile(FPlan.DataBases[k], FPlan.Stretches[k]);
    written.insert(written.end(), FPlan.DataFiles.begin() + static_cast<std::ptrdiff_t>(k * formats),
                   FPlan.DataFiles.begin() + static_cast<std::ptrdiff_t>((k + 1) * formats));
  }
  // Last, so that a conversion that fails leaves no sidecar naming data it did not write.
  const std::pair<const std::string*, std::string (TConversion::*)()> sidecars[] = {
      {&FPlan.ChannelTable, &TConversion::ChannelTableText},
      {&FPlan.EventsFile, &TConversion::EventsText},
      {&FPlan.RecordingFile, &TConversion::RecordingText}};
  for (const auto& [name, text] : sidecars) {
    if (name->empty()) continue;
    WriteFileAtomically(*name, (this->*text)());
    written.push_back(*name);
  }
  return written;
}

bool TConversion::Invent(int64_t Bytes) {
  if (Bytes > FInventedLeft) return false;
  FInventedLeft -= Bytes;
  return true;
}

void TConversion::WriteFile(const std::string& Base, const TStretch& Stretch) {
  const unsigned formats = FPlan.Options.Formats;
  FOutputName = Base + FormatEnding(formats & TFormat::Dat   ? TFormat::Dat
                                    : formats & TFormat::Sod ? TFormat::Sod
                                                             : TFormat::Mat);
  // Each file of a series repeats the information, and has its own budget; its skips' zeros come first.
  FInventedLeft = InventedBytesAllowed(FPlan.InputSize) - Stretch.ZeroBytes;
  FWriter = std::make_unique<TOutputSet>(formats);
  FWriter->Open(Base);
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
  FWriter->Close();
  FWriter.reset();
}
