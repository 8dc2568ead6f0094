// The FIFF reader TFiff: the file image, the tag directory, reading at a position, and change detection.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fiff_kinds.h"
#include "input_error.h"
#include "input_file.h"
#include "mapped_file.h"
#include "pages.h"

// One entry of the tag directory, as stored in the tag header; the data start at Pos + 16.
struct TFiffTag {
  int32_t Pos = 0;
  int32_t Kind = 0;
  int32_t DataType = 0;
  int32_t Size = 0;
  int32_t Next = 0;
};

// Files up to this size are held in memory; larger ones are read through the file.
inline constexpr int64_t kMemoryImageLimit = 500'000'000;
// Positions in the format are signed 32-bit, so nothing at or past 2 GiB can be addressed.
inline constexpr int64_t kLargestFiffFile = (int64_t{1} << 31) - 1;

class TFileWindow;

// The version words of the file-identification tag, when the file has one.
struct TFiffVersion {
  bool Found = false;  // the first tag is kind 100, type 31, size 20, next 0
  int Major = 0;
  int Minor = 0;
};
// What the first bytes of a file say: the one test of the signature.
TFiffVersion ReadFiffVersion(const uint8_t* Head, int64_t Length);
// Whether a file of that version is read: 1.1, or any 1.x with AnyMinorVersion.
bool AcceptsVersion(const TFiffVersion& Version, bool AnyMinorVersion);

// Which file a reader holds, so that no output is written over it (also through a link).
struct TFileIdentity {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  bool Known = false;
};

using TTagDirectory = std::vector<TFiffTag, THugePageAllocator<TFiffTag>>;

class TFiff {
 public:
  TFiff();
  ~TFiff();
  TFiff(const TFiff&) = delete;
  TFiff& operator=(const TFiff&) = delete;

  // False when the file is missing or fails the signature; throws on I/O errors. The
  // signature asks for version 1.1, or for any 1.x with AnyMinorVersion.
  bool LoadFiff(const std::string& FileName, bool AnyMinorVersion = false);
  // The same for a file opened already (OpenInputFile), which the reader then owns.
  bool LoadFiff(TInputFile File, const std::string& FileName, bool AnyMinorVersion = false);
  // The same for a file's bytes held elsewhere (a decompressed file): Image stays alive as
  // long as the reader, FileName is only the name shown, and Identity the file they came from.
  bool LoadFiffImage(const std::string& FileName, std::shared_ptr<const uint8_t> Image, int64_t Size,
                     bool AnyMinorVersion = false, TFileIdentity Identity = {});

  // Big-endian primitives at the current position; bytes past the end read as 0.
  int16_t ReadShort();
  int32_t ReadLong();
  uint32_t ReadLongWord();
  float ReadSingle();
  uint8_t ReadByte();
  // Copies Count bytes from the current position (zeros past the end) and advances.
  void ReadBlock(uint8_t* Dest, int64_t Count);
  // Copies Count bytes of the file at Pos into Dest by reading the file itself, not the image:
  // the samples of data buffers, which the image then never holds. The bytes lie inside the file;
  // a file that ends before them (it changed since it was loaded) throws, naming it.
  void ReadFileAt(int64_t Pos, uint8_t* Dest, int64_t Count);
  // The records of directory entry Index, every field.
  fiff::TChannelInfo ReadChannelInfo(int32_t Index);
  fiff::TDigPoint ReadDigPoint(int32_t Index);
  fiff::TCoordTrans ReadCoordTrans(int32_t Index);

  void SeekTagData(int32_t Index);
  void SeekTagOffset(int32_t Index, int32_t Offset);
  // The first value of entry Index's data: SeekTagData, then the read.
  int32_t ReadLongAt(int32_t Index) {
    SeekTagData(Index);
    return ReadLong();
  }
  float ReadSingleAt(int32_t Index) {
    SeekTagData(Index);
    return ReadSingle();
  }
  int64_t Position() const { return FPos; }
  void SetPosition(int64_t Pos) { FPos = Pos; }
  // Size of the active stream, which is the size of the file.
  int64_t StreamSize() const;

  // Throws, naming the file, when it changed (shrank, grew or was written) since it was
  // loaded: what was read from it may then be zeros or a mix of two files.
  void CheckUnchanged() const;
  [[noreturn]] void ThrowChanged() const;

  const std::string& FileName() const { return FFileName; }
  const TFiffVersion& Version() const { return FVersion; }
  const TFileIdentity& Identity() const { return FIdentity; }
  // Whether the file is read through the file (larger than kMemoryImageLimit, or not mappable)
  // rather than held in memory.
  bool UsesFileStream() const { return FUseFileStream; }
  // The tag directory: every tag of the file in stored order, entry 0 the file identification.
  const TTagDirectory& Tags() const { return FTags; }
  const TFiffTag& Tag(int32_t Index) const { return FTags[Index]; }
  int32_t TagCount() const { return FTagCount; }
  // The tag the file ends inside, when it is cut short there: the directory ends before it.
  const std::optional<TFiffTag>& Cut() const { return FCut; }

 private:
  static void CheckAddressable(const std::string& FileName, int64_t Size);
  void ReadSlow(uint8_t* Dest, int64_t Count);
  void BuildDirectory();

  std::string FFileName;
  TFiffVersion FVersion;  // what the signature test found
  TFileIdentity FIdentity;
  bool FUseFileStream = false;
  TTagDirectory FTags;
  int32_t FTagCount = 0;
  std::optional<TFiffTag> FCut;

  // The memory image is the file mapped read-only; the file stays open to notice changes.
  TMappedFile FMemStream;
  const uint8_t* FImage = nullptr;
  int64_t FMemSize = 0;
  std::shared_ptr<const uint8_t> FImageOwner;
  std::unique_ptr<TFileWindow> FFileStream;
  int64_t FLoadedSize = 0;
  int64_t FLoadedTime = 0;  // modification time in nanoseconds
  int64_t FPos = 0;
};
