// The samples of data buffers, read from the file into the caller's memory rather than touched through the image.
#pragma once

#include <cstdint>

#include "block_cache.h"
#include "fiff_f.h"

// Touching a whole recording through a fresh mapping costs page-table work for every page and
// makes every page count as the process's memory; reading it with pread costs one copy from the
// page cache. A buffer of at least kDirect bytes is read straight into its place; smaller ones are
// served from one read of kBlock bytes, so that buffers lying side by side (one sample each, say)
// cost one system call for many.
class TSampleReader {
 public:
  static constexpr int64_t kDirect = 64 << 10;
  static constexpr int64_t kBlock = 1 << 20;

  explicit TSampleReader(TFiff& Reader) : FReader(Reader) {}

  // The Count bytes at Pos, as stored.
  void Read(int64_t Pos, uint8_t* Dest, int64_t Count);
  // The Count big-endian 16-bit values at Pos, as little-endian ones.
  void ReadSwappedShorts(int64_t Pos, uint8_t* Dest, int64_t Count);

 private:
  // The bytes at Pos, Count < kDirect of them, from the block (read anew when they are not in it).
  const uint8_t* Small(int64_t Pos, int64_t Count);

  TFiff& FReader;
  TBlockCache FBlock{kBlock};
};

// Big-endian 16-bit values to little-endian; From may be To.
void SwapShorts(const uint8_t* From, uint8_t* To, int64_t Count);
