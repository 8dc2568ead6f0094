// libFuzzer target: arbitrary bytes as a FIFF file through load, summary and conversion.
#include <unistd.h>

#include <string>

#include "harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // Memory-backed when the machine has it: the harness creates and removes files each run.
  static const std::string dir =
      (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/tessaline-fuzz-") + std::to_string(::getpid());
  CheckOneInput(Data, Size, dir);
  return 0;
}
