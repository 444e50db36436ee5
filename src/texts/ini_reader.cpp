#include "texts/ini_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "common/error_text.h"
#include "common/trace.h"
#include "common/utf8.h"
#include "platform/file_info.h"
#include "platform/file_io.h"
#include "platform/open_file.h"
#include "platform/text_encoding.h"
#include "records/regular_file.h"

namespace orvana::texts {
namespace {

using common::IsValidUtf8;
using common::kUtf8Replacement;

// Every byte that is not part of a character becomes a U+FFFD of its own.
std::string ReplaceInvalidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const common::Utf8Char c = common::DecodeUtf8(text, pos);
    if (c.valid) {
      out.append(text.substr(pos, c.length));
      pos += c.length;
    } else {
      out += kUtf8Replacement;
      ++pos;
    }
  }
  return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string FoldCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

// A language file holds a few hundred texts; one far larger than that is not
// one, and is not read into memory.
constexpr uint64_t kLargestIniFile = 1 << 20;

// Reads the file if it is a regular file of a sane size. A missing file is
// simply absent; anything else that stops the read is traced, and the texts
// default just the same.
bool ReadWholeFile(const std::string& path, std::string& bytes) {
  const records::RegularFile file = records::OpenRegularFile(path, platform::OpenMode::Read);
  if (!file.Opened()) {
    if (file.error != ENOENT) {
      common::Trace("Can't read %s: %s\n", path.c_str(), file.Reason().c_str());
    }
    return false;
  }
  const int fd = file.fd;
  platform::FileInfo info;
  if (!platform::InfoOf(fd, info) || info.size > kLargestIniFile) {
    common::Trace("Can't read %s: larger than %lld bytes\n", path.c_str(),
                  static_cast<long long>(kLargestIniFile));
    platform::CloseFile(fd);
    return false;
  }
  bytes.clear();
  char chunk[16384];
  for (;;) {
    const long long n = platform::ReadSome(fd, chunk, sizeof chunk);
    if (n < 0 || bytes.size() + static_cast<size_t>(n) > kLargestIniFile) {
      common::Trace("Can't read %s: %s\n", path.c_str(),
                    n < 0 ? common::ErrorText(errno).c_str() : "it grows while it is read");
      platform::CloseFile(fd);
      return false;
    }
    if (n == 0) break;
    bytes.append(chunk, static_cast<size_t>(n));
  }
  platform::CloseFile(fd);
  return true;
}

}  // namespace

std::string DecodeTextFile(std::string_view bytes) {
  const auto startsWith = [&](std::string_view mark) {
    return bytes.substr(0, mark.size()) == mark;
  };
  if (startsWith("\xEF\xBB\xBF")) return ReplaceInvalidUtf8(bytes.substr(3));
  if (startsWith("\xFF\xFE")) return platform::ToUtf8(bytes.substr(2), platform::TextEncoding::Utf16Le);
  if (startsWith("\xFE\xFF")) return platform::ToUtf8(bytes.substr(2), platform::TextEncoding::Utf16Be);
  if (IsValidUtf8(bytes)) return std::string(bytes);
  return platform::ToUtf8(bytes, platform::TextEncoding::Gb18030);
}

std::string_view FirstCharacters(std::string_view utf8, size_t count) {
  size_t pos = 0;
  for (size_t seen = 0; pos < utf8.size(); ++pos) {
    const bool startsCharacter = (static_cast<uint8_t>(utf8[pos]) & 0xC0) != 0x80;
    if (startsCharacter && seen++ == count) break;
  }
  return utf8.substr(0, pos);
}

IniFile IniFile::Load(const std::string& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return IniFile{};
  return FromBytes(bytes);
}

IniFile IniFile::FromBytes(std::string_view bytes) {
  IniFile file;
  file.m_loaded = true;
  file.Parse(DecodeTextFile(bytes));
  return file;
}

void IniFile::Parse(std::string_view text) {
  Section* current = nullptr;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find_first_of("\r\n", pos);
    std::string_view line = text.substr(pos, end == std::string_view::npos ? end : end - pos);
    if (end == std::string_view::npos) {
      pos = text.size();
    } else {
      // CR LF, LF and a lone CR (old Mac files) each end one line.
      pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }

    line = Trim(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const size_t close = line.rfind(']');
      const std::string_view name =
          close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1);
      current = &m_sections.emplace_back(Section{FoldCase(Trim(name)), {}});
      continue;
    }
    // Lines before the first section header and lines without '=' carry no
    // value anybody could ask for.
    const size_t equals = line.find('=');
    if (current == nullptr || equals == std::string_view::npos) continue;
    std::string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    current->entries.push_back(Entry{FoldCase(Trim(line.substr(0, equals))), std::string(value)});
  }
}

std::string IniFile::Get(std::string_view section, std::string_view key, std::string_view fallback,
                         size_t capacity) const {
  if (capacity == 0) return {};
  std::string_view found = fallback;
  const std::string foldedSection = FoldCase(Trim(section));
  const auto sectionIt = std::find_if(m_sections.begin(), m_sections.end(), [&](const Section& s) {
    return s.foldedName == foldedSection;
  });
  if (sectionIt != m_sections.end()) {
    const std::string foldedKey = FoldCase(Trim(key));
    const auto entryIt = std::find_if(sectionIt->entries.begin(), sectionIt->entries.end(),
                                      [&](const Entry& e) { return e.foldedKey == foldedKey; });
    if (entryIt != sectionIt->entries.end()) found = entryIt->value;
  }
  return std::string(FirstCharacters(found, capacity - 1));
}

}  // namespace orvana::texts
