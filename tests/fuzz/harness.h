// One input through load, summary and conversion, with every output checked; shared by the
// libFuzzer target and the regression test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Aborts (so the fuzzer reports it) on an output that does not parse, a temporary file left
// behind, or an output far larger than its input could justify. Errors the conversion
// raises for bad input are expected and ignored.
void CheckOneInput(const uint8_t* Data, size_t Size, const std::string& WorkDir);
