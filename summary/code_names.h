// Texts of FIFF codes as the summary shows them, read at the reader's position.
#pragma once

#include <cstdint>
#include <string>

#include "fiff_f.h"

// Count bytes as text, keeping only the bytes 32 to 127; missing bytes past the end are dropped.
std::string ReadText(TFiff& Reader, int32_t Count);
// The whole data of entry Index as text.
std::string ReadTextAt(TFiff& Reader, int32_t Index);
// A coordinate frame's name ("head", "MRI", ...; "???" for an unknown code).
std::string ReadCoordFrameName(TFiff& Reader);
// A BEM surface's name ("brain", "skull", ...; "???").
std::string ReadBemSurfaceName(TFiff& Reader);
// Seconds since 1970 as a date and time in UTC+9: "yyyy/mm/dd h:mm:ss".
std::string ReadUnixTimeText(TFiff& Reader);
// A Julian day number as a date: "yyyy/mm/dd".
std::string ReadJulianDateText(TFiff& Reader);
