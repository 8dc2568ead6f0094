// Signals that end the program while output files are written remove their temporary files first.
#pragma once

#include <signal.h>

#include <string>

// Installs the handler for SIGINT, SIGTERM, SIGHUP and SIGQUIT (those not ignored), on the thread
// that converts: a signal another thread takes is passed to that one. Program names the line
// written on standard error for each file cut short; nullptr writes none.
void InstallInterruptCleanup(const char* Program);

// The writers' side: a temporary file being written (or complete and not yet in place) and the
// name it is to get; the handler removes the one and names the other. Any number may be armed at
// once (every file of a conversion until all are in place); Arm gives the handle that Disarm takes
// once the file is in place or removed.
using TArmed = const void*;
TArmed ArmInterruptCleanup(const std::string& TempName, const std::string& FinalName);
void DisarmInterruptCleanup(TArmed Armed);

// Holds the four signals back while it lives, so that a file is never created unarmed and the
// handler never sees the armed files half changed.
class TInterruptsHeld {
 public:
  TInterruptsHeld();
  ~TInterruptsHeld();
  TInterruptsHeld(const TInterruptsHeld&) = delete;
  TInterruptsHeld& operator=(const TInterruptsHeld&) = delete;

 private:
  sigset_t FOld;  // the signal mask before
};
