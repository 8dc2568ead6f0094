// Reading a gzip-compressed FIFF file: its bytes decompressed into memory of their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Decompressed data larger than this cannot be FIFF (positions are 32-bit): a gzip bomb.
inline constexpr int64_t kLargestInflated = (int64_t{1} << 31) - 1;

// The decompressed bytes of every member of the gzip file Path, in anonymous memory that is
// unmapped with the last owner; Size is set to their count. Throws, naming the file, when it
// cannot be read, is cut short or damaged, or decompresses to more than Limit bytes.
std::shared_ptr<const uint8_t> InflateGzipFile(const std::string& Path, int64_t& Size,
                                               int64_t Limit = kLargestInflated);
