// A structure-aware mutation of FIFF files for libFuzzer: tags inserted, dropped, repeated, reordered, edge values.
#pragma once

#include <cstddef>
#include <cstdint>

// Mutates the file in Data (Size bytes, room for MaxSize) at the level of its tags and
// returns the new size; Seed picks the mutation. Bytes after the last whole header stay.
size_t MutateFiffTags(uint8_t* Data, size_t Size, size_t MaxSize, unsigned int Seed);
