// Arbitrary bytes through the UTF-8 decoder, at every position, against a
// slow reference written the other way round (gather the bits first, judge
// the value after): both must agree on what is a character, on its value and
// on how far a broken sequence reaches; a character must encode back to
// exactly its bytes; and no byte past the text may be read (ASan watches
// that, the input being exactly as long as its buffer).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/utf8.h"

namespace {

using orvana::common::DecodeUtf8;
using orvana::common::Utf8Char;

// The length a lead byte announces by its high bits, 0 for none.
size_t AnnouncedLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

// Whether `bytes` is exactly one character.
bool IsOneCharacter(std::string_view bytes, char32_t& value) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  const size_t length = AnnouncedLength(lead);
  if (length == 0 || bytes.size() != length) return false;
  static constexpr char32_t kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  static constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
  value = lead & kLeadBits[length];
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(bytes[i]);
    if ((next & 0xC0) != 0x80) return false;
    value = (value << 6) | (next & 0x3Fu);
  }
  return value >= kShortest[length] && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
}

// Whether some character starts with `prefix` (shorter than the character).
bool StartsSomeCharacter(std::string_view prefix) {
  const size_t length = AnnouncedLength(static_cast<unsigned char>(prefix[0]));
  if (length <= prefix.size()) return false;
  std::string candidate(prefix);
  candidate.resize(length, '\x80');
  char32_t value = 0;
  if (prefix.size() > 1) return IsOneCharacter(candidate, value);
  // Only the byte after the lead is ever held to a narrower range.
  for (unsigned second = 0x80; second <= 0xBF; ++second) {
    candidate[1] = static_cast<char>(second);
    if (IsOneCharacter(candidate, value)) return true;
  }
  return false;
}

std::string Encode(char32_t value) {
  if (value < 0x80) return std::string(1, static_cast<char>(value));
  const size_t length = value < 0x800 ? 2 : value < 0x10000 ? 3 : 4;
  static constexpr unsigned char kLeadMarks[] = {0, 0, 0xC0, 0xE0, 0xF0};
  std::string bytes(length, '\0');
  for (size_t i = length - 1; i > 0; --i, value >>= 6) {
    bytes[i] = static_cast<char>(0x80 | (value & 0x3F));
  }
  bytes[0] = static_cast<char>(kLeadMarks[length] | value);
  return bytes;
}

void CheckAt(std::string_view text, size_t at) {
  const Utf8Char decoded = DecodeUtf8(text, at);
  const std::string_view rest = text.substr(at);
  if (decoded.length == 0 || decoded.length > rest.size()) __builtin_trap();
  const std::string_view piece = rest.substr(0, decoded.length);
  char32_t value = 0;
  if (decoded.valid) {
    if (!IsOneCharacter(piece, value) || value != decoded.codePoint) __builtin_trap();
    if (Encode(decoded.codePoint) != piece) __builtin_trap();
    return;
  }
  if (decoded.codePoint != 0xFFFD || decoded.length > 3) __builtin_trap();
  // No character fits here...
  for (size_t length = 1; length <= 4 && length <= rest.size(); ++length) {
    if (IsOneCharacter(rest.substr(0, length), value)) __builtin_trap();
  }
  // ...and the broken sequence is the longest start of one, or a lone byte.
  if (decoded.length > 1 && !StartsSomeCharacter(piece)) __builtin_trap();
  if (decoded.length < rest.size() && StartsSomeCharacter(rest.substr(0, decoded.length + 1))) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (size_t at = 0; at < text.size(); ++at) CheckAt(text, at);
  return 0;
}
