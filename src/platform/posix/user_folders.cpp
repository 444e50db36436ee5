#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/user_folders.h"

namespace orvana::platform {

std::string UserDataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return std::string(data) + "/orvana";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share/orvana";
  return {};
}

std::string PrivateTemporaryFolder(std::string_view name) {
  return "/tmp/" + std::string(name) + "-" + std::to_string(::geteuid());
}

std::string ExecutableFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return program.parent_path().string();
}

}  // namespace orvana::platform
