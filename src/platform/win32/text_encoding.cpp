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
  // Windows puts U+FFFD in place of what it cannot decode.
  const int length = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(kGb18030CodePage, 0, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(kGb18030CodePage, 0, bytes.data(), length, wide.data(), needed);
  return Utf8(wide);
}

}  // namespace orvana::platform
