// UTF-8 checks and the two repairs: escaping stray bytes of names, decoding Latin-1 strings.
#include "text.h"

#include <cstdint>
#include <cstdio>

namespace {

// The length of the valid UTF-8 sequence at P (at most Left bytes), or 0.
size_t SequenceAt(const unsigned char* P, size_t Left) {
  const unsigned char c = P[0];
  if (c < 0x80) return 1;
  size_t n;
  uint32_t min, code;
  if ((c & 0xE0) == 0xC0) {
    n = 2, min = 0x80, code = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3, min = 0x800, code = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4, min = 0x10000, code = c & 0x07;
  } else {
    return 0;
  }
  if (n > Left) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((P[k] & 0xC0) != 0x80) return 0;
    code = (code << 6) | (P[k] & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

bool IsUtf8(std::string_view Text) {
  const auto* p = reinterpret_cast<const unsigned char*>(Text.data());
  for (size_t at = 0; at < Text.size();) {
    const size_t n = SequenceAt(p + at, Text.size() - at);
    if (n == 0) return false;
    at += n;
  }
  return true;
}

std::string EscapeNonUtf8(std::string_view Text) {
  const auto* p = reinterpret_cast<const unsigned char*>(Text.data());
  std::string out;
  for (size_t at = 0; at < Text.size();) {
    const size_t n = SequenceAt(p + at, Text.size() - at);
    if (n > 0) {
      out.append(Text.substr(at, n));
      at += n;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", p[at]);
      out += escaped;
      ++at;
    }
  }
  return out;
}

std::string Latin1ToUtf8(std::string_view Text) {
  std::string out;
  out.reserve(Text.size());
  for (const char ch : Text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string Utf8OrLatin1(std::string_view Text) { return IsUtf8(Text) ? std::string(Text) : Latin1ToUtf8(Text); }
