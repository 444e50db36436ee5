// The decoder every reader of outside text stands on: what it calls a
// character, and how far a broken sequence reaches, decides what the language
// file, the report, the port list and the JSON lines make of odd bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "common/utf8.h"

namespace orvana::common {
namespace {

using namespace std::string_view_literals;

struct Case {
  const char* what;
  std::string_view text;
  size_t at;
  bool valid;
  size_t length;
  char32_t codePoint;
};

constexpr char32_t kFffd = 0xFFFD;

TEST(Utf8Decoder, EdgesOfEveryFormAndEveryKindOfBrokenSequence) {
  // A buffer whose view ends inside a character: the byte behind the view
  // would complete it, and must not be read.
  static const std::string cutShort = "\xC3\xA9";
  const Case cases[] = {
      {"NUL", "\0"sv, 0, true, 1, 0x00},
      {"last one-byte form", "\x7F", 0, true, 1, 0x7F},
      {"first two-byte form", "\xC2\x80", 0, true, 2, 0x80},
      {"last two-byte form", "\xDF\xBF", 0, true, 2, 0x7FF},
      {"first three-byte form", "\xE0\xA0\x80", 0, true, 3, 0x800},
      {"CJK", "\xE4\xB8\xAD", 0, true, 3, 0x4E2D},
      {"just below the surrogates", "\xED\x9F\xBF", 0, true, 3, 0xD7FF},
      {"just above the surrogates", "\xEE\x80\x80", 0, true, 3, 0xE000},
      {"last three-byte form", "\xEF\xBF\xBF", 0, true, 3, 0xFFFF},
      {"first four-byte form", "\xF0\x90\x80\x80", 0, true, 4, 0x10000},
      {"emoji", "\xF0\x9F\x98\x80", 0, true, 4, 0x1F600},
      {"last code point", "\xF4\x8F\xBF\xBF", 0, true, 4, 0x10FFFF},
      {"in mid text", "ab\xC3\xA9z", 2, true, 2, 0xE9},

      {"lone continuation", "\x80", 0, false, 1, kFffd},
      {"last continuation", "\xBF", 0, false, 1, kFffd},
      {"overlong two-byte NUL", "\xC0\x80", 0, false, 1, kFffd},
      {"overlong two-byte", "\xC1\xBF", 0, false, 1, kFffd},
      {"overlong three-byte", "\xE0\x9F\xBF", 0, false, 1, kFffd},
      {"overlong four-byte", "\xF0\x8F\xBF\xBF", 0, false, 1, kFffd},
      {"first surrogate", "\xED\xA0\x80", 0, false, 1, kFffd},
      {"last surrogate", "\xED\xBF\xBF", 0, false, 1, kFffd},
      {"just past U+10FFFF", "\xF4\x90\x80\x80", 0, false, 1, kFffd},
      {"lead past U+10FFFF", "\xF5\x80\x80\x80", 0, false, 1, kFffd},
      {"five-byte lead", "\xF8\x88\x80\x80\x80", 0, false, 1, kFffd},
      {"FF", "\xFF", 0, false, 1, kFffd},
      {"two-byte lead at the end", "\xC3", 0, false, 1, kFffd},
      {"three-byte form cut at the end", "\xE4\xB8", 0, false, 2, kFffd},
      {"four-byte form cut at the end", "\xF0\x9F\x98", 0, false, 3, kFffd},
      {"view ends inside a character", std::string_view(cutShort.data(), 1), 0, false, 1, kFffd},
      {"broken by ASCII", "\xE4\xB8\x41", 0, false, 2, kFffd},
      {"broken by a lead byte", "\xF0\x9F\x98\xC3\xA9", 0, false, 3, kFffd},
      {"second continuation out of range", "\xE4\xC0\x80", 0, false, 1, kFffd},
      {"cut in mid text", "ok\xE2\x82", 2, false, 2, kFffd},
  };
  for (const Case& c : cases) {
    const Utf8Char decoded = DecodeUtf8(c.text, c.at);
    EXPECT_EQ(decoded.valid, c.valid) << c.what;
    EXPECT_EQ(decoded.length, c.length) << c.what;
    EXPECT_EQ(static_cast<uint32_t>(decoded.codePoint), static_cast<uint32_t>(c.codePoint))
        << c.what;
  }
}

// Encodes `value` in `length` bytes whether or not that is its shortest form.
std::string Encode(char32_t value, size_t length) {
  if (length == 1) return std::string(1, static_cast<char>(value));
  static constexpr unsigned char kLeadMarks[] = {0, 0, 0xC0, 0xE0, 0xF0};
  std::string bytes(length, '\0');
  for (size_t i = length - 1; i > 0; --i, value >>= 6) {
    bytes[i] = static_cast<char>(0x80 | (value & 0x3F));
  }
  bytes[0] = static_cast<char>(kLeadMarks[length] | value);
  return bytes;
}

TEST(Utf8Decoder, EveryValueInEveryFormIsTakenOnlyInItsShortestFormAndOnlyWhenUnicodeHasIt) {
  for (uint32_t value = 0; value < 0x200000; ++value) {
    const size_t shortest = value < 0x80 ? 1 : value < 0x800 ? 2 : value < 0x10000 ? 3 : 4;
    const bool scalar = value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
    for (size_t length = shortest; length <= 4; ++length) {
      const std::string bytes = Encode(value, length);
      const Utf8Char decoded = DecodeUtf8(bytes, 0);
      const bool expected = scalar && length == shortest;
      ASSERT_EQ(decoded.valid, expected) << "U+" << std::hex << value << " in " << length;
      if (expected) {
        ASSERT_EQ(decoded.length, length) << "U+" << std::hex << value;
        ASSERT_EQ(static_cast<uint32_t>(decoded.codePoint), value) << "U+" << std::hex << value;
      } else {
        // Every such form breaks at its lead or at the byte after it.
        ASSERT_EQ(decoded.length, 1u) << "U+" << std::hex << value << " in " << length;
      }
    }
  }
}

}  // namespace
}  // namespace orvana::common
