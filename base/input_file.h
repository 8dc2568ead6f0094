// An input file opened once: its descriptor, what the system says of it, and its first bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Owns the descriptor; every later reading of the file (mapping, reads at a position, checks for
// changes) goes through it, so the path is opened and examined only once.
struct TInputFile {
  static constexpr int kHeadSize = 20;  // the file-identification tag's header and version words

  TInputFile() = default;
  ~TInputFile();
  TInputFile(TInputFile&& Other) noexcept;
  TInputFile& operator=(TInputFile&& Other) noexcept;
  TInputFile(const TInputFile&) = delete;
  TInputFile& operator=(const TInputFile&) = delete;
  // Hands the descriptor over; the object no longer closes it.
  int Release();

  int Fd = -1;
  int64_t Size = 0;
  int64_t ModifiedNs = 0;  // modification time in nanoseconds
  uint64_t Device = 0;
  uint64_t Inode = 0;
  uint8_t Head[kHeadSize] = {};
  int HeadLength = 0;  // fewer than kHeadSize in a shorter file
};

// Opens Path read-only and reads its first bytes: nothing when no file of that name exists;
// throws, naming the file, when it cannot be opened or read, or is not a regular file.
std::optional<TInputFile> OpenInputFile(const std::string& Path);
