// The conversion driver: checks, output names, the split into a series, CalXRnge and raw_data.
#include "convert.h"

#include <sys/stat.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <system_error>

static_assert(std::endian::native == std::endian::little, "Scilab data files are written little-endian");

namespace {

const char* DataTypeName(int32_t Type) {
  switch (Type) {
    case 0: return "void";
    case 1: return "8-bit integers";
    case 3: return "32-bit integers";
    case 4: return "32-bit floats";
    case 5: return "64-bit floats";
    case 20: return "complex floats";
    case 21: return "complex doubles";
    default: return "not 16-bit integers";
  }
}

bool SameFile(const std::string& A, const std::string& B) {
  if (A == B) return true;
  struct stat sa {}, sb {};
  return ::stat(A.c_str(), &sa) == 0 && ::stat(B.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// Restores the window caption however the data walk ends.
class TCaptionGuard {
 public:
  explicit TCaptionGuard(const TConvertSeam& Seam) : FSeam(Seam) {
    if (FSeam.GetCaption) FSaved = FSeam.GetCaption();
  }
  ~TCaptionGuard() {
    if (FSeam.SetCaption && FSeam.GetCaption) FSeam.SetCaption(FSaved);
  }
  TCaptionGuard(const TCaptionGuard&) = delete;
  TCaptionGuard& operator=(const TCaptionGuard&) = delete;

 private:
  const TConvertSeam& FSeam;
  std::string FSaved;
};

// Big-endian 16-bit values to little-endian; From may be To. A plain loop the compiler
// turns into vector shuffles.
void SwapShorts(const uint8_t* From, uint8_t* To, int64_t Count) {
  for (int64_t i = 0; i < Count; ++i) {
    const uint8_t hi = From[2 * i];
    const uint8_t lo = From[2 * i + 1];
    To[2 * i] = lo;
    To[2 * i + 1] = hi;
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

std::vector<std::string> ConvertFiff(TFiff& Reader, int64_t SizeLimit, const TConvertSeam& Seam) {
  return TConversion(Reader, SizeLimit, Seam).Run();
}

TConversion::TConversion(TFiff& Reader, int64_t SizeLimit, const TConvertSeam& Seam)
    : FReader(Reader), FSizeLimit(SizeLimit), FSeam(Seam) {}

void TConversion::CheckInput() {
  // raw_data holds 16-bit integers: any other buffer type would be stored as garbage.
  int32_t channels = 1;
  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    const TFiffTag& t = FReader.FTags[i];
    if (t.Kind == 200) {
      FReader.SeekTagData(i);
      channels = FReader.ReadLong();
    } else if (t.Kind == 300) {
      if (t.DataType != 2 && t.DataType != 16)
        throw std::runtime_error("Cannot convert \"" + FReader.FFileName + "\": its raw data buffers hold FIFF data type " +
                                 std::to_string(t.DataType) + " (" + DataTypeName(t.DataType) +
                                 "), and raw_data stores only 16-bit integers (types 2 and 16)");
      if (!FHasBuffers) FRawRows = channels;
      FHasBuffers = true;
    }
  }
  if (FHasBuffers && FRawRows <= 0)
    throw std::runtime_error("Cannot convert \"" + FReader.FFileName + "\": it declares " + std::to_string(FRawRows) +
                             " channels for its raw data buffers");
}

int32_t TConversion::NextStart(int32_t Start) const {
  int64_t total = 0;
  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    const TFiffTag& t = FReader.FTags[i];
    if (t.Kind != 300 || t.Pos <= Start) continue;
    total += t.Size;
    if (total > FSizeLimit) return t.Pos;
  }
  return 0;
}

std::vector<std::string> TConversion::OutputNames() const {
  const std::string base = OutputBaseName(FReader.FFileName);
  if (FReader.StreamSize() <= FSizeLimit) return {base + ".dat"};
  std::vector<std::string> names;
  int32_t start = 1;
  do {
    char number[16];
    std::snprintf(number, sizeof number, "_%02d.dat", static_cast<int>(names.size() + 1));
    names.push_back(base + number);
    start = NextStart(start);
  } while (start > 0);
  return names;
}

std::vector<std::string> TConversion::Run() {
  CheckInput();
  const std::vector<std::string> names = OutputNames();
  for (const std::string& name : names) {
    if (SameFile(name, FReader.FFileName))
      throw std::runtime_error("Cannot convert \"" + FReader.FFileName + "\": the output file \"" + name +
                               "\" would overwrite the input");
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      throw std::system_error(EISDIR, std::generic_category(), "Cannot create \"" + name + "\"");
  }

  std::vector<std::string> written;
  int32_t start = names.size() == 1 ? 0 : 1;
  for (const std::string& name : names) {
    FOutputName = name;
    BeginOutputFile();
    start = WriteRawData(start);
    EndOutputFile();
    written.push_back(name);
  }
  return written;
}

void TConversion::BeginOutputFile() {
  FWriter = std::make_unique<TScilab>();
  FWriter->OpenOutputAtomic(FOutputName);
  WriteChInform();
  WriteProjections();
  WriteDigitPts();
  WriteAverages();
  WriteMriVolume();
}

void TConversion::EndOutputFile() {
  FWriter->CloseOutput();
  FWriter.reset();
}

void TConversion::SetCaption(const std::string& Text) const {
  if (FSeam.SetCaption) FSeam.SetCaption(Text);
}

int32_t TConversion::WriteRawData(int32_t Start) {
  if (!FHasBuffers) return 0;
  TScilab& w = *FWriter;

  // First walk: the calibration vectors, and the buffers of this file up to the split point.
  int32_t channels = 1;
  float freq = 1.0f;
  int32_t index = 0;
  bool collecting = true;  // calibration; the split search goes on regardless
  bool begun = false;
  bool vectorOpen = false;
  int64_t total = 0;
  int32_t nextStart = 0;
  TDoubleStager cal(w);
  // A vector cut short gets NaN for the factors no channel tag gave, then the frequency.
  auto closeVector = [&] {
    if (!vectorOpen) return;
    cal.PutMany(int64_t{channels} - index, kNaN);
    cal.Put(freq);
    cal.Flush();
    vectorOpen = false;
  };
  const int64_t fileSize = FReader.StreamSize();
  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    const TFiffTag& t = FReader.FTags[i];
    switch (t.Kind) {
      case 200:
        if (!collecting) break;
        closeVector();
        FReader.SeekTagData(i);
        channels = FReader.ReadLong();
        index = 0;
        break;
      case 201:
        FReader.SeekTagData(i);
        freq = FReader.ReadSingle();
        break;
      case 203: {
        if (!collecting) break;
        // A complete vector ends the collection; so does a count no file could describe.
        if (index == channels || channels <= 0 || channels > fileSize) {
          collecting = false;
          break;
        }
        if (index == 0) {
          w.WriteRealMatrixHeader("CalXQnge", 1, channels + 1);
          vectorOpen = true;
          begun = true;
        }
        FReader.SeekTagOffset(i, 16 + 8);
        const int32_t kind = FReader.ReadLong();
        const double scale = kind == 1 ? 1e13 : kind == 2 ? 1e6 : 1.0;
        double value = FReader.ReadSingle() * scale;
        value *= FReader.ReadSingle();
        const int32_t coil = FReader.ReadLong();
        if (coil >= 3021 && coil <= 3023) value *= 100;
        cal.Put(value);
        ++index;
        if (index == channels) {
          cal.Put(freq);
          cal.Flush();
          vectorOpen = false;
        }
        break;
      }
      case 241:
        // Measurement info carries HPI fits before the channels: only a begun vector ends here.
        if (collecting && begun) {
          closeVector();
          collecting = false;
        }
        break;
      case 300:
        if (t.Pos <= Start || nextStart != 0) break;
        total += t.Size;
        if (total > FSizeLimit) {
          nextStart = t.Pos;
          if (collecting) closeVector();
          collecting = false;
        }
        break;
      default:
        break;
    }
  }
  closeVector();

  // Columns are the samples actually written, counted with the rows of the header.
  const int32_t rows = FRawRows;
  const int32_t endPos = nextStart != 0 ? nextStart : FReader.FTags[FReader.FTagCount - 1].Pos;
  auto inStretch = [&](const TFiffTag& t) { return t.Kind == 300 && t.Pos > Start && t.Pos <= endPos; };
  int64_t columns = 0;
  for (int32_t i = 0; i < FReader.FTagCount; ++i)
    if (inStretch(FReader.FTags[i])) columns += FReader.FTags[i].Size / rows / 2;
  w.WriteInt16MatrixHeader("raw_data", rows, static_cast<int32_t>(columns));

  // Second walk: the data, one buffer at a time through the staging buffer.
  TCaptionGuard guard(FSeam);
  double elapsed = 0.0;
  std::string shown;
  constexpr int64_t kBlock = TScilab::kBufferSize / 2 * 2;
  uint8_t* buf = w.Buffer();
  for (int32_t i = 0; i < FReader.FTagCount; ++i) {
    const TFiffTag& t = FReader.FTags[i];
    if (!inStretch(t)) continue;
    const int64_t samples = t.Size / rows / 2;
    int64_t bytes = samples * rows * 2;
    FReader.SeekTagData(i);
    while (bytes > 0) {
      const int64_t n = bytes < kBlock ? bytes : kBlock;
      // From the memory image straight into the staging buffer; through the file otherwise.
      if (const uint8_t* image = FReader.ImageAt(FReader.Position(), n)) {
        SwapShorts(image, buf, n / 2);
        FReader.SetPosition(FReader.Position() + n);
      } else {
        FReader.ReadBlock(buf, n);
        SwapShorts(buf, buf, n / 2);
      }
      w.WriteBuffer(static_cast<int32_t>(n));
      bytes -= n;
    }
    elapsed += static_cast<double>(samples) / freq;
    // Only a caption that changes is set again, so tiny buffers cost no window traffic.
    std::string caption = "saving..." + FormatFloat(elapsed, "0.0", FSeam.Separators) + "sec";
    if (caption != shown) {
      SetCaption(caption);
      shown = std::move(caption);
    }
  }
  return nextStart;
}
