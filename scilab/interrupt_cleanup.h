// Signals that end the program while an output file is written remove its temporary file first.
#pragma once

#include <signal.h>

#include <string>

// Installs the handler for SIGINT, SIGTERM, SIGHUP and SIGQUIT (those not ignored). Program
// names the line written on standard error when a file was cut short; nullptr writes none.
void InstallInterruptCleanup(const char* Program);

// The writer's side: the temporary file being written and the name it is to get; the handler
// removes the one and names the other. Disarmed once the file is complete or removed.
void ArmInterruptCleanup(const std::string& TempName, const std::string& FinalName);
void DisarmInterruptCleanup();

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
