// Signals that end the program while output files are written remove their temporary files first.
#pragma once

#include <signal.h>

#include <string>

// Installs the handler for SIGINT, SIGTERM, SIGHUP and SIGQUIT (those not ignored). Program
// names the line written on standard error for each file cut short; nullptr writes none.
void InstallInterruptCleanup(const char* Program);

// The writers' side: a temporary file being written and the name it is to get; the handler
// removes the one and names the other. Several may be armed at once (one per format of an
// output); Arm gives the slot that Disarm takes once the file is complete or removed, or -1 when
// it cannot hold the names (longer than any path the system creates) or every slot is taken.
int ArmInterruptCleanup(const std::string& TempName, const std::string& FinalName);
void DisarmInterruptCleanup(int Slot);

// Holds the four signals back while it lives, so that a file is never created unarmed.
class TInterruptsHeld {
 public:
  TInterruptsHeld();
  ~TInterruptsHeld();
  TInterruptsHeld(const TInterruptsHeld&) = delete;
  TInterruptsHeld& operator=(const TInterruptsHeld&) = delete;

 private:
  sigset_t FOld;  // the signal mask before
};
