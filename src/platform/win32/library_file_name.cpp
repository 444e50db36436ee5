#include "platform/library_file_name.h"

#include <windows.h>

#include <cerrno>

#include "platform/win32/wide.h"

namespace orvana::platform {
namespace {

bool IsAscii(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// `wide` in the ANSI code page, only when every character has its own there
// (no best fit: "ü" must not become "u" and name another file).
std::string InAnsiCodePage(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  BOOL lost = FALSE;
  const int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr,
                                         0, nullptr, &lost);
  if (needed <= 0 || lost) return {};
  std::string narrow(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, narrow.data(), needed,
                      nullptr, &lost);
  return lost ? std::string() : narrow;
}

}  // namespace

// The short form needs no code page when 8.3 names are kept on the volume
// (the system volume's default); the ANSI form serves a Chinese folder on a
// Chinese Windows, where the ANSI code page holds its characters.
std::string LibraryFileName(const std::string& path) {
  if (IsAscii(path)) return path;
  const std::wstring wide = Wide(path);
  const DWORD needed = GetShortPathNameW(wide.c_str(), nullptr, 0);
  if (needed > 0) {
    std::wstring shortName(needed, L'\0');
    const DWORD length = GetShortPathNameW(wide.c_str(), shortName.data(), needed);
    if (length > 0 && length < needed) {
      shortName.resize(length);
      const std::string narrow = Utf8(shortName);
      if (IsAscii(narrow)) return narrow;
    }
  }
  std::string ansi = InAnsiCodePage(wide);
  if (ansi.empty()) errno = EILSEQ;
  return ansi;
}

}  // namespace orvana::platform
