// Large generated FIFF recordings for the benchmarks.
#pragma once

#include <cstdint>
#include <string>

// A 306-channel Vectorview-like recording (204 planar gradiometers, 93 magnetometers, 9 EEG) of about Size bytes in
// 16-bit buffers of SamplesPerBuffer samples each; with Parts, split over that many files (Path, then Path's name with
// -1, -2, ... before its ending), linked as MNE-Python links them. With Stim, the last channel is a stim channel that
// holds a pulse of 5 for the first 10 samples of every buffer, 0 after.
void Generate(const std::string& Path, int64_t Size, int SamplesPerBuffer = 1000, int Parts = 1, bool Stim = false);
// An epochs file of MNE-Python of about Size bytes: the same channels, epochs of 401 samples of
// 32-bit floats around one event each.
void GenerateEpochs(const std::string& Path, int64_t Size);
