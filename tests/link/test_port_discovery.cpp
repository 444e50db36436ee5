#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "link/port_discovery.h"
#include "support/pty_pair.h"
#include "support/temp_folder.h"

namespace orvana::link {
namespace {

namespace fs = std::filesystem;

// A machine in a temp folder: sys/class/tty, dev and a folder for port links.
class FakeMachine {
 public:
  FakeMachine() {
    fs::create_directories(m_root / "sys/class/tty");
    fs::create_directories(m_root / "sys/bus/drivers");
    fs::create_directories(m_root / "dev");
    fs::create_directories(m_root / "links");
  }

  // A tty with hardware behind it, bound to `driver`, and its /dev node.
  void AddHardwareTty(const std::string& name, const std::string& driver) {
    const fs::path device = m_root / "sys/devices" / name;
    fs::create_directories(device);
    fs::create_directories(m_root / "sys/bus/drivers" / driver);
    fs::create_symlink(m_root / "sys/bus/drivers" / driver, device / "driver");
    fs::create_directories(Tty(name));
    fs::create_directory_symlink(device, Tty(name) / "device");
    Touch(m_root / "dev" / name);
  }
  // A console or virtual terminal: no device link.
  void AddVirtualTerminal(const std::string& name) {
    fs::create_directories(Tty(name));
    Touch(m_root / "dev" / name);
  }
  fs::path Link(const std::string& name, const fs::path& target) const {
    const fs::path link = m_root / "links" / name;
    fs::create_symlink(target, link);
    return link;
  }
  void Touch(const fs::path& file) const { std::ofstream(file).put('x'); }

  DiscoveryRoots Roots() const {
    DiscoveryRoots roots;
    roots.sysClassTty = (m_root / "sys/class/tty").string();
    roots.devDir = (m_root / "dev").string();
    roots.linkDirs = {(m_root / "links").string()};
    roots.isPlaceholder = [](const std::string&) { return false; };
    return roots;
  }
  std::string Dev(const std::string& name) const { return (m_root / "dev" / name).string(); }
  const fs::path& Root() const { return m_root; }

 private:
  fs::path Tty(const std::string& name) const { return m_root / "sys/class/tty" / name; }
  testing::TempFolder m_folder;
  fs::path m_root = m_folder.Path();
};

std::vector<std::string> Designations(const std::vector<PortEntry>& ports) {
  std::vector<std::string> paths;
  for (const PortEntry& port : ports) paths.push_back(port.designation);
  return paths;
}

TEST(RealPorts, ListsHardwarePortsWithTheirDriversAndDropsPlaceholders) {
  FakeMachine machine;
  machine.AddHardwareTty("ttyS0", "serial8250");
  machine.AddHardwareTty("ttyS1", "serial8250");
  machine.AddHardwareTty("ttyUSB0", "ftdi_sio");
  machine.AddVirtualTerminal("tty1");
  machine.AddVirtualTerminal("console");

  std::set<std::string> probed;
  DiscoveryRoots roots = machine.Roots();
  const std::string placeholder = machine.Dev("ttyS1");
  roots.isPlaceholder = [&](const std::string& path) {
    probed.insert(path);
    return path == placeholder;
  };

  const std::vector<PortEntry> expected = {{"serial8250", machine.Dev("ttyS0")},
                                           {"ftdi_sio", machine.Dev("ttyUSB0")}};
  EXPECT_EQ(DiscoverPorts(roots), expected);
  // Only the serial ttyS ports are asked; a USB adapter is real by being there.
  EXPECT_EQ(probed, (std::set<std::string>{machine.Dev("ttyS0"), machine.Dev("ttyS1")}));
}

TEST(RealPorts, PortWithoutDeviceNodeIsLeftOut) {
  FakeMachine machine;
  machine.AddHardwareTty("ttyACM0", "cdc_acm");
  machine.AddHardwareTty("ttyUSB3", "ch341");
  fs::remove(machine.Dev("ttyUSB3"));
  EXPECT_EQ(Designations(DiscoverPorts(machine.Roots())),
            std::vector<std::string>{machine.Dev("ttyACM0")});
}

TEST(RealPorts, EmptyOrMissingTreeGivesNoPorts) {
  FakeMachine machine;
  EXPECT_TRUE(DiscoverPorts(machine.Roots()).empty());

  DiscoveryRoots nowhere;
  nowhere.sysClassTty = (machine.Root() / "absent/sys").string();
  nowhere.devDir = (machine.Root() / "absent/dev").string();
  nowhere.linkDirs = {(machine.Root() / "absent/links").string()};
  EXPECT_TRUE(DiscoverPorts(nowhere).empty());
}

TEST(VirtualPorts, LinksToALivePseudoTerminalAreListed) {
  FakeMachine machine;
  testing::PtyPair pty;
  const fs::path absolute = machine.Link("ttyV0", pty.SlavePath());
  const fs::path relative =
      machine.Link("ttyV1", fs::relative(pty.SlavePath(), machine.Root() / "links"));

  const std::vector<PortEntry> expected = {{"pty", absolute.string()}, {"pty", relative.string()}};
  EXPECT_EQ(DiscoverPorts(machine.Roots()), expected);
}

TEST(VirtualPorts, LinksToAnythingElseAreNotListed) {
  FakeMachine machine;
  machine.Touch(machine.Root() / "plain");
  machine.Link("toFile", machine.Root() / "plain");
  machine.Link("toNull", "/dev/null");
  machine.Link("toNowhere", machine.Root() / "missing");
  machine.Link("toPtmx", "/dev/ptmx");
  machine.Touch(machine.Root() / "links/ttyV9");  // a file, not a link
  // A pseudo-terminal that has gone away (or was never there).
  machine.Link("toGonePty", "/dev/pts/999999");
  EXPECT_TRUE(DiscoverPorts(machine.Roots()).empty());
}

TEST(VirtualPorts, NamesThatWouldForgeLinesFieldsOrTerminalCodesAreLeftOut) {
  FakeMachine machine;
  testing::PtyPair pty;
  for (const std::string name : {"ttyV\tftdi_sio", "ttyV0\tpty\nttyUSB0", "ttyV\r", "ttyV\x1b[2J",
                                 "ttyV\x7f", "ttyV\xc2\x9b",  // C1 CSI, as UTF-8
                                 "ttyV\x9b", "ttyV\xff", "ttyV\xc3", "ttyV\xed\xa0\x80"}) {
    machine.Link(name, pty.SlavePath());
  }
  const fs::path plain = machine.Link("ttyV0", pty.SlavePath());
  const fs::path accented = machine.Link("ttyV-\xc3\xa9\xe2\x82\xac", pty.SlavePath());
  EXPECT_EQ(Designations(DiscoverPorts(machine.Roots())),
            (std::vector<std::string>{accented.string(), plain.string()}));
}

TEST(VirtualPorts, FolderScannedTwiceListsEachLinkOnce) {
  FakeMachine machine;
  testing::PtyPair pty;
  const fs::path link = machine.Link("ttyV0", pty.SlavePath());
  DiscoveryRoots roots = machine.Roots();
  roots.linkDirs.push_back(roots.linkDirs.front() + "/");
  EXPECT_EQ(Designations(DiscoverPorts(roots)), std::vector<std::string>{link.string()});
}

TEST(PortOrder, RealPortsInNaturalOrderThenVirtualLinks) {
  FakeMachine machine;
  for (const char* name : {"ttyUSB1", "ttyS10", "ttyS2", "ttyUSB0", "ttyACM0"}) {
    machine.AddHardwareTty(name, "drv");
  }
  testing::PtyPair pty;
  const fs::path v10 = machine.Link("ttyV10", pty.SlavePath());
  const fs::path v2 = machine.Link("ttyV2", pty.SlavePath());

  const std::vector<std::string> expected = {
      machine.Dev("ttyACM0"), machine.Dev("ttyS2"), machine.Dev("ttyS10"), machine.Dev("ttyUSB0"),
      machine.Dev("ttyUSB1"), v2.string(),          v10.string()};
  EXPECT_EQ(Designations(DiscoverPorts(machine.Roots())), expected);
}

TEST(PortOrder, NaturalLessComparesNumbersByValue) {
  EXPECT_TRUE(NaturalLess("ttyS2", "ttyS10"));
  EXPECT_FALSE(NaturalLess("ttyS10", "ttyS2"));
  EXPECT_TRUE(NaturalLess("ttyS9", "ttyUSB0"));
  EXPECT_TRUE(NaturalLess("ttyS", "ttyS0"));
  EXPECT_FALSE(NaturalLess("ttyS3", "ttyS3"));
  // Leading zeros: still a strict order, one way only.
  EXPECT_NE(NaturalLess("ttyS02", "ttyS2"), NaturalLess("ttyS2", "ttyS02"));
  EXPECT_TRUE(NaturalLess("ttyS02", "ttyS10"));
  EXPECT_TRUE(NaturalLess("a99999999999999999999", "a100000000000000000000"));
}

TEST(PortTable, KeepsTheFirstTwentyPortsWithoutGaps) {
  FakeMachine machine;
  for (int i = 0; i < 25; ++i) machine.AddHardwareTty("ttyUSB" + std::to_string(i), "ftdi_sio");

  PortTable table;
  EXPECT_EQ(table.Fill(DiscoverPorts(machine.Roots())), 20u);
  ASSERT_EQ(table.Count(), PortTable::kSlots);
  for (size_t i = 0; i < table.Count(); ++i) {
    EXPECT_EQ(table.At(i).path, machine.Dev("ttyUSB" + std::to_string(i)));
    EXPECT_EQ(table.At(i).number, i);
  }
  EXPECT_THROW(table.At(20), std::out_of_range);
  // A full table takes nothing more until it is cleared.
  EXPECT_EQ(table.Fill({{"pty", "/tmp/orvana-ports/ttyV0"}}), 0u);
  table.Clear();
  EXPECT_TRUE(table.Empty());
  EXPECT_TRUE(table.Entries().empty());
  EXPECT_EQ(table.Fill({{"pty", "/tmp/orvana-ports/ttyV7"}}), 1u);
  EXPECT_EQ(table.At(0).path, "/tmp/orvana-ports/ttyV7");
}

TEST(PortTable, FillingAgainUsesTheFreeSlotsAfterTheUsedOnes) {
  PortTable table;
  table.Fill({{"serial8250", "/dev/ttyS0"}});
  table.Fill({{"ftdi_sio", "/dev/ttyUSB1"}});
  ASSERT_EQ(table.Count(), 2u);
  EXPECT_EQ(table.At(0).path, "/dev/ttyS0");
  EXPECT_EQ(table.At(1).path, "/dev/ttyUSB1");
  const std::vector<PortEntry> shown = {{"serial8250", "/dev/ttyS0"}, {"ftdi_sio", "/dev/ttyUSB1"}};
  EXPECT_EQ(table.Entries(), shown);
}

TEST(PortTable, NumberIsTheTrailingNumberOfTheDeviceFile) {
  EXPECT_EQ(TrailingPortNumber("/dev/ttyS0"), 0u);
  EXPECT_EQ(TrailingPortNumber("/dev/ttyUSB12"), 12u);
  // No limit at two digits: ports past 9 keep their number.
  EXPECT_EQ(TrailingPortNumber("/dev/ttyS123"), 123u);
  EXPECT_EQ(TrailingPortNumber("/tmp/port7/meter"), 0u);
  EXPECT_EQ(TrailingPortNumber("/dev/ttyS99999999999999999999"), 0u);
  EXPECT_EQ(ToPortAddress({"pty", "/tmp/orvana-ports/ttyV3"}).number, 3u);
}

TEST(SystemProbe, DevicesWithoutUartAreTakenForPlaceholders) {
  // A pseudo-terminal answers no serial-port query; a missing device cannot.
  testing::PtyPair pty;
  EXPECT_TRUE(IsPlaceholderSerialPort(pty.SlavePath()));
  EXPECT_TRUE(IsPlaceholderSerialPort("/dev/ttyS-orvana-absent"));
}

TEST(SystemRoots, LinkFolderComesFromTheEnvironment) {
  const char* saved = std::getenv("ORVANA_PORT_DIR");
  const std::string previous = saved != nullptr ? saved : "";

  setenv("ORVANA_PORT_DIR", "/run/user/orvana-links", 1);
  EXPECT_EQ(DiscoveryRoots::System().linkDirs,
            (std::vector<std::string>{"/dev", "/run/user/orvana-links"}));
  unsetenv("ORVANA_PORT_DIR");
  const DiscoveryRoots roots = DiscoveryRoots::System();
  EXPECT_EQ(roots.linkDirs, (std::vector<std::string>{"/dev", "/tmp/orvana-ports"}));
  EXPECT_EQ(roots.sysClassTty, "/sys/class/tty");
  EXPECT_TRUE(static_cast<bool>(roots.isPlaceholder));

  if (saved != nullptr) setenv("ORVANA_PORT_DIR", previous.c_str(), 1);
}

}  // namespace
}  // namespace orvana::link
