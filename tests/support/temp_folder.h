#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#ifdef _WIN32
#include <random>
#endif
#include <stdexcept>
#include <string>
#include <string_view>

// Scratch space for the tests: a fresh folder under the system's temp folder,
// removed with everything in it. Paths are UTF-8, as in the program.
namespace orvana::testing {

// The C++ library reads a narrow path in the ANSI code page on Windows: it is
// told that ours are UTF-8 (on Linux this is the same path).
inline std::filesystem::path PathOf(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// The whole file, byte for byte; empty when it does not exist.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(PathOf(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TempFolder {
 public:
  TempFolder() {
#ifdef _WIN32
    // No mkdtemp: a random name, taken only if no one has it yet.
    std::random_device random;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
      const auto folder =
          std::filesystem::temp_directory_path() / ("orvana-test-" + std::to_string(random()));
      std::error_code error;
      if (std::filesystem::create_directory(folder, error)) m_path = Utf8Of(folder);
    }
    if (m_path.empty()) throw std::runtime_error("cannot make a scratch folder");
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "orvana-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
#endif
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(PathOf(m_path), ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Path() const { return m_path; }
  std::string operator/(std::string_view name) const { return m_path + "/" + std::string(name); }

  // Writes `bytes` exactly as given and returns the file's path.
  std::string Write(std::string_view name, std::string_view bytes) const {
    const std::string file = *this / name;
    WriteFile(file, bytes);
    return file;
  }

 private:
  std::string m_path;
};

}  // namespace orvana::testing
