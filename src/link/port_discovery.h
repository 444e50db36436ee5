#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "link/port_address.h"

// Finds the serial ports of the machine. On Linux: the real ones the kernel
// lists under sysfs, and the virtual ones that simulators and socat publish
// as symlinks to a pseudo-terminal; nothing here opens a port for use, the
// serial ttyS ports are only asked whether hardware stands behind them. On
// Windows: the ports the drivers enter in the registry's SERIALCOMM map.
namespace orvana::link {

// One discovered port: the name of the driver behind it ("pty" for a virtual
// port) and the path the user picks and the program opens.
struct PortEntry {
  std::string deviceName;
  std::string designation;
  bool operator==(const PortEntry&) const = default;
};

inline constexpr std::string_view kVirtualPortDeviceName = "pty";

#ifdef _WIN32
// Where discovery looks: a key under HKEY_LOCAL_MACHINE whose values are
// the ports, each named by its device (\Device\Serial0) with the port's
// name (COM3) as its text. Tests point it at a key of their own.
struct DiscoveryRoots {
  std::string registryKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

  // The running machine's map.
  static DiscoveryRoots System();
};
#else
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
#endif

// Linux: real ports in natural order of their names, then virtual ports in
// natural order of their link paths; missing folders count as empty.
// Windows: the map's ports in natural order of their names; a missing key
// counts as empty.
std::vector<PortEntry> DiscoverPorts(const DiscoveryRoots& roots);

// Port names are printed one per line with tab-separated fields and shown
// in the window, and whoever can make a link or a registry value chooses its
// name. A tab, a line end or an escape sequence in it would forge fields or
// whole lines, or drive the terminal. Such names are left out, not escaped:
// an escaped name is no longer a name that opens. Plain means valid UTF-8
// without C0 or C1 control characters or DEL.
bool IsPlainPortName(std::string_view name);

// Orders embedded numbers by value, so ttyS2 comes before ttyS10.
bool NaturalLess(std::string_view a, std::string_view b);

// The decimal digits that end the file name of `path` (12 for /dev/ttyUSB12),
// 0 when there are none or they do not fit.
unsigned TrailingPortNumber(std::string_view path);

// What opens the port the user picked. On Windows a port's name (COM12, com12)
// becomes its device path \\.\COM12, which opens every number (the bare name
// only up to COM9); a device path is taken as it is.
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
