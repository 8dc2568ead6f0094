// The conventions of BIDS's sidecar tables (channels.tsv, events.tsv): types, numbers and cells.
#pragma once

#include <cstdint>
#include <string>

// BIDS's channel type (MEGMAG, EEG, TRIG, ...) from the FIFF channel kind, the coil and the unit.
const char* BidsType(int32_t Kind, int32_t Coil, int32_t Unit);
// A number in the C locale by a printf format ("%.9g" for a float as stored, "%.17g" to read back
// the same double), whatever the user's locale.
std::string Number(double Value, const char* Format);
// The shortest text that reads back as the same double ("0.5", "1017.25"), in the C locale.
std::string Shortest(double Value);
// The text with tabs, line breaks, zero bytes and a leading quote made blanks, which would break a
// table's rows and columns.
std::string Cell(std::string Text);
