// Text in UTF-8: names whose bytes are not UTF-8 made readable, and FIFF's Latin-1 strings decoded.
#pragma once

#include <string>
#include <string_view>

// Whether Text is valid UTF-8.
bool IsUtf8(std::string_view Text);
// Text with every byte that is not part of valid UTF-8 written \xHH (as Python's
// "backslashreplace" shows it): file names in messages and sidecars, which must be UTF-8.
std::string EscapeNonUtf8(std::string_view Text);
// ISO 8859-1 (Latin-1) text as UTF-8: FIFF's strings, as MNE-Python decodes them.
std::string Latin1ToUtf8(std::string_view Text);
// Text that is UTF-8 already as it is, other text as Latin-1.
std::string Utf8OrLatin1(std::string_view Text);
