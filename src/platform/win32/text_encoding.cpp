#include <windows.h>

#include <climits>
#include <cstdint>

#include "common/utf8.h"
#include "platform/text_encoding.h"
#include "platform/win32/wide.h"

namespace orvana::platform {
namespace {

// GB18030, the superset of GBK that Windows knows as a code page of its own.
constexpr UINT kGb18030CodePage = 54936;

void AppendCharacter(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-16 by hand: a lone surrogate or a last odd byte is one U+FFFD each.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  const auto unitAt = [&](size_t at) -> uint32_t {
    const auto first = static_cast<unsigned char>(bytes[at]);
    const auto second = static_cast<unsigned char>(bytes[at + 1]);
    return bigEndian ? (first << 8) | second : (second << 8) | first;
  };
  std::string out;
  out.reserve(bytes.size());
  size_t at = 0;
  for (; at + 1 < bytes.size(); at += 2) {
    const uint32_t unit = unitAt(at);
    if (unit >= 0xD800 && unit < 0xDC00 && at + 3 < bytes.size()) {
      const uint32_t low = unitAt(at + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendCharacter(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        at += 2;
        continue;
      }
    }
    if (unit >= 0xD800 && unit < 0xE000) {
      out += common::kUtf8Replacement;
    } else {
      AppendCharacter(out, unit);
    }
  }
  if (at < bytes.size()) out += common::kUtf8Replacement;
  return out;
}

// Where code page 54936 is missing (Wine has none), GB18030 is read through
// GBK (code page 936), which GB18030 extends: one and two bytes as GBK reads
// them, four-byte sequences of the planes beyond the first worked out from
// their bytes, as GB18030 lays them out in order; a four-byte sequence of the
// first plane (rare characters that GBK lacks) becomes U+FFFD.
std::string Gb18030ThroughGbk(std::string_view bytes) {
  const auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const auto digit = [](unsigned char b) { return b >= 0x30 && b <= 0x39; };
  const auto lead = [](unsigned char b) { return b >= 0x81 && b <= 0xFE; };
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char first = at(i);
    if (first < 0x80) {
      out += static_cast<char>(first);
      ++i;
      continue;
    }
    if (!lead(first) || i + 1 >= bytes.size()) {
      out += common::kUtf8Replacement;
      ++i;
      continue;
    }
    const unsigned char second = at(i + 1);
    if (digit(second)) {
      if (i + 3 >= bytes.size() || !lead(at(i + 2)) || !digit(at(i + 3))) {
        out += common::kUtf8Replacement;
        ++i;
        continue;
      }
      const uint32_t linear = (((first - 0x90u) * 10 + (second - 0x30u)) * 126 +
                               (at(i + 2) - 0x81u)) * 10 + (at(i + 3) - 0x30u);
      if (first >= 0x90 && first <= 0xE3 && linear <= 0x10FFFF - 0x10000) {
        AppendCharacter(out, 0x10000 + linear);
      } else {
        out += common::kUtf8Replacement;
      }
      i += 4;
      continue;
    }
    wchar_t wide[2] = {};
    const int got = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes.data() + i, 2, wide, 2);
    if (got == 1) {
      AppendCharacter(out, wide[0]);
      i += 2;
    } else {
      out += common::kUtf8Replacement;
      ++i;
    }
  }
  return out;
}

}  // namespace

std::string ToUtf8(std::string_view bytes, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Utf16Le:
      return Utf16ToUtf8(bytes, false);
    case TextEncoding::Utf16Be:
      return Utf16ToUtf8(bytes, true);
    case TextEncoding::Gb18030:
      break;
  }
  if (bytes.empty() || bytes.size() > INT_MAX) return {};
  if (!IsValidCodePage(kGb18030CodePage)) return Gb18030ThroughGbk(bytes);
  // Windows puts U+FFFD in place of what it cannot decode.
  const int length = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(kGb18030CodePage, 0, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(kGb18030CodePage, 0, bytes.data(), length, wide.data(), needed);
  return Utf8(wide);
}

}  // namespace orvana::platform
