// Large generated FIFF recordings for the benchmarks.
#pragma once

#include <cstdint>
#include <string>

// A 306-channel Vectorview-like recording of about Size bytes in 16-bit buffers of
// SamplesPerBuffer samples each; with Parts, split over that many files (Path, then Path's name
// with -1, -2, ... before its ending), linked as MNE-Python links them.
void Generate(const std::string& Path, int64_t Size, int SamplesPerBuffer = 1000, int Parts = 1);
