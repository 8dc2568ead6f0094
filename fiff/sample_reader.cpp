// Reading data buffers: straight into place when large, through one shared read when small; the 16-bit swap.
#include "sample_reader.h"

#include <algorithm>
#include <cstring>

namespace {

// A plain loop over bytes: the compiler turns it into vector shuffles, built for AVX2 and without.
__attribute__((target_clones("avx2", "default"))) void Swap(const uint8_t* From, uint8_t* To, int64_t Count) {
  for (int64_t i = 0; i < Count; ++i) {
    const uint8_t hi = From[2 * i];
    const uint8_t lo = From[2 * i + 1];
    To[2 * i] = lo;
    To[2 * i + 1] = hi;
  }
}

}  // namespace

// Clang gives a function of several clones no name other files can call: they call this one.
void SwapShorts(const uint8_t* From, uint8_t* To, int64_t Count) { Swap(From, To, Count); }

const uint8_t* TSampleReader::Small(int64_t Pos, int64_t Count) {
  // As far as the block reaches, but never past the end of the file as it was loaded.
  if (!FBlock.Holds(Pos, Count))
    FBlock.Refill(Pos, std::max(Count, std::min(kBlock, FReader.StreamSize() - Pos)),
                  [this](int64_t At, uint8_t* To, int64_t N) { FReader.ReadFileAt(At, To, N); });
  return FBlock.At(Pos);
}

void TSampleReader::Read(int64_t Pos, uint8_t* Dest, int64_t Count) {
  if (Count >= kDirect)
    FReader.ReadFileAt(Pos, Dest, Count);
  else if (Count > 0)
    std::memcpy(Dest, Small(Pos, Count), static_cast<size_t>(Count));
}

void TSampleReader::ReadSwappedShorts(int64_t Pos, uint8_t* Dest, int64_t Count) {
  if (2 * Count >= kDirect) {
    FReader.ReadFileAt(Pos, Dest, 2 * Count);
    SwapShorts(Dest, Dest, Count);
  } else if (Count > 0) {
    SwapShorts(Small(Pos, 2 * Count), Dest, Count);
  }
}
