// The refusal of what the user gave: a file the system will not read or convert, with a message naming it.
#pragma once

#include <stdexcept>

// Too large, cut or damaged, changed while it was read, data it cannot store. Errors of the
// operating system stay std::system_error; anything else is a fault of ours.
class TInputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
