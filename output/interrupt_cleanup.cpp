// The interrupt handler: unlink the armed temporary files, say so, and end as the signal asks.
#include "interrupt_cleanup.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Filled in normal context before a file is written, only read by the handler: it may not
// allocate, lock or format, so everything it needs is ready in these buffers.
struct TSlot {
  char Temp[4096];
  char Message[4096 + 256];
  size_t MessageLength = 0;
  volatile sig_atomic_t Armed = 0;
};
constexpr int kSlots = 8;
TSlot gSlots[kSlots];
char gProgram[64];
bool gSpeak = false;

// Only unlink, write, sigaction and raise, all async-signal-safe. The other three signals are
// blocked while it runs (sa_mask), so a second signal cannot stop the cleanup half done; the
// signal raised again is delivered with its default action when the handler returns, and a
// shell sees the status that signal gives (130 for SIGINT, 143 for SIGTERM, ...).
void OnInterrupt(int Signal) {
  for (TSlot& s : gSlots) {
    if (!s.Armed) continue;
    s.Armed = 0;
    // A file renamed to its name in the meantime is complete: nothing to remove or report.
    if (::unlink(s.Temp) == 0 && gSpeak) {
      const ssize_t n = ::write(STDERR_FILENO, s.Message, s.MessageLength);
      (void)n;
    }
  }
  struct sigaction usual {};
  usual.sa_handler = SIG_DFL;
  ::sigemptyset(&usual.sa_mask);
  ::sigaction(Signal, &usual, nullptr);
  ::raise(Signal);
}

bool CopyText(char* To, size_t Room, const std::string& Text) {
  if (Text.size() >= Room) return false;
  std::memcpy(To, Text.c_str(), Text.size() + 1);
  return true;
}

}  // namespace

void InstallInterruptCleanup(const char* Program) {
  gSpeak = Program != nullptr;
  if (Program) CopyText(gProgram, sizeof gProgram, std::string(Program).substr(0, sizeof gProgram - 1));
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

int ArmInterruptCleanup(const std::string& TempName, const std::string& FinalName) {
  for (int k = 0; k < kSlots; ++k) {
    TSlot& s = gSlots[k];
    if (s.Armed) continue;
    const std::string message = std::string(gProgram) + ": interrupted; \"" + FinalName + "\" was not written\n";
    if (!CopyText(s.Temp, sizeof s.Temp, TempName) || !CopyText(s.Message, sizeof s.Message, message)) return -1;
    s.MessageLength = message.size();
    std::atomic_signal_fence(std::memory_order_seq_cst);
    s.Armed = 1;
    return k;
  }
  return -1;
}

void DisarmInterruptCleanup(int Slot) {
  if (Slot < 0 || Slot >= kSlots) return;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  gSlots[Slot].Armed = 0;
}

TInterruptsHeld::TInterruptsHeld() {
  sigset_t held;
  ::sigemptyset(&held);
  for (int s : kSignals) ::sigaddset(&held, s);
  ::sigprocmask(SIG_BLOCK, &held, &FOld);
}

TInterruptsHeld::~TInterruptsHeld() { ::sigprocmask(SIG_SETMASK, &FOld, nullptr); }
