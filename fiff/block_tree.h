// The tree of a file's blocks, as MNE-Python's directory tree holds it: each block's own entries and the blocks within.
#pragma once

#include <cstdint>
#include <vector>

#include "fiff_f.h"

namespace fiff {

// Every block of a file, in the order their starts stand. A block ends at the next block end (a
// block never closed, at the end of the directory); an end with no block open closes nothing.
class TBlockTree {
 public:
  explicit TBlockTree(TFiff& Reader);

  struct TBlock {
    int32_t Kind = 0;
    int32_t Start = 0;  // the entry of its start, and of its end (or the entry count)
    int32_t End = 0;
    std::vector<int32_t> Children;  // the blocks directly within it, in order
  };
  const TBlock& Block(int32_t B) const { return FBlocks[static_cast<size_t>(B)]; }
  // The blocks of Kind, at any depth within block Within (the whole file for -1), in order.
  std::vector<int32_t> Find(int32_t Kind, int32_t Within = -1) const;
  // The entries that lie in block B itself: not its start and end, nor those of the blocks within.
  std::vector<int32_t> Entries(int32_t B) const;

 private:
  std::vector<TBlock> FBlocks;
};

}  // namespace fiff
