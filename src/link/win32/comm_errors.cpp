#include "link/win32/comm_errors.h"

#include <string_view>

#include "platform/win32/wide.h"

namespace orvana::link {

std::string WindowsErrorText(DWORD error) {
  wchar_t text[512];
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                     0, text, static_cast<DWORD>(sizeof text / sizeof text[0]), nullptr);
  std::wstring_view words(text, length);
  while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' || words.back() == L' '))
    words.remove_suffix(1);
  if (words.empty()) return "error " + std::to_string(error);
  return platform::Utf8(words);
}

std::string OpenFailureText(const std::string& name, DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_REMOVED:
    case ERROR_BAD_UNIT:
    case ERROR_NOT_READY:
      return name + ": no such device (unplugged?)";
    // Windows answers a second open of a COM port with "access denied":
    // ports have no owner or group that would turn a user away.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return name + ": the port is in use by another program";
    default:
      return name + ": " + WindowsErrorText(error);
  }
}

std::string LineErrorText(DWORD errors) {
  struct Kind {
    DWORD bit;
    const char* words;
  };
  static constexpr Kind kKinds[] = {{CE_FRAME, "framing"},
                                    {CE_RXPARITY, "parity"},
                                    {CE_OVERRUN, "overrun"},
                                    {CE_RXOVER, "input buffer full"},
                                    {CE_BREAK, "break"}};
  std::string text;
  for (const Kind& kind : kKinds) {
    if ((errors & kind.bit) == 0) continue;
    if (!text.empty()) text += ", ";
    text += kind.words;
  }
  return text;
}

}  // namespace orvana::link
