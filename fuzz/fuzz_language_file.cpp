// Arbitrary bytes as a language file: whatever a user's editor left behind,
// every text must come back as valid UTF-8 within its key's capacity, and the
// reader must never read or write out of bounds (ASan watches that).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "texts/ini_reader.h"
#include "texts/message_texts.h"

namespace {

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    size_t length = 0;
    uint32_t codePoint = 0;
    if (lead < 0x80) {
      length = 1;
      codePoint = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      codePoint = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      codePoint = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      codePoint = lead & 0x07u;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (next & 0x3Fu);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || codePoint > 0x10FFFF) return false;
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return false;
    i += length;
  }
  return true;
}

size_t CharacterCount(std::string_view utf8) {
  size_t count = 0;
  for (char c : utf8) count += (static_cast<uint8_t>(c) & 0xC0) != 0x80 ? 1 : 0;
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (!IsValidUtf8(orvana::texts::DecodeTextFile(bytes))) __builtin_trap();

  const orvana::texts::IniFile file = orvana::texts::IniFile::FromBytes(bytes);
  orvana::texts::MessageTexts texts = orvana::texts::ReadMessageTexts(file);
  for (const orvana::texts::MessageTextKey& key : orvana::texts::kMessageTextKeys) {
    const std::string& text = texts.*key.member;
    if (!IsValidUtf8(text)) __builtin_trap();
    if (CharacterCount(text) > key.capacity - 1) __builtin_trap();
  }
  return 0;
}
