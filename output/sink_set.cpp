// The staging buffer on huge pages, and each block handed to every sink.
#include "sink_set.h"

#include <sys/mman.h>

#include <bit>
#include <new>

static_assert(std::endian::native == std::endian::little, "the formats are written little-endian");

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
// Whole huge pages, so that the buffer can be held in a handful of them.
constexpr size_t kStagingLength = (TSinkSet::kBufferSize + kHugePage - 1) / kHugePage * kHugePage;

// Zero pages from the system that cost nothing until staged into, aligned to huge pages and
// asked to be held in them: filling the buffer then takes five page faults, not 2,442.
uint8_t* MapStaging() {
  const size_t span = kStagingLength + kHugePage;
  void* p = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<uintptr_t>(p);
  const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
  if (aligned > start) ::munmap(p, aligned - start);
  ::munmap(reinterpret_cast<void*>(aligned + kStagingLength), start + span - (aligned + kStagingLength));
  ::madvise(reinterpret_cast<void*>(aligned), kStagingLength, MADV_HUGEPAGE);  // a hint: small pages serve too
  return reinterpret_cast<uint8_t*>(aligned);
}

}  // namespace

TSinkSet::TSinkSet() : FBuffer(MapStaging()) {}

TSinkSet::~TSinkSet() {
  FSinks.clear();  // each removes its unfinished file
  ::munmap(FBuffer, kStagingLength);
}

void TSinkSet::Begin(const std::string& Name, TElement Type, const TDims& Dims) {
  for (const auto& s : FSinks) s->Begin(Name, Type, Dims);
}

void TSinkSet::Write(int64_t Bytes) {
  for (const auto& s : FSinks) s->Write(FBuffer, Bytes);
}

void TSinkSet::Commit(TOutputBatch& Batch) {
  for (const auto& s : FSinks) s->Commit(Batch);
}
