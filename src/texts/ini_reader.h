#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A read-only INI file held in memory, answering lookups the way the Windows
// private-profile reader does, so a language file edited on Windows behaves
// the same here: section and key names match without regard to ASCII case,
// names and values are trimmed, one pair of surrounding double quotes is
// dropped from a value, ';' starts a comment line, and the first occurrence of
// a section or key is the one that counts.
//
// Whatever the file's encoding (UTF-8 with or without BOM, UTF-16 with BOM, or
// GB18030 from a Chinese Windows machine), every text comes back as UTF-8.
namespace orvana::texts {

class IniFile {
 public:
  // Reads and parses the file once. A file that is missing or unreadable
  // gives an empty IniFile whose lookups all return their fallback.
  static IniFile Load(const std::string& path);
  // Parses raw file bytes, as Load does after reading them.
  static IniFile FromBytes(std::string_view bytes);

  // The value of `key` in `section`, or `fallback` when the section or the key
  // is absent. The result is cut to capacity - 1 characters (code points), as
  // a destination buffer of `capacity` characters with its terminator would
  // hold; a capacity of 0 gives an empty text.
  std::string Get(std::string_view section, std::string_view key, std::string_view fallback,
                  size_t capacity) const;

  // True when a file was read, even if it held nothing useful.
  bool Loaded() const { return m_loaded; }

 private:
  struct Entry {
    std::string foldedKey;
    std::string value;
  };
  struct Section {
    std::string foldedName;
    std::vector<Entry> entries;
  };

  void Parse(std::string_view utf8Text);

  std::vector<Section> m_sections;
  bool m_loaded = false;
};

// Decodes a file's bytes to UTF-8 after looking at its byte-order mark; bytes
// without one that are not valid UTF-8 are taken as GB18030. Undecodable
// sequences become U+FFFD, so the result is always valid UTF-8.
std::string DecodeTextFile(std::string_view bytes);

// The first `count` characters (code points) of UTF-8 text.
std::string_view FirstCharacters(std::string_view utf8, size_t count);

}  // namespace orvana::texts
