#include "link/port_discovery.h"

#include <algorithm>
#include <charconv>

#include "common/utf8.h"

namespace orvana::link {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool IsPlainPortName(std::string_view name) {
  for (size_t i = 0; i < name.size();) {
    const common::Utf8Char c = common::DecodeUtf8(name, i);
    if (!c.valid || c.codePoint < 0x20 || (c.codePoint >= 0x7F && c.codePoint <= 0x9F)) {
      return false;
    }
    i += c.length;
  }
  return true;
}

bool NaturalLess(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      size_t aEnd = i;
      size_t bEnd = j;
      while (aEnd < a.size() && IsDigit(a[aEnd])) ++aEnd;
      while (bEnd < b.size() && IsDigit(b[bEnd])) ++bEnd;
      std::string_view aDigits = a.substr(i, aEnd - i);
      std::string_view bDigits = b.substr(j, bEnd - j);
      while (aDigits.size() > 1 && aDigits.front() == '0') aDigits.remove_prefix(1);
      while (bDigits.size() > 1 && bDigits.front() == '0') bDigits.remove_prefix(1);
      if (aDigits.size() != bDigits.size()) return aDigits.size() < bDigits.size();
      if (aDigits != bDigits) return aDigits < bDigits;
      i = aEnd;
      j = bEnd;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  const bool aDone = i == a.size();
  const bool bDone = j == b.size();
  if (aDone != bDone) return aDone;
  // Equal but for leading zeros: plain order keeps the ordering strict.
  return a < b;
}

unsigned TrailingPortNumber(std::string_view path) {
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t start = name.size();
  while (start > 0 && IsDigit(name[start - 1])) --start;
  unsigned number = 0;
  const auto [end, error] = std::from_chars(name.data() + start, name.data() + name.size(), number);
  (void)end;
  return error == std::errc{} ? number : 0;
}

size_t PortTable::Fill(const std::vector<PortEntry>& ports) {
  const size_t taken = std::min(ports.size(), kSlots - m_entries.size());
  for (size_t i = 0; i < taken; ++i) {
    m_entries.push_back(ports[i]);
    m_addresses.push_back(ToPortAddress(ports[i]));
  }
  return taken;
}

void PortTable::Clear() {
  m_entries.clear();
  m_addresses.clear();
}

}  // namespace orvana::link
