// One input through load, summary and conversion, with every output checked; shared by the
// libFuzzer target and the regression test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Aborts (so the fuzzer reports it) on an output that does not parse, a temporary file left
// behind, or an output far larger than its input could justify. The errors the reader and
// the conversion raise for bad input (std::runtime_error) are expected; any other
// exception escapes, so the fuzzer reports it.
void CheckOneInput(const uint8_t* Data, size_t Size, const std::string& WorkDir);
