// The walk over the tag directory that carries the channel count, sampling frequency and block in force.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "fiff_f.h"

// One directory entry with the channel count and the sampling frequency in force at it: the last
// ones the directory stated up to and including this entry, or the walk's starting values. Block
// is the innermost block the entry lies in (0 outside every block); a block's start and end tags
// lie in the block they open and close.
struct TWalkEntry {
  int32_t Index = 0;
  const TFiffTag* Tag = nullptr;
  int32_t Channels = 0;
  float Frequency = 0.0f;
  int32_t Block = 0;
};

// A single pass over FTags, from entry From on. The sections and writers start from different
// values (one channel or none, a frequency of 1 or 0), so the walk takes them. The reader's
// position is moved by the values it reads; callers seek before their own reads, as always.
//   for (const TWalkEntry& e : TTagWalk(Reader, 1, 1.0f)) ...
class TTagWalk {
 public:
  TTagWalk(TFiff& Reader, int32_t Channels, float Frequency, int32_t From = 0) : FReader(Reader) {
    FEntry.Index = From;
    FEntry.Channels = Channels;
    FEntry.Frequency = Frequency;
    Enter();
  }

  class Iterator {
   public:
    using value_type = TWalkEntry;
    using difference_type = std::ptrdiff_t;
    Iterator() = default;
    explicit Iterator(TTagWalk* Walk) : FWalk(Walk) {}
    const TWalkEntry& operator*() const { return FWalk->FEntry; }
    const TWalkEntry* operator->() const { return &FWalk->FEntry; }
    Iterator& operator++() {
      FWalk->Advance();
      return *this;
    }
    void operator++(int) { FWalk->Advance(); }
    bool operator==(std::default_sentinel_t) const { return FWalk->AtEnd(); }

   private:
    TTagWalk* FWalk = nullptr;
  };

  Iterator begin() { return Iterator(this); }
  std::default_sentinel_t end() const { return {}; }

  bool AtEnd() const { return FEntry.Index >= FReader.TagCount(); }
  // What stands in force at the current entry, or after the last one once the walk has ended.
  int32_t Channels() const { return FEntry.Channels; }
  float Frequency() const { return FEntry.Frequency; }

 private:
  void Advance() {
    if (FEntry.Tag->Kind == fiff::kBlockEnd && !FBlocks.empty()) FBlocks.pop_back();
    ++FEntry.Index;
    Enter();
  }
  void Enter() {
    if (AtEnd()) return;
    FEntry.Tag = &FReader.Tag(FEntry.Index);
    switch (FEntry.Tag->Kind) {
      case fiff::kNChan: FEntry.Channels = FReader.ReadLongAt(FEntry.Index); break;
      case fiff::kSFreq: FEntry.Frequency = FReader.ReadSingleAt(FEntry.Index); break;
      case fiff::kBlockStart: FBlocks.push_back(FReader.ReadLongAt(FEntry.Index)); break;
      default: break;
    }
    FEntry.Block = FBlocks.empty() ? 0 : FBlocks.back();
  }

  TFiff& FReader;
  TWalkEntry FEntry;
  std::vector<int32_t> FBlocks;  // the blocks open at the entry, innermost last
};

static_assert(std::input_iterator<TTagWalk::Iterator>);
static_assert(std::sentinel_for<std::default_sentinel_t, TTagWalk::Iterator>);
