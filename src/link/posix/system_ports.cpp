#include "link/port_discovery.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

namespace orvana::link {
namespace {

namespace fs = std::filesystem;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string BaseName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ReadLink(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t length = readlink(path.c_str(), target, sizeof target);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof target) return {};
  return std::string(target, static_cast<size_t>(length));
}

// Directory entries, sorted so that probing and output do not depend on the
// order the file system hands them out. A missing folder has none.
std::vector<std::string> EntryNames(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end(), NaturalLess);
  return names;
}

bool SysfsSaysUnknownType(const std::string& ttyName) {
  std::ifstream typeFile("/sys/class/tty/" + ttyName + "/type");
  int type = PORT_UNKNOWN;
  if (!(typeFile >> type)) return true;
  return type == PORT_UNKNOWN;
}

std::vector<PortEntry> RealPorts(const DiscoveryRoots& roots) {
  std::vector<PortEntry> ports;
  for (const std::string& name : EntryNames(roots.sysClassTty)) {
    // Only ttys with hardware (or a USB interface) behind them have a device
    // link; consoles and virtual terminals do not.
    const std::string ttyDir = roots.sysClassTty + "/" + name;
    struct stat info {};
    if (lstat((ttyDir + "/device").c_str(), &info) != 0) continue;
    // In a container sysfs shows the host's ports while /dev lacks them;
    // offering a port nobody can open would only end in an error.
    const std::string designation = roots.devDir + "/" + name;
    if (!IsPlainPortName(designation) || stat(designation.c_str(), &info) != 0) continue;
    if (StartsWith(name, "ttyS") && roots.isPlaceholder && roots.isPlaceholder(designation)) {
      continue;
    }
    std::string driver = BaseName(ReadLink(ttyDir + "/device/driver"));
    if (!IsPlainPortName(driver)) driver.clear();
    ports.push_back(PortEntry{driver.empty() ? name : std::move(driver), designation});
  }
  return ports;
}

bool IsPtySlavePath(const std::string& path) {
  constexpr std::string_view kPtsDir = "/dev/pts/";
  if (!StartsWith(path, kPtsDir) || path.size() == kPtsDir.size()) return false;
  return std::all_of(path.begin() + static_cast<std::ptrdiff_t>(kPtsDir.size()), path.end(),
                     IsDigit);
}

// A link counts only when it points straight at a live pseudo-terminal. Only
// the link's own target is looked at, never the fully resolved path: /dev/stdin
// and friends lead through /proc to the terminal this program runs in.
bool LinksToLivePty(const fs::path& link) {
  struct stat info {};
  if (lstat(link.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return false;
  fs::path target = ReadLink(link.string());
  if (target.empty()) return false;
  if (target.is_relative()) target = link.parent_path() / target;
  const std::string normal = target.lexically_normal().string();
  return IsPtySlavePath(normal) && stat(normal.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

std::vector<PortEntry> VirtualPorts(const DiscoveryRoots& roots) {
  std::set<std::string> seen;
  std::vector<PortEntry> ports;
  for (const std::string& directory : roots.linkDirs) {
    for (const std::string& name : EntryNames(directory)) {
      const fs::path link = (fs::path(directory) / name).lexically_normal();
      if (!IsPlainPortName(link.string()) || !LinksToLivePty(link)) continue;
      if (!seen.insert(link.string()).second) continue;
      ports.push_back(PortEntry{std::string(kVirtualPortDeviceName), link.string()});
    }
  }
  std::sort(ports.begin(), ports.end(), [](const PortEntry& a, const PortEntry& b) {
    return NaturalLess(a.designation, b.designation);
  });
  return ports;
}

}  // namespace

bool IsPlaceholderSerialPort(const std::string& devicePath) {
  const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // A placeholder refuses to open (EIO). Refusals that say nothing about the
    // hardware must not hide a real port from a user outside the dialout group.
    if (errno == EACCES || errno == EPERM || errno == EBUSY) {
      return SysfsSaysUnknownType(BaseName(devicePath));
    }
    return true;
  }
  serial_struct info{};
  const bool answered = ioctl(fd, TIOCGSERIAL, &info) == 0;
  close(fd);
  return !answered || info.type == PORT_UNKNOWN;
}

DiscoveryRoots DiscoveryRoots::System() {
  DiscoveryRoots roots;
  const char* portDir = std::getenv("ORVANA_PORT_DIR");
  roots.linkDirs = {"/dev", (portDir != nullptr && *portDir != '\0')
                                ? std::string(portDir)
                                : std::string(kDefaultPortLinkDir)};
  return roots;
}

std::vector<PortEntry> DiscoverPorts(const DiscoveryRoots& roots) {
  std::vector<PortEntry> ports = RealPorts(roots);
  std::vector<PortEntry> virtualPorts = VirtualPorts(roots);
  ports.insert(ports.end(), std::make_move_iterator(virtualPorts.begin()),
               std::make_move_iterator(virtualPorts.end()));
  return ports;
}

PortAddress ToPortAddress(const PortEntry& entry) {
  return PortAddress{entry.designation, TrailingPortNumber(entry.designation)};
}

}  // namespace orvana::link
