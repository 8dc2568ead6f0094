// A block of a file held in memory, read again only for a piece outside it.
#pragma once

#include <cstdint>
#include <utility>

#include "pages.h"

// Readers that take many small pieces of a file in order (tag headers, small data buffers, the
// values of a file too large to hold) ask the block for each piece; only a piece outside
// [Start, Start + Length) costs a read, of as much as the reader wants at once.
class TBlockCache {
 public:
  explicit TBlockCache(int64_t Capacity) : FCapacity(Capacity) {}

  int64_t Capacity() const { return FCapacity; }
  bool Holds(int64_t Pos, int64_t Count) const { return Pos >= FStart && Pos + Count <= FStart + FLength; }
  // Where the bytes held end.
  int64_t End() const { return FStart + FLength; }
  // The bytes from Pos on, which the block holds.
  const uint8_t* At(int64_t Pos) const { return FBlock.Data() + (Pos - FStart); }
  // Makes the block the Length bytes at Pos (at most the capacity), read by Fill(Pos, Dest, Length).
  template <typename TFill>
  const uint8_t* Refill(int64_t Pos, int64_t Length, TFill&& Fill) {
    if (!FBlock.Data()) FBlock = TPages(static_cast<size_t>(FCapacity));
    FStart = Pos;
    FLength = 0;  // a fill that throws leaves nothing held
    std::forward<TFill>(Fill)(Pos, FBlock.Data(), Length);
    FLength = Length;
    return FBlock.Data();
  }

 private:
  int64_t FCapacity;
  TPages FBlock;
  int64_t FStart = 0;
  int64_t FLength = 0;
};
