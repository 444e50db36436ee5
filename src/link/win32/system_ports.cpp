#include <windows.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "link/port_discovery.h"
#include "platform/win32/wide.h"

namespace orvana::link {
namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// COM followed by its number only, in any case: what the user types and
// what the map names.
bool IsComName(std::string_view name) {
  if (name.size() < 4) return false;
  for (size_t i = 0; i < 3; ++i) {
    if ((name[i] & ~0x20) != "COM"[i]) return false;
  }
  return std::all_of(name.begin() + 3, name.end(), IsDigit);
}

// The text of one REG_SZ value, without the terminators that the data may
// or may not carry.
std::wstring ValueText(const std::vector<BYTE>& data, DWORD bytes) {
  std::wstring text(bytes / sizeof(wchar_t), L'\0');
  std::copy_n(data.data(), text.size() * sizeof(wchar_t), reinterpret_cast<BYTE*>(text.data()));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

// Each value of `key` as {its name, its text}; values of other types are
// left out.
std::vector<PortEntry> ReadValues(HKEY key) {
  std::vector<PortEntry> entries;
  DWORD longestName = 0;
  DWORD longestData = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS) {
    return entries;
  }
  std::vector<wchar_t> name(longestName + 1);
  std::vector<BYTE> data(longestData + sizeof(wchar_t));
  for (DWORD index = 0;;) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataBytes = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LSTATUS status = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type,
                                         data.data(), &dataBytes);
    if (status == ERROR_MORE_DATA) {
      // A driver added a longer value meanwhile: make room and ask again.
      name.resize(name.size() * 2);
      data.resize(std::max<size_t>(data.size() * 2, dataBytes + sizeof(wchar_t)));
      continue;
    }
    if (status != ERROR_SUCCESS) break;  // ERROR_NO_MORE_ITEMS, or the key went
    ++index;
    if (type != REG_SZ) continue;
    entries.push_back(PortEntry{platform::Utf8(std::wstring_view(name.data(), nameLength)),
                                platform::Utf8(ValueText(data, dataBytes))});
  }
  return entries;
}

}  // namespace

DiscoveryRoots DiscoveryRoots::System() { return DiscoveryRoots{}; }

std::vector<PortEntry> DiscoverPorts(const DiscoveryRoots& roots) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, platform::Wide(roots.registryKey).c_str(), 0,
                    KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return {};
  }
  std::vector<PortEntry> entries = ReadValues(key);
  RegCloseKey(key);

  std::vector<PortEntry> ports;
  for (PortEntry& entry : entries) {
    if (entry.designation.empty() || !IsPlainPortName(entry.designation) ||
        !IsPlainPortName(entry.deviceName)) {
      continue;
    }
    ports.push_back(std::move(entry));
  }
  std::stable_sort(ports.begin(), ports.end(), [](const PortEntry& a, const PortEntry& b) {
    return NaturalLess(a.designation, b.designation);
  });
  return ports;
}

PortAddress ToPortAddress(const PortEntry& entry) {
  const std::string& name = entry.designation;
  if (IsComName(name)) {
    return PortAddress{std::string(kDevicePrefix) + "COM" + name.substr(3),
                       TrailingPortNumber(name)};
  }
  return PortAddress{name, TrailingPortNumber(name)};
}

}  // namespace orvana::link
