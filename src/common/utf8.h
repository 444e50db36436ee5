#pragma once

#include <cstddef>
#include <string_view>

// The one UTF-8 decoder of the program. Text reaches us from places nobody
// checks: language files from any editor, serial numbers from a scanner, old
// logs written in another code page, link names anyone may choose. Every
// reader of such text decides here what is a character and what is not; what
// it then refuses or replaces is its own business.
namespace orvana::common {

// U+FFFD, the character that stands in for bytes that are none.
inline constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD";

struct Utf8Char {
  bool valid = false;
  // Valid: the bytes the character takes, 1 to 4. Invalid: the bytes of the
  // broken sequence, 1 to 3: its lead and the continuation bytes that still
  // fitted before it broke off or the text ended. The byte after them may
  // start a character of its own.
  size_t length = 0;
  // The character's value; U+FFFD when the bytes are not one.
  char32_t codePoint = 0;
};

// The character that starts at text[at], which must lie inside `text`. Only
// the shortest form of a value up to U+10FFFF that is not a UTF-16 surrogate
// is valid; no byte past the end of `text` is read.
Utf8Char DecodeUtf8(std::string_view text, size_t at);

// Every byte of `text` belongs to a valid character (NUL is one).
bool IsValidUtf8(std::string_view text);

// The longest start of `text` of at most `limit` bytes that does not end
// inside a character (a text that is not UTF-8 is cut before a byte that
// looks like a continuation).
std::string_view CutAtCharacter(std::string_view text, size_t limit);

}  // namespace orvana::common
