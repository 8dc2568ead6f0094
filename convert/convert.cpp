// The conversion driver: checks, the split into a series, output names, and each file's variables in order.
#include <sys/stat.h>

#include <bit>
#include <cstdio>
#include <stdexcept>
#include <system_error>

#include "conversion.h"

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

bool SameFile(const std::string& A, const std::string& B) {
  if (A == B) return true;
  struct stat sa {
  }, sb{};
  return ::stat(A.c_str(), &sa) == 0 && ::stat(B.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

std::string OutputBaseName(const std::string& InputPath) {
  const size_t slash = InputPath.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = InputPath.find_last_of('.');
  if (dot == std::string::npos || dot < nameStart) return InputPath;
  return InputPath.substr(0, dot);
}

std::vector<std::string> ConvertFiff(TFiff& Reader, const TConvertOptions& Options, const TProgress& Progress) {
  return TConversion(Reader, Options, Progress).Run();
}

std::vector<std::string> ConvertFiff(TFiff& Reader, int64_t SizeLimit, const TProgress& Progress) {
  TConvertOptions options;
  options.SizeLimit = SizeLimit;
  return ConvertFiff(Reader, options, Progress);
}

std::vector<std::string> OutputFiles(TFiff& Reader, const TConvertOptions& Options) {
  return TConversion(Reader, Options, {}).Plan();
}

TConversion::TConversion(TFiff& Reader, const TConvertOptions& Options, const TProgress& Progress)
    : FReader(Reader), FOptions(Options), FSizeLimit(Options.SizeLimit), FProgress(Progress) {}

// Each file of a series takes the buffers after the previous one's last, up to and including
// the buffer at which their sizes first add up to more than the limit.
void TConversion::CheckInput() {
  const bool series = FReader.StreamSize() > FSizeLimit;
  FStretches = {TStretch{series ? 1 : 0, 0}};
  int64_t total = 0;  // bytes of the stretch's buffers
  // raw_data holds 16-bit integers: any other buffer type would be stored as garbage.
  TTagWalk walk(FReader, 1, 1.0f);
  for (const TWalkEntry& e : walk) {
    const TFiffTag& t = *e.Tag;
    if (t.Kind != fiff::kDataBuffer) continue;
    const bool wide = t.DataType == fiff::kTypeInt || t.DataType == fiff::kTypeFloat || t.DataType == fiff::kTypeDouble;
    if (wide && FOptions.RawAsDouble) {
      FRawDoubles = true;
    } else if (t.DataType != fiff::kTypeShort && t.DataType != fiff::kTypeDauPack16) {
      throw TInputError(
          "Cannot convert \"" + FReader.FFileName + "\": its raw data buffers hold FIFF data type " +
          std::to_string(t.DataType) + " (" + DataTypeName(t.DataType) +
          "), and raw_data stores only 16-bit integers (types 2 and 16)" +
          (wide ? "; tessaline-convert converts them as doubles (with --like-window, add --raw-as-double)" : ""));
    }
    if (!FHasBuffers) FRawRows = e.Channels;
    FHasBuffers = true;
    FBytesTotal += t.Size;
    if (FRawRows > 0) FStretches.back().Columns += t.Size / FRawRows / fiff::RawValueSize(t.DataType);
    total += t.Size;
    if (series && total > FSizeLimit) {
      FStretches.back().End = t.Pos;
      FStretches.push_back({t.Pos, 0});
      total = 0;
    }
  }
  FFrequency = walk.Frequency();
  if (FHasBuffers && FRawRows <= 0)
    throw TInputError("Cannot convert \"" + FReader.FFileName + "\": it declares " + std::to_string(FRawRows) +
                      " channels for its raw data buffers");
}

void TConversion::CheckOutputs(const std::vector<std::string>& Names) const {
  for (const std::string& name : Names) {
    if (SameFile(name, FReader.FFileName))
      throw TInputError("Cannot convert \"" + FReader.FFileName + "\": the output file \"" + name +
                        "\" would overwrite the input");
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      throw std::system_error(EISDIR, std::generic_category(), "Cannot create \"" + name + "\"");
  }
}

std::string TConversion::OutputBase() const {
  // run_raw.fif.gz gives run_raw.dat, as its decompressed run_raw.fif would.
  std::string input = FReader.FFileName;
  if (FReader.FDecompressed && input.size() > 3 && input.compare(input.size() - 3, 3, ".gz") == 0)
    input.resize(input.size() - 3);
  std::string base = OutputBaseName(input);
  if (!FOptions.OutputDir.empty()) {
    const size_t slash = base.find_last_of('/');
    base = FOptions.OutputDir + (FOptions.OutputDir.back() == '/' ? "" : "/") +
           (slash == std::string::npos ? base : base.substr(slash + 1));
  }
  return base;
}

std::vector<std::string> TConversion::OutputNames(size_t Files) const {
  const std::string base = OutputBase();
  if (FReader.StreamSize() <= FSizeLimit) return {base + ".dat"};
  std::vector<std::string> names;
  for (size_t k = 1; k <= Files; ++k) {
    char number[24];
    std::snprintf(number, sizeof number, "_%02zu.dat", k);
    names.push_back(base + number);
  }
  return names;
}

std::vector<std::string> TConversion::Plan() {
  CheckInput();
  return OutputNames(FStretches.size());
}

std::vector<std::string> TConversion::Run() {
  CheckInput();
  const std::vector<std::string> names = OutputNames(FStretches.size());
  const std::string table = FOptions.ChannelTable && FHasBuffers ? OutputBase() + "_channels.tsv" : "";
  std::vector<std::string> all = names;
  if (!table.empty()) all.push_back(table);
  CheckOutputs(all);  // the table too, before anything is written
  std::vector<std::string> written;
  for (size_t k = 0; k < names.size(); ++k) {
    WriteFile(names[k], FStretches[k]);
    written.push_back(names[k]);
  }
  // Last, so that a conversion that fails leaves no table naming rows it did not write.
  if (!table.empty()) {
    WriteChannelTable(table);
    written.push_back(table);
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
  if (FHasBuffers) {
    WriteCalibration(Stretch);
    FReader.CheckUnchanged();
    WriteRawData(Stretch);
  }
  FWriter->CloseOutput();
  FWriter.reset();
}
