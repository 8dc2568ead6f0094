// The command line of tessaline-convert: its options, their parsing and the help text.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "convert.h"

struct TCliOptions {
  TConvertOptions Convert;
  TReadRules Read;          // what is read: FIFF 1.x and .fif.gz unless --like-window
  bool LikeWindow = false;  // exactly the window's rules
  bool Join = true;         // a split recording's parts converted as one
  bool SummaryOnly = false;
  bool Quiet = false;
  bool Help = false;
  bool Version = false;
  std::vector<std::string> Files;
};

// A command line that cannot be run as given: exit status 2.
class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the arguments (argv[0] is the program); throws TUsageError.
TCliOptions ParseArguments(int argc, char** argv);

extern const char* const kHelpText;
