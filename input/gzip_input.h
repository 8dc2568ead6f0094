// Reading a gzip-compressed FIFF file: its bytes decompressed into memory of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "fiff_f.h"

// The decompressed bytes of every member of the gzip file File (opened as Path), in anonymous
// memory that is unmapped with the last owner; Size is set to their count. Throws, naming the
// file, when it cannot be read, is cut short or damaged, or decompresses to more than Limit bytes
// (by default more than any FIFF file can hold: a gzip bomb).
std::shared_ptr<const uint8_t> InflateGzipFile(const TInputFile& File, const std::string& Path, int64_t& Size,
                                               int64_t Limit = kLargestFiffFile);
