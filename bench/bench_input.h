// Large generated FIFF recordings for the benchmarks.
#pragma once

#include <cstdint>
#include <string>

// A 306-channel Vectorview-like recording of about Size bytes in 1000-sample 16-bit buffers.
void Generate(const std::string& Path, int64_t Size);
