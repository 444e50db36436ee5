#include "common/utf8.h"

namespace orvana::common {

Utf8Char DecodeUtf8(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const auto invalid = [](size_t length) { return Utf8Char{false, length, U'\uFFFD'}; };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return Utf8Char{true, 1, lead};

  // Overlong forms, surrogates and values past U+10FFFF all show in the lead
  // byte or in the range of the byte after it, so a broken sequence is known
  // the moment it breaks and never costs the byte that broke it.
  size_t length = 0;
  char32_t value = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {  // C0 and C1 could only spell ASCII again
    length = 2;
    value = static_cast<char32_t>(lead & 0x1Fu);
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = static_cast<char32_t>(lead & 0x0Fu);
    if (lead == 0xE0) low = 0xA0;   // below U+0800: overlong
    if (lead == 0xED) high = 0x9F;  // U+D800..U+DFFF: surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = static_cast<char32_t>(lead & 0x07u);
    if (lead == 0xF0) low = 0x90;   // below U+10000: overlong
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return invalid(1);  // a continuation byte, or a lead of nothing Unicode has
  }
  for (size_t i = 1; i < length; ++i) {
    if (at + i >= text.size()) return invalid(i);
    const unsigned char next = byte(at + i);
    if (next < low || next > high) return invalid(i);
    low = 0x80;
    high = 0xBF;
    value = (value << 6) | static_cast<char32_t>(next & 0x3Fu);
  }
  return Utf8Char{true, length, value};
}

bool IsValidUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const Utf8Char c = DecodeUtf8(text, at);
    if (!c.valid) return false;
    at += c.length;
  }
  return true;
}

std::string_view CutAtCharacter(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace orvana::common
