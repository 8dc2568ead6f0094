// Memory straight from the system for large working buffers: populated at once, or on huge pages.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

// A page fault costs microseconds in a virtual machine: a 1 MiB buffer touched page by page takes
// 256 of them, populated at its mapping one system call.
class TPages {
 public:
  TPages() = default;
  explicit TPages(size_t Bytes) : FLength(Bytes) {
    void* p = ::mmap(nullptr, Bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    FData = static_cast<uint8_t*>(p);
  }
  ~TPages() {
    if (FData) ::munmap(FData, FLength);
  }
  TPages(TPages&& Other) noexcept { *this = std::move(Other); }
  TPages& operator=(TPages&& Other) noexcept {
    std::swap(FData, Other.FData);
    std::swap(FLength, Other.FLength);
    return *this;
  }
  uint8_t* Data() const { return FData; }

 private:
  uint8_t* FData = nullptr;
  size_t FLength = 0;
};

// An allocator for large arrays that grow as they are filled (the tag directory): address space
// aligned to 2 MiB and asked to be held in huge pages, so filling 3 MB takes two page faults, not
// 732. One of 64 KiB to 2 MiB is populated at its mapping, smaller ones come from the heap.
template <typename T>
struct THugePageAllocator {
  using value_type = T;
  static constexpr size_t kHuge = size_t{2} << 20;
  static constexpr size_t kPopulated = size_t{64} << 10;

  THugePageAllocator() = default;
  template <typename U>
  THugePageAllocator(const THugePageAllocator<U>&) {}

  T* allocate(size_t N) {
    const size_t bytes = N * sizeof(T);
    if (bytes < kPopulated) return std::allocator<T>().allocate(N);
    if (bytes < kHuge) {
      void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
      if (p == MAP_FAILED) throw std::bad_alloc();
      return static_cast<T*>(p);
    }
    const size_t length = (bytes + kHuge - 1) & ~(kHuge - 1);
    void* p = ::mmap(nullptr, length + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<uintptr_t>(p);
    const uintptr_t aligned = (start + kHuge - 1) & ~(uintptr_t{kHuge} - 1);
    if (aligned > start) ::munmap(p, aligned - start);
    if (aligned + length < start + length + kHuge)
      ::munmap(reinterpret_cast<void*>(aligned + length), start + length + kHuge - (aligned + length));
    ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);  // a hint: small pages serve too
    return reinterpret_cast<T*>(aligned);
  }
  void deallocate(T* P, size_t N) {
    const size_t bytes = N * sizeof(T);
    if (bytes < kPopulated)
      std::allocator<T>().deallocate(P, N);
    else if (bytes < kHuge)
      ::munmap(P, bytes);
    else
      ::munmap(P, (bytes + kHuge - 1) & ~(kHuge - 1));
  }
  template <typename U>
  bool operator==(const THugePageAllocator<U>&) const {
    return true;
  }
};
