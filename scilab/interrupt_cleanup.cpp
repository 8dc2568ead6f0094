// The interrupt handler: unlink the armed temporary file, say so, and end as the signal asks.
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
char gTemp[4096];
char gMessage[4096 + 256];
size_t gMessageLength = 0;
char gProgram[64];
bool gSpeak = false;
volatile sig_atomic_t gArmed = 0;

// Only unlink, write, sigaction and raise, all async-signal-safe. The other three signals are
// blocked while it runs (sa_mask), so a second signal cannot stop the cleanup half done; the
// signal raised again is delivered with its default action when the handler returns, and a
// shell sees the status that signal gives (130 for SIGINT, 143 for SIGTERM, ...).
void OnInterrupt(int Signal) {
  if (gArmed) {
    gArmed = 0;
    // A file renamed to its name in the meantime is complete: nothing to remove or report.
    if (::unlink(gTemp) == 0 && gSpeak) {
      const ssize_t n = ::write(STDERR_FILENO, gMessage, gMessageLength);
      (void)n;
    }
  }
  struct sigaction usual {};
  usual.sa_handler = SIG_DFL;
  ::sigemptyset(&usual.sa_mask);
  ::sigaction(Signal, &usual, nullptr);
  ::raise(Signal);
}

void CopyText(char* To, size_t Room, const std::string& Text) {
  const size_t n = std::min(Text.size(), Room - 1);
  std::memcpy(To, Text.data(), n);
  To[n] = '\0';
}

}  // namespace

void InstallInterruptCleanup(const char* Program) {
  gSpeak = Program != nullptr;
  if (Program) CopyText(gProgram, sizeof gProgram, Program);
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

void ArmInterruptCleanup(const std::string& TempName, const std::string& FinalName) {
  gArmed = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  CopyText(gTemp, sizeof gTemp, TempName);
  CopyText(gMessage, sizeof gMessage, std::string(gProgram) + ": interrupted; \"" + FinalName + "\" was not written\n");
  gMessageLength = std::strlen(gMessage);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  gArmed = TempName.size() < sizeof gTemp ? 1 : 0;
}

TInterruptsHeld::TInterruptsHeld() {
  sigset_t held;
  ::sigemptyset(&held);
  for (int s : kSignals) ::sigaddset(&held, s);
  ::sigprocmask(SIG_BLOCK, &held, &FOld);
}

TInterruptsHeld::~TInterruptsHeld() { ::sigprocmask(SIG_SETMASK, &FOld, nullptr); }

void DisarmInterruptCleanup() {
  std::atomic_signal_fence(std::memory_order_seq_cst);
  gArmed = 0;
}
