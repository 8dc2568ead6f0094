// Signals that end the program while an output file is written remove its temporary file first.
#pragma once

#include <string>

// Installs the handler for SIGINT, SIGTERM, SIGHUP and SIGQUIT (those not ignored). Program
// names the line written on standard error when a file was cut short; nullptr writes none.
void InstallInterruptCleanup(const char* Program);

// The writer's side: the temporary file being written and the name it is to get; the handler
// removes the one and names the other. Disarmed once the file is complete or removed.
void ArmInterruptCleanup(const std::string& TempName, const std::string& FinalName);
void DisarmInterruptCleanup();
