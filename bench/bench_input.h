// Large generated FIFF recordings for the benchmarks.
#pragma once

#include <cstdint>
#include <string>

// A 306-channel Vectorview-like recording of about Size bytes in 16-bit buffers of
// SamplesPerBuffer samples each.
void Generate(const std::string& Path, int64_t Size, int SamplesPerBuffer = 1000);
