#include "sim/port_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <utility>

namespace orvana::sim {

namespace {
std::runtime_error Failure(const std::string& what, const std::string& path, int error) {
  return std::runtime_error(what + " " + path + ": " + std::strerror(error));
}
}  // namespace

PortLink::PortLink(std::string path, std::string target)
    : m_path(std::move(path)), m_target(std::move(target)) {
  if (m_path.empty()) throw std::runtime_error("empty link path");
  const std::filesystem::path parent = std::filesystem::path(m_path).parent_path();
  if (!parent.empty()) {
    std::error_code error;
    std::filesystem::create_directories(parent, error);
    if (error) throw Failure("cannot create folder", parent.string(), error.value());
  }
  struct stat existing {};
  if (lstat(m_path.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
    throw std::runtime_error("will not replace " + m_path + ": it is not a symbolic link");
  }
  // Made aside and renamed into place, so the name never points nowhere.
  const std::string aside = m_path + ".new-" + std::to_string(getpid());
  unlink(aside.c_str());
  if (symlink(m_target.c_str(), aside.c_str()) != 0) {
    throw Failure("cannot create link", aside, errno);
  }
  if (rename(aside.c_str(), m_path.c_str()) != 0) {
    const int error = errno;
    unlink(aside.c_str());
    throw Failure("cannot create link", m_path, error);
  }
  m_made = true;
}

PortLink::~PortLink() { Remove(); }

void PortLink::Remove() {
  if (!m_made) return;
  m_made = false;
  char current[4096] = {};
  const ssize_t n = readlink(m_path.c_str(), current, sizeof current - 1);
  if (n > 0 && std::string(current, static_cast<size_t>(n)) == m_target) unlink(m_path.c_str());
}

}  // namespace orvana::sim
