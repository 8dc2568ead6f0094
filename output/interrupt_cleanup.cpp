// The interrupt handler: unlink the armed temporary files, say so, and end as the signal asks.
#include "interrupt_cleanup.h"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// An armed file: its temporary path and the line that names it, made before it is armed.
struct TSlot {
  std::string Temp;
  std::string Message;
};
// Changed only on the converting thread with the signals held, and read only by the handler on
// that thread: it may not allocate, lock or format, so it walks this array as it stands.
TSlot** gSlots = nullptr;
size_t gCount = 0;
std::vector<std::unique_ptr<TSlot>> gOwned;  // the storage behind gSlots
std::unique_ptr<TSlot*[]> gArray;
size_t gCapacity = 0;
char gProgram[64];
bool gSpeak = false;
pid_t gThread = 0;  // the converting thread

// Only unlink, write, sigaction, raise and tgkill, all async-signal-safe. The other three signals
// are blocked while it runs (sa_mask), so a second signal cannot stop the cleanup half done; the
// signal raised again is delivered with its default action when the handler returns, and a shell
// sees the status that signal gives (130 for SIGINT, 143 for SIGTERM, ...).
void OnInterrupt(int Signal) {
  if (static_cast<pid_t>(::syscall(SYS_gettid)) != gThread) {  // another thread (Qt's): to the converting one
    ::syscall(SYS_tgkill, ::getpid(), gThread, Signal);
    return;
  }
  for (size_t k = 0; k < gCount; ++k) {
    const TSlot* s = gSlots[k];
    // A file renamed to its name in the meantime is complete: nothing to remove or report.
    if (::unlink(s->Temp.c_str()) == 0 && gSpeak) {
      const ssize_t n = ::write(STDERR_FILENO, s->Message.data(), s->Message.size());
      (void)n;
    }
  }
  gCount = 0;
  struct sigaction usual {};
  usual.sa_handler = SIG_DFL;
  ::sigemptyset(&usual.sa_mask);
  ::sigaction(Signal, &usual, nullptr);
  ::raise(Signal);
}

}  // namespace

void InstallInterruptCleanup(const char* Program) {
  gSpeak = Program != nullptr;
  if (Program) std::snprintf(gProgram, sizeof gProgram, "%s", Program);
  gThread = static_cast<pid_t>(::syscall(SYS_gettid));
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  ::sigemptyset(&action.sa_mask);
  for (int s : kSignals) ::sigaddset(&action.sa_mask, s);
  for (int s : kSignals) {
    struct sigaction old {};
    // A signal ignored when the program starts (nohup) stays ignored.
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(s, &action, nullptr);
  }
}

TArmed ArmInterruptCleanup(const std::string& TempName, const std::string& FinalName) {
  auto slot = std::make_unique<TSlot>();
  slot->Temp = TempName;
  slot->Message = std::string(gProgram) + ": interrupted; \"" + FinalName + "\" was not written\n";
  const TInterruptsHeld held;
  if (gCount == gCapacity) {  // a larger array, filled before the handler is shown it
    const size_t capacity = std::max<size_t>(16, 2 * gCapacity);
    auto grown = std::make_unique<TSlot*[]>(capacity);
    std::copy(gSlots, gSlots + gCount, grown.get());
    gSlots = grown.get();
    gArray = std::move(grown);
    gCapacity = capacity;
  }
  gSlots[gCount] = slot.get();
  std::atomic_signal_fence(std::memory_order_seq_cst);
  ++gCount;
  gOwned.push_back(std::move(slot));
  return gOwned.back().get();
}

void DisarmInterruptCleanup(TArmed Armed) {
  if (!Armed) return;
  const TInterruptsHeld held;
  const auto at = std::find(gSlots, gSlots + gCount, Armed);
  if (at != gSlots + gCount) {
    *at = gSlots[gCount - 1];
    --gCount;
  }
  const auto owned = std::find_if(gOwned.begin(), gOwned.end(), [Armed](const auto& S) { return S.get() == Armed; });
  if (owned != gOwned.end()) {
    std::swap(*owned, gOwned.back());
    gOwned.pop_back();
  }
}

TInterruptsHeld::TInterruptsHeld() {
  sigset_t held;
  ::sigemptyset(&held);
  for (int s : kSignals) ::sigaddset(&held, s);
  ::pthread_sigmask(SIG_BLOCK, &held, &FOld);
}

TInterruptsHeld::~TInterruptsHeld() { ::pthread_sigmask(SIG_SETMASK, &FOld, nullptr); }
