// The Windows side of the link that needs no line: the DCB the meter's
// settings make, the names a port is opened by, the words for a port that
// cannot be opened, and the port list read from a registry key.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "link/port_discovery.h"
#include "link/serial_port.h"
#include "link/win32/comm_settings.h"
#include "platform/win32/wide.h"

namespace orvana::link {
namespace {

TEST(Win32LineSettings, TheMetersSettingsMakeARawLineWithoutFlowControl) {
  DCB dcb{};
  dcb.BaudRate = 1200;
  dcb.ByteSize = 7;
  dcb.Parity = ODDPARITY;
  dcb.StopBits = TWOSTOPBITS;
  dcb.fParity = TRUE;
  dcb.fOutxCtsFlow = TRUE;
  dcb.fOutX = TRUE;
  dcb.fInX = TRUE;
  dcb.fNull = TRUE;
  dcb.fAbortOnError = TRUE;
  ASSERT_EQ(ApplyLineSettings(dcb, 9600, 'N', 8, 1), 0u);
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_FALSE(dcb.fParity);
  EXPECT_TRUE(dcb.fBinary);
  EXPECT_FALSE(dcb.fOutxCtsFlow);
  EXPECT_FALSE(dcb.fOutX);
  EXPECT_FALSE(dcb.fInX);
  EXPECT_FALSE(dcb.fNull);
  EXPECT_FALSE(dcb.fAbortOnError);

  ASSERT_EQ(ApplyLineSettings(dcb, 19200, 'e', 7, 2), 0u);
  EXPECT_EQ(dcb.Parity, EVENPARITY);
  EXPECT_TRUE(dcb.fParity);
  EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
}

TEST(Win32LineSettings, ASettingWithoutATwinLeavesTheDcbAsItWas) {
  DCB dcb{};
  dcb.BaudRate = 4800;
  dcb.ByteSize = 8;
  for (const auto& [parity, dataBits, stopBits] :
       std::vector<std::tuple<char, int, int>>{{'X', 8, 1}, {'N', 9, 1}, {'N', 8, 3}}) {
    EXPECT_EQ(ApplyLineSettings(dcb, 9600, parity, dataBits, stopBits),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(dcb.BaudRate, 4800u);
    EXPECT_EQ(dcb.ByteSize, 8);
  }
}

TEST(Win32PortAddress, EveryComNumberOpensByItsDevicePath) {
  for (const char* name : {"COM12", "com12", "\\\\.\\COM12"}) {
    const PortAddress address = ToPortAddress(PortEntry{"cli", name});
    EXPECT_EQ(address.path, "\\\\.\\COM12") << name;
    EXPECT_EQ(address.number, 12u) << name;
  }
  EXPECT_EQ(ToPortAddress(PortEntry{"cli", "COM3"}).path, "\\\\.\\COM3");
  EXPECT_EQ(ToPortAddress(PortEntry{"cli", "COM123"}).number, 123u);
}

struct Listener final : IPortListener {
  void OnReceive(std::span<const uint8_t>& input) override { input = {}; }
  void OnMonitorEnded(const MonitorEnd&) override {}
};

TEST(Win32PortOpen, APortThatIsNotThereOrAFileIsRefusedInWordsForAPerson) {
  Listener listener;
  CSerialPort port;
  EXPECT_FALSE(port.Open(&listener, ToPortAddress(PortEntry{"cli", "COM197"}), 9600, 'N', 8, 1,
                         1, 512));
  EXPECT_EQ(port.LastOpenError(), "COM197: no such device (unplugged?)");
  EXPECT_FALSE(port.IsOpen());

  wchar_t folder[MAX_PATH];
  wchar_t file[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
  ASSERT_NE(GetTempFileNameW(folder, L"orv", 0, file), 0u);
  const std::string path = platform::Utf8(file);
  EXPECT_FALSE(port.Open(&listener, PortAddress{path, 0}, 9600, 'N', 8, 1, 1, 512));
  EXPECT_EQ(port.LastOpenError(), path + ": not a serial port");
  EXPECT_FALSE(port.IsOpen());
  DeleteFileW(file);
}

// A key of the test's own under HKEY_LOCAL_MACHINE, filled as a driver
// fills the SERIALCOMM map, and removed again.
class RegistryPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    m_path = "SOFTWARE\\Orvana tests\\SERIALCOMM " + std::to_string(GetCurrentProcessId());
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, platform::Wide(m_path).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &m_key, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    if (m_key != nullptr) RegCloseKey(m_key);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, platform::Wide(m_path).c_str());
    // Left alone while another run's key is still in it.
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvana tests");
  }
  void Add(const std::string& name, const std::string& port) {
    const std::wstring data = platform::Wide(port);
    ASSERT_EQ(RegSetValueExW(m_key, platform::Wide(name).c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }

  std::string m_path;
  HKEY m_key = nullptr;
};

TEST_F(RegistryPorts, EachValueIsAPortInNaturalOrderOfItsName) {
  Add("\\Device\\Serial10", "COM10");
  Add("\\Device\\VCP0", "COM2");
  Add("\\Device\\Prüfplatz", "COM3");  // the device's name comes back as UTF-8
  Add("\\Device\\Forged", "COM4\tforged");
  const DWORD number = 5;
  ASSERT_EQ(RegSetValueExW(m_key, L"\\Device\\NotText", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&number), sizeof number),
            ERROR_SUCCESS);

  DiscoveryRoots roots;
  roots.registryKey = m_path;
  const std::vector<PortEntry> expected = {{"\\Device\\VCP0", "COM2"},
                                           {"\\Device\\Prüfplatz", "COM3"},
                                           {"\\Device\\Serial10", "COM10"}};
  EXPECT_EQ(DiscoverPorts(roots), expected);

  roots.registryKey += " missing";
  EXPECT_TRUE(DiscoverPorts(roots).empty());
}

}  // namespace
}  // namespace orvana::link
