// The error of a system call on a named file, as the reader and the writer report it.
#pragma once

#include <string>
#include <system_error>

// The message reads: Cannot open "a.fif": Permission denied
[[noreturn]] inline void ThrowInOutError(const std::string& What, const std::string& FileName, int Err) {
  throw std::system_error(Err, std::generic_category(), What + " \"" + FileName + "\"");
}
