#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "link/port_address.h"

// Finds the serial ports of the machine: the real ones the kernel lists under
// sysfs, and the virtual ones that simulators and socat publish as symlinks
// to a pseudo-terminal. Nothing here opens a port for use; the serial ttyS
// ports are only asked whether hardware stands behind them.
namespace orvana::link {

// One discovered port: the name of the driver behind it ("pty" for a virtual
// port) and the path the user picks and the program opens.
struct PortEntry {
  std::string deviceName;
  std::string designation;
  bool operator==(const PortEntry&) const = default;
};

inline constexpr std::string_view kVirtualPortDeviceName = "pty";

// The kernel registers ttyS ports for UARTs that may not exist; only the
// hardware knows. True when `devicePath` (a ttyS device) has no UART behind it
// or cannot be asked. Opens the device briefly; when it cannot be opened for
// lack of permission or because another program holds it exclusively, the
// port type that sysfs publishes is read instead.
bool IsPlaceholderSerialPort(const std::string& devicePath);

// Where discovery looks. Tests point these at a fake tree.
struct DiscoveryRoots {
  std::string sysClassTty = "/sys/class/tty";
  std::string devDir = "/dev";
  // Folders whose symlinks to a pseudo-terminal are listed as virtual ports.
  std::vector<std::string> linkDirs;
  // Asked for every ttyS port; an empty function keeps them all.
  std::function<bool(const std::string& devicePath)> isPlaceholder = IsPlaceholderSerialPort;

  // The running machine: link folders /dev and $ORVANA_PORT_DIR (default
  // /tmp/orvana-ports, where orvana-sim puts its links).
  static DiscoveryRoots System();
};

inline constexpr std::string_view kDefaultPortLinkDir = "/tmp/orvana-ports";

// Real ports in natural order of their names, then virtual ports in natural
// order of their link paths. Missing folders count as empty.
std::vector<PortEntry> DiscoverPorts(const DiscoveryRoots& roots);

// Orders embedded numbers by value, so ttyS2 comes before ttyS10.
bool NaturalLess(std::string_view a, std::string_view b);

// The decimal digits that end the file name of `path` (12 for /dev/ttyUSB12),
// 0 when there are none or they do not fit.
unsigned TrailingPortNumber(std::string_view path);

PortAddress ToPortAddress(const PortEntry& entry);

// The ports the user can choose from, in list order: used slots are 0 up to
// Count() - 1, without gaps.
class PortTable {
 public:
  static constexpr size_t kSlots = 20;

  // Puts `ports` into the free slots in order; those that find no free slot
  // are dropped. Returns how many were taken.
  size_t Fill(const std::vector<PortEntry>& ports);
  void Clear();

  size_t Count() const { return m_addresses.size(); }
  bool Empty() const { return m_addresses.empty(); }
  // What slot `slot` opens. Throws std::out_of_range at or past Count().
  const PortAddress& At(size_t slot) const { return m_addresses.at(slot); }
  // The used slots as discovered, for showing the list.
  const std::vector<PortEntry>& Entries() const { return m_entries; }

 private:
  std::vector<PortEntry> m_entries;
  std::vector<PortAddress> m_addresses;
};

}  // namespace orvana::link
