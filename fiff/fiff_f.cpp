// The file image and the tag directory: loading, the signature test, positioning and primitives.
#include "fiff_f.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <stdexcept>
#include <system_error>

#include "block_cache.h"
#include "file_io.h"

namespace {

int32_t BigEndian32(const uint8_t* P) {
  return static_cast<int32_t>((uint32_t{P[0]} << 24) | (uint32_t{P[1]} << 16) | (uint32_t{P[2]} << 8) | P[3]);
}

}  // namespace

// A file read through a buffered window, so that many small reads cost few system calls.
class TFileWindow {
 public:
  TFileWindow(int Fd, std::string FileName, int64_t Size)
      : FFd(Fd), FName(std::move(FileName)), FSize(Size), FWindow(std::max<int64_t>(1, std::min(kWindowSize, Size))) {}
  ~TFileWindow() { ::close(FFd); }
  TFileWindow(const TFileWindow&) = delete;
  TFileWindow& operator=(const TFileWindow&) = delete;

  int Fd() const { return FFd; }
  int64_t Size() const { return FSize; }
  bool Shrank() const { return FShrank; }

  // Copies Count bytes at Pos, all inside [0, Size).
  void Read(int64_t Pos, uint8_t* Dest, int64_t Count) {
    if (Count >= kDirectRead) {  // data buffers go straight to their destination, not through the window
      ReadOrZeros(Pos, Dest, Count);
      return;
    }
    while (Count > 0) {
      if (!FWindow.Holds(Pos, 1))
        FWindow.Refill(Pos, std::min(FWindow.Capacity(), FSize - Pos),
                       [this](int64_t At, uint8_t* To, int64_t N) { ReadOrZeros(At, To, N); });
      const int64_t n = std::min(Count, FWindow.End() - Pos);
      std::memcpy(Dest, FWindow.At(Pos), static_cast<size_t>(n));
      Pos += n;
      Dest += n;
      Count -= n;
    }
  }

 private:
  static constexpr int64_t kWindowSize = 4 << 20;
  static constexpr int64_t kDirectRead = 64 << 10;

  // The file shrank while it was open when it ends early: what is gone reads as zeros.
  void ReadOrZeros(int64_t Pos, uint8_t* Dest, int64_t Count) {
    const int64_t got = ReadAt(FFd, Pos, Dest, Count, FName);
    if (got < Count) {
      std::memset(Dest + got, 0, static_cast<size_t>(Count - got));
      FShrank = true;
    }
  }

  int FFd;
  std::string FName;
  int64_t FSize;
  bool FShrank = false;
  TBlockCache FWindow;
};

TFiff::TFiff() = default;

TFiff::~TFiff() = default;

int64_t TFiff::StreamSize() const { return FUseFileStream ? FFileStream->Size() : FMemSize; }

void TFiff::ReadSlow(uint8_t* Dest, int64_t Count) {
  const int64_t size = StreamSize();
  int64_t pos = FPos;
  FPos += Count;
  // Bytes before 0 or past the end read as zeros; only the part inside the file is copied.
  const int64_t lo = std::clamp<int64_t>(pos, 0, size);
  const int64_t hi = std::clamp<int64_t>(pos + Count, 0, size);
  if (hi <= lo) {
    std::memset(Dest, 0, static_cast<size_t>(Count));
    return;
  }
  std::memset(Dest, 0, static_cast<size_t>(lo - pos));
  if (FUseFileStream)
    FFileStream->Read(lo, Dest + (lo - pos), hi - lo);
  else
    std::memcpy(Dest + (lo - pos), FImage + lo, static_cast<size_t>(hi - lo));
  std::memset(Dest + (hi - pos), 0, static_cast<size_t>(pos + Count - hi));
}

void TFiff::ReadBlock(uint8_t* Dest, int64_t Count) {
  if (Count <= 0) return;
  if (!FUseFileStream && FPos >= 0 && FPos + Count <= FMemSize) {
    std::memcpy(Dest, FImage + FPos, static_cast<size_t>(Count));
    FPos += Count;
    return;
  }
  ReadSlow(Dest, Count);
}

void TFiff::ReadFileAt(int64_t Pos, uint8_t* Dest, int64_t Count) {
  if (Pos < 0 || Count < 0) throw std::invalid_argument("TFiff::ReadFileAt: a negative position or count");
  if (!FFileStream) {  // decompressed bytes: the image is all there is
    if (Pos + Count > FMemSize) ThrowChanged();
    std::memcpy(Dest, FImage + Pos, static_cast<size_t>(Count));
    return;
  }
  // A file shorter than when it was loaded changed.
  if (ReadAt(FFileStream->Fd(), Pos, Dest, Count, FFileName) < Count) ThrowChanged();
}

uint8_t TFiff::ReadByte() {
  if (!FUseFileStream && FPos >= 0 && FPos < FMemSize) return FImage[FPos++];
  uint8_t b;
  ReadSlow(&b, 1);
  return b;
}

int16_t TFiff::ReadShort() {
  uint8_t b[2];
  ReadBlock(b, 2);
  return static_cast<int16_t>(static_cast<uint16_t>((b[0] << 8) | b[1]));
}

uint32_t TFiff::ReadLongWord() {
  uint8_t b[4];
  ReadBlock(b, 4);
  return static_cast<uint32_t>(BigEndian32(b));
}

int32_t TFiff::ReadLong() { return static_cast<int32_t>(ReadLongWord()); }

float TFiff::ReadSingle() {
  const uint32_t bits = ReadLongWord();
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

void TFiff::SeekTagData(int32_t Index) { FPos = int64_t{FTags[Index].Pos} + fiff::kTagHeaderSize; }

void TFiff::SeekTagOffset(int32_t Index, int32_t Offset) { FPos = int64_t{FTags[Index].Pos} + Offset; }

// Positions are signed 32-bit: a larger file cannot be read, however it is held.
void TFiff::CheckAddressable(const std::string& FileName, int64_t Size) {
  if (Size > kLargestFiffFile)
    throw TInputError("Cannot load \"" + FileName + "\": the file has " + std::to_string(Size) +
                      " bytes, and FIFF files must be smaller than 2 GiB (2,147,483,648 bytes)");
}

// Kind 100, type 31, size 20, next 0, then the major and minor version words.
TFiffVersion ReadFiffVersion(const uint8_t* Head, int64_t Length) {
  TFiffVersion v;
  if (Length < fiff::kTagHeaderSize + 4 || BigEndian32(Head) != fiff::kFileId ||
      BigEndian32(Head + 4) != fiff::kTypeId || BigEndian32(Head + 8) != fiff::kFileIdSize ||
      BigEndian32(Head + 12) != 0)
    return v;
  v.Found = true;
  v.Major = (Head[16] << 8) | Head[17];
  v.Minor = (Head[18] << 8) | Head[19];
  return v;
}

bool AcceptsVersion(const TFiffVersion& Version, bool AnyMinorVersion) {
  return Version.Found && Version.Major == fiff::kVersionMajor &&
         (AnyMinorVersion || Version.Minor == fiff::kVersionMinor);
}

bool TFiff::LoadFiffImage(const std::string& FileName, std::shared_ptr<const uint8_t> Image, int64_t Size,
                          bool AnyMinorVersion, TFileIdentity Identity) {
  FImageOwner = std::move(Image);
  FImage = FImageOwner.get();
  FMemSize = Size;
  FUseFileStream = false;
  FVersion = ReadFiffVersion(FImage, Size);
  if (!AcceptsVersion(FVersion, AnyMinorVersion)) return false;
  CheckAddressable(FileName, Size);
  FFileName = FileName;
  FIdentity = Identity;
  BuildDirectory();
  return true;
}

bool TFiff::LoadFiff(const std::string& FileName, bool AnyMinorVersion) {
  std::optional<TInputFile> file = OpenInputFile(FileName);
  return file && LoadFiff(std::move(*file), FileName, AnyMinorVersion);
}

bool TFiff::LoadFiff(TInputFile File, const std::string& FileName, bool AnyMinorVersion) {
  const int64_t size = File.Size;
  FVersion = ReadFiffVersion(File.Head, File.HeadLength);
  FFileStream = std::make_unique<TFileWindow>(File.Release(), FileName, size);
  FUseFileStream = true;
  if (!AcceptsVersion(FVersion, AnyMinorVersion)) return false;
  CheckAddressable(FileName, size);
  FFileName = FileName;
  FIdentity = {File.Device, File.Inode, true};
  FLoadedSize = size;
  FLoadedTime = File.ModifiedNs;
  // Held in memory by mapping it: no copy, and the pages are the page cache's. Where the file
  // cannot be mapped it is read through the file stream like a larger one.
  if (size <= kMemoryImageLimit && FMemStream.Map(FFileStream->Fd(), size)) {
    FImage = FMemStream.Data();
    FMemSize = size;
    FUseFileStream = false;
  }
  FPos = 0;
  BuildDirectory();
  CheckUnchanged();
  return true;
}

void TFiff::CheckUnchanged() const {
  if (!FFileStream) return;
  struct stat st {};
  const bool same = ::fstat(FFileStream->Fd(), &st) == 0 && st.st_size == FLoadedSize &&
                    int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec == FLoadedTime;
  if (!same || FMemStream.Faulted() || FFileStream->Shrank()) ThrowChanged();
}

void TFiff::ThrowChanged() const {
  throw TInputError("Cannot read \"" + FFileName + "\": the file changed while it was being read");
}

// The headers of a file for the directory: read from the file in blocks, so that the walk costs
// neither a page fault per header nor the data's pages in memory. A block that held one header
// (the tags are large) makes the next one smaller, one that held many makes it larger, so a
// recording of large buffers reads a few KiB per buffer and one of tiny buffers reads 1 MiB at once.
class THeaderSource {
 public:
  THeaderSource(TFiff& Reader, const uint8_t* Image) : FReader(Reader), FImage(Image) {}
  // The 16 bytes at Pos, which lie inside the file.
  const uint8_t* At(int64_t Pos) {
    if (FImage) return FImage + Pos;
    if (!FBlock.Holds(Pos, fiff::kTagHeaderSize)) {
      if (FBlock.End() > 0) FSize = FHeaders > 1 ? std::min(FSize * 2, kLargest) : std::max(FSize / 8, kSmallest);
      FBlock.Refill(Pos, std::min(FSize, FReader.StreamSize() - Pos),
                    [this](int64_t At, uint8_t* To, int64_t N) { FReader.ReadFileAt(At, To, N); });
      FHeaders = 0;
    }
    ++FHeaders;
    return FBlock.At(Pos);
  }

 private:
  static constexpr int64_t kSmallest = 512, kLargest = 1 << 20;
  TFiff& FReader;
  const uint8_t* FImage;  // decompressed bytes, read in place
  TBlockCache FBlock{kLargest};
  int64_t FSize = 64 << 10;
  int FHeaders = 0;  // served from the block now held
};

void TFiff::BuildDirectory() {
  constexpr int64_t kReservedTags = 1 << 20;
  FTags.clear();
  FCut.reset();
  // Room for as many entries as the file could hold, up to a million: address space only, as
  // pages are touched when entries fill them, so a directory of many small buffers is never
  // copied while it grows.
  FTags.reserve(static_cast<size_t>(std::min<int64_t>(StreamSize() / fiff::kTagHeaderSize + 1, kReservedTags)));
  THeaderSource headers(*this, FFileStream ? nullptr : FImage);
  const int64_t size = StreamSize();
  int64_t pos = 0;
  while (pos < size) {
    const bool first = FTags.empty();  // the signature tag is always entry 0
    int64_t at = pos;
    if (!first && size - at < fiff::kTagHeaderSize) break;
    const uint8_t* h = headers.At(at);
    if (BigEndian32(h) > fiff::kLargestKind) {  // a stray byte in front of the header: take it from one byte on
      at += 1;
      if (size - at < fiff::kTagHeaderSize) break;
      h = headers.At(at);
    }
    TFiffTag e;
    e.Pos = static_cast<int32_t>(at);
    e.Kind = BigEndian32(h);
    e.DataType = BigEndian32(h + 4);
    e.Size = BigEndian32(h + 8);
    e.Next = BigEndian32(h + 12);
    // A negative size or data that run past the end end the walk: nothing is invented. A tag whose
    // data the file ends inside is noted: a copy cut short.
    if (!first && (e.Size < 0 || at + fiff::kTagHeaderSize + e.Size > size)) {
      if (e.Size >= 0) FCut = e;
      break;
    }
    FTags.push_back(e);
    pos = at + fiff::kTagHeaderSize + e.Size;
  }
  FTagCount = static_cast<int32_t>(FTags.size());
  FPos = 0;
}
