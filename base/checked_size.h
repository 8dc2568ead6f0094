// Size arithmetic on what a file states, checked; and the fixed-width wraps the formats store.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>

// A * B and A + B, or nothing when the result does not fit in 64 bits.
inline std::optional<int64_t> CheckedMul(int64_t A, int64_t B) {
  int64_t r;
  if (__builtin_mul_overflow(A, B, &r)) return std::nullopt;
  return r;
}
inline std::optional<int64_t> CheckedAdd(int64_t A, int64_t B) {
  int64_t r;
  if (__builtin_add_overflow(A, B, &r)) return std::nullopt;
  return r;
}
// Value as a 32-bit count (a dimension of a Scilab matrix), or nothing when it does not fit.
inline std::optional<int32_t> CheckedInt32(std::optional<int64_t> Value) {
  if (!Value || *Value < std::numeric_limits<int32_t>::min() || *Value > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return static_cast<int32_t>(*Value);
}

// The low 32 or 16 bits as a signed value: where a format keeps a count, a product or a
// difference in fixed width, it wraps as the format's own words do.
inline constexpr int32_t Wrap32(int64_t Value) { return static_cast<int32_t>(static_cast<uint32_t>(Value)); }
inline constexpr int16_t Wrap16(int64_t Value) { return static_cast<int16_t>(static_cast<uint16_t>(Value)); }
