// The block tree: one pass over the directory that pairs each block start with its end.
#include "block_tree.h"

namespace fiff {

TBlockTree::TBlockTree(TFiff& Reader) {
  std::vector<int32_t> open;
  for (int32_t i = 0; i < Reader.TagCount(); ++i) {
    const int32_t kind = Reader.Tag(i).Kind;
    if (kind == kBlockStart) {
      const auto b = static_cast<int32_t>(FBlocks.size());
      if (!open.empty()) FBlocks[static_cast<size_t>(open.back())].Children.push_back(b);
      FBlocks.push_back({Reader.ReadLongAt(i), i, Reader.TagCount(), {}});
      open.push_back(b);
    } else if (kind == kBlockEnd && !open.empty()) {
      FBlocks[static_cast<size_t>(open.back())].End = i;
      open.pop_back();
    }
  }
}

std::vector<int32_t> TBlockTree::Find(int32_t Kind, int32_t Within) const {
  std::vector<int32_t> found;
  // Blocks are stored in the order of their starts, and a block's descendants follow it up to its end.
  const auto first = static_cast<size_t>(Within + 1);
  for (size_t b = first; b < FBlocks.size(); ++b) {
    if (Within >= 0 && FBlocks[b].Start >= Block(Within).End) break;
    if (FBlocks[b].Kind == Kind) found.push_back(static_cast<int32_t>(b));
  }
  return found;
}

std::vector<int32_t> TBlockTree::Entries(int32_t B) const {
  std::vector<int32_t> entries;
  const TBlock& block = Block(B);
  int32_t i = block.Start + 1;
  for (const int32_t child : block.Children) {
    for (; i < Block(child).Start; ++i) entries.push_back(i);
    i = Block(child).End + 1;
  }
  for (; i < block.End; ++i) entries.push_back(i);
  return entries;
}

}  // namespace fiff
