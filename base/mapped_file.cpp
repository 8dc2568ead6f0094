// Mapping files read-only, and the bus-error handler that keeps a shrinking file from crashing the program.
#include "mapped_file.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

// The mappings the handler knows; a slot is free while its start is 0. Only the owner of a
// slot writes its bounds, and the handler only reads them, so plain atomics suffice.
struct TSlot {
  std::atomic<uintptr_t> Start{0};
  std::atomic<uintptr_t> End{0};
  std::atomic<bool> Faulted{false};
};
constexpr int kSlots = 64;
TSlot gSlots[kSlots];
uintptr_t gPageSize = 4096;
struct sigaction gPrevious {};

// Runs in signal context, so it calls only mmap, sigaction and raise (system calls, no
// allocation, no locks). For an address in one of our mappings it maps zero-filled pages over
// the lost ones, from the faulting page to the end of the mapping, and returns: the faulting
// read runs again and sees zeros. Any other bus error goes to the handler that was there before
// (a sanitizer's, say) or, without one, ends the program as it would have.
void OnBusError(int Signal, siginfo_t* Info, void* Context) {
  const auto address = reinterpret_cast<uintptr_t>(Info->si_addr);
  for (TSlot& s : gSlots) {
    const uintptr_t start = s.Start.load(std::memory_order_acquire);
    const uintptr_t end = s.End.load(std::memory_order_acquire);
    if (start == 0 || address < start || address >= end) continue;
    const uintptr_t page = address & ~(gPageSize - 1);
    void* zeros =
        ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zeros == MAP_FAILED) break;
    s.Faulted.store(true, std::memory_order_release);
    return;
  }
  if ((gPrevious.sa_flags & SA_SIGINFO) && gPrevious.sa_sigaction) {
    gPrevious.sa_sigaction(Signal, Info, Context);
    return;
  }
  if (!(gPrevious.sa_flags & SA_SIGINFO) && gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN) {
    gPrevious.sa_handler(Signal);
    return;
  }
  struct sigaction usual {};
  usual.sa_handler = SIG_DFL;
  ::sigaction(Signal, &usual, nullptr);
  ::raise(Signal);  // delivered as the handler returns, with its usual effect
}

void InstallOnce() {
  static const bool installed = [] {
    gPageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    ::sigemptyset(&action.sa_mask);
    return ::sigaction(SIGBUS, &action, &gPrevious) == 0;
  }();
  (void)installed;
}

}  // namespace

bool TMappedFile::Map(int Fd, int64_t Size) {
  Unmap();
  InstallOnce();
  int slot = -1;
  for (int k = 0; k < kSlots && slot < 0; ++k)
    if (gSlots[k].Start.load(std::memory_order_acquire) == 0) slot = k;
  if (slot < 0) {
    errno = EMFILE;
    return false;
  }
  const size_t length = static_cast<size_t>(Size);
  // Populated at once: a page-cache file is then one system call away, not a fault per page.
  void* data = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, Fd, 0);
  if (data == MAP_FAILED) return false;
  ::madvise(data, length, MADV_WILLNEED);
  FData = static_cast<uint8_t*>(data);
  FLength = length;
  FSlot = slot;
  TSlot& s = gSlots[slot];
  s.Faulted.store(false, std::memory_order_relaxed);
  s.End.store(reinterpret_cast<uintptr_t>(data) + length, std::memory_order_release);
  s.Start.store(reinterpret_cast<uintptr_t>(data), std::memory_order_release);
  return true;
}

void TMappedFile::Unmap() {
  if (!FData) return;
  gSlots[FSlot].Start.store(0, std::memory_order_release);
  gSlots[FSlot].End.store(0, std::memory_order_release);
  ::munmap(FData, FLength);
  FData = nullptr;
  FLength = 0;
  FSlot = -1;
}

bool TMappedFile::Faulted() const { return FSlot >= 0 && gSlots[FSlot].Faulted.load(std::memory_order_acquire); }
