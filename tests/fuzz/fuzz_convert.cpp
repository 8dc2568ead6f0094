// libFuzzer target: arbitrary bytes as a FIFF file through load, summary and conversion, mutated as tags and as bytes.
#include <unistd.h>

#include <string>

#include "fiff_mutator.h"
#include "harness.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* Data, size_t Size, size_t MaxSize);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // Memory-backed when the machine has it: the harness creates and removes files each run.
  static const std::string dir = (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                 std::string("/tessaline-fuzz-") + std::to_string(::getpid());
  CheckOneInput(Data, Size, dir);
  return 0;
}

// Half the mutations work on tags, half on bytes, so both kinds of fault stay within reach.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* Data, size_t Size, size_t MaxSize, unsigned int Seed) {
  if (Seed % 2 == 0) return LLVMFuzzerMutate(Data, Size, MaxSize);
  return MutateFiffTags(Data, Size, MaxSize, Seed / 2);
}
