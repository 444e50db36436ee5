// The Windows link against a real line: two COM ports joined by socat
// (tests/link/win32/wine_line.sh makes them), one opened as the meter with
// plain Win32 calls, the other through the program's transports.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "link/polled_transport.h"
#include "link/port_discovery.h"
#include "link/serial_transport.h"
#include "platform/win32/wide.h"

namespace orvana::link {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kPatience{5};

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::string Setting(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// ORVANA_LINE_PORT and ORVANA_LINE_METER name the two ends (COM61),
// ORVANA_LINE_HANGUP the file whose appearance makes the script end socat
// and start it anew; it removes the file once the line is back.
struct Line {
  std::string port = Setting("ORVANA_LINE_PORT");
  std::string meter = Setting("ORVANA_LINE_METER");
  std::string hangUp = Setting("ORVANA_LINE_HANGUP");
};

bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = Clock::now() + kPatience;
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// The meter's end, as any Windows program would drive it: blocking calls,
// 9600 8N1, reads that give up after a short while.
class Meter {
 public:
  explicit Meter(const std::string& name) {
    const auto deadline = Clock::now() + kPatience;
    do {
      m_handle = CreateFileW(platform::Wide("\\\\.\\" + name).c_str(),
                             GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
      if (m_handle != INVALID_HANDLE_VALUE) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (Clock::now() < deadline);
    if (m_handle == INVALID_HANDLE_VALUE) return;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(m_handle, &dcb);
    dcb.BaudRate = CBR_9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    SetCommState(m_handle, &dcb);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 50;
    timeouts.ReadTotalTimeoutConstant = 200;
    SetCommTimeouts(m_handle, &timeouts);
  }
  ~Meter() {
    if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
  }
  bool Ready() const { return m_handle != INVALID_HANDLE_VALUE; }
  void Send(const std::string& text) {
    DWORD written = 0;
    WriteFile(m_handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
  // Up to `count` bytes, or what came before the patience ran out.
  std::vector<uint8_t> Receive(size_t count) {
    std::vector<uint8_t> got;
    const auto deadline = Clock::now() + kPatience;
    while (got.size() < count && Clock::now() < deadline) {
      uint8_t chunk[256];
      DWORD n = 0;
      if (!ReadFile(m_handle, chunk, static_cast<DWORD>(std::min<size_t>(sizeof chunk,
                                                                          count - got.size())),
                    &n, nullptr)) {
        if (GetLastError() != ERROR_TIMEOUT) break;
      }
      got.insert(got.end(), chunk, chunk + n);
    }
    return got;
  }
  // What arrives within a short while; nothing is what a purge leaves.
  std::vector<uint8_t> Quiet() {
    uint8_t chunk[256];
    DWORD n = 0;
    ReadFile(m_handle, chunk, sizeof chunk, &n, nullptr);
    return {chunk, chunk + n};
  }

 private:
  HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// orvana-cli's loop: it waits on the line's event beside its own, and tells
// the pass whether the event was set.
struct PolledLine {
  PolledLine()
      : transport(LineHandlers{[this](uint8_t byte) { got.push_back(byte); },
                               [this](const std::string& reason) { lost.push_back(reason); }}) {}

  bool Open(const std::string& name) {
    return transport.Open(ToPortAddress(PortEntry{"test", name}), LineSettings{}) &&
           transport.StartMonitor();
  }
  bool Run(const std::function<bool()>& done) {
    const auto deadline = Clock::now() + kPatience;
    while (!done()) {
      if (Clock::now() > deadline) return false;
      RunOnce(transport.Due() ? 0 : 10);
    }
    return true;
  }
  void RunOnce(DWORD timeout) {
    const HANDLE event = static_cast<HANDLE>(transport.LineWait().event);
    if (event == nullptr) {
      Sleep(timeout);
      transport.Service(false);
      return;
    }
    WaitForSingleObject(event, timeout);
    transport.Service(WaitForSingleObject(event, 0) == WAIT_OBJECT_0);
  }

  std::vector<uint8_t> got;
  std::vector<std::string> lost;
  PolledTransport transport;
};

TEST(LineOnWine, TheListedPortOpensAndBytesPassBothWaysWithTheProgramsLoop) {
  const Line line;
  // The script entered the port in the system's map, as a driver would.
  const std::vector<PortEntry> listed = DiscoverPorts(DiscoveryRoots::System());
  const auto entry = std::find_if(listed.begin(), listed.end(),
                                  [&](const PortEntry& e) { return e.designation == line.port; });
  ASSERT_NE(entry, listed.end()) << "the map lists " << listed.size() << " ports";
  EXPECT_EQ(entry->deviceName, "\\Device\\OrvanaLine" + line.port.substr(3));

  Meter meter(line.meter);
  ASSERT_TRUE(meter.Ready());
  PolledLine polled;
  ASSERT_TRUE(polled.transport.Open(ToPortAddress(*entry), LineSettings{}))
      << polled.transport.LastOpenError();
  ASSERT_TRUE(polled.transport.StartMonitor());

  meter.Send("first frame");
  ASSERT_TRUE(polled.Run([&] { return polled.got.size() == 11; }));
  // A line quiet for longer than a read in flight lasts is still up: a read
  // that ends with nothing is no loss.
  const auto quietUntil = Clock::now() + std::chrono::milliseconds(800);
  ASSERT_TRUE(polled.Run([&] { return Clock::now() > quietUntil; }));
  ASSERT_TRUE(polled.lost.empty()) << polled.lost[0];
  meter.Send("second");
  ASSERT_TRUE(polled.Run([&] { return polled.got.size() == 17; }));
  EXPECT_EQ(polled.got, Bytes("first framesecond"));

  const auto command = Bytes("P\x03\x01");
  polled.transport.Write(command.data(), command.size());
  EXPECT_TRUE(polled.transport.Due());
  polled.RunOnce(0);
  EXPECT_EQ(meter.Receive(command.size()), command);
  EXPECT_TRUE(polled.lost.empty());
}

TEST(LineOnWine, BytesPassBothWaysWithTheMonitorThread) {
  const Line line;
  Meter meter(line.meter);
  ASSERT_TRUE(meter.Ready());
  std::vector<uint8_t> got;
  HANDLE wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  SerialTransport transport(LineHandlers{[&](uint8_t byte) { got.push_back(byte); }, {}},
                            [wake] { SetEvent(wake); });
  ASSERT_TRUE(transport.Open(ToPortAddress(PortEntry{"test", line.port}), LineSettings{}))
      << transport.LastOpenError();
  ASSERT_TRUE(transport.StartMonitor());

  meter.Send("from the meter");
  const auto deadline = Clock::now() + kPatience;
  while (got.size() < 14 && Clock::now() < deadline) {
    WaitForSingleObject(wake, 50);
    transport.Drain();
  }
  EXPECT_EQ(got, Bytes("from the meter"));
  // Quiet for longer than a read in flight lasts: the monitor carries on.
  Sleep(800);
  EXPECT_TRUE(transport.IsMonitoring());

  const auto command = Bytes("upload");
  transport.Write(command.data(), command.size());
  EXPECT_EQ(meter.Receive(command.size()), command);
  // A stop ends the monitor thread at once, though its read is in flight.
  transport.Stop();
  EXPECT_TRUE(WaitUntil([&] { return !transport.IsMonitoring(); }));
  CloseHandle(wake);
}

// What the read in flight took before a purging write counts as received
// before it: the write discards it, as it discards the driver's bytes, and
// the line carries on; a keeping write leaves the driver's bytes alone.
TEST(LineOnWine, APurgingWriteDiscardsWhatTheReadInFlightTookAndIsNoLoss) {
  const Line line;
  Meter meter(line.meter);
  ASSERT_TRUE(meter.Ready());
  PolledLine polled;
  ASSERT_TRUE(polled.Open(line.port)) << polled.transport.LastOpenError();
  polled.RunOnce(0);

  meter.Send("stale");
  const HANDLE event = static_cast<HANDLE>(polled.transport.LineWait().event);
  ASSERT_NE(event, nullptr);
  ASSERT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0) << "the read never completed";
  const auto command = Bytes("C");
  polled.transport.Write(command.data(), command.size());
  // The loop's own wake-up came first: the pass does the write before it
  // looks at the line.
  polled.transport.Service(false);
  EXPECT_EQ(meter.Receive(1), command);

  meter.Send("fresh");
  ASSERT_TRUE(polled.Run([&] { return polled.got.size() >= 5; }));
  EXPECT_EQ(polled.got, Bytes("fresh"));
  EXPECT_TRUE(polled.lost.empty());
}

TEST(LineOnWine, AWriteWithoutAReaderPurgesOrKeepsTheDriversBytes) {
  const Line line;
  Meter meter(line.meter);
  ASSERT_TRUE(meter.Ready());
  for (const bool purge : {true, false}) {
    SCOPED_TRACE(purge ? "Write" : "WriteKeepingInput");
    PolledLine polled;
    LineSettings settings;
    settings.eventMask = kEventRxFlag;  // nothing reads the line
    ASSERT_TRUE(polled.transport.Open(ToPortAddress(PortEntry{"test", line.port}), settings));
    ASSERT_TRUE(polled.transport.StartMonitor());
    EXPECT_EQ(polled.transport.LineWait().event, nullptr);
    meter.Send("unread");
    ASSERT_TRUE(WaitUntil([&] { return polled.transport.Port().BytesWaiting() == 6; }));
    const auto keepAlive = Bytes("KA");
    if (purge) {
      polled.transport.Write(keepAlive.data(), keepAlive.size());
    } else {
      polled.transport.WriteKeepingInput(keepAlive.data(), keepAlive.size());
    }
    polled.RunOnce(0);
    EXPECT_EQ(meter.Receive(2), keepAlive);
    EXPECT_EQ(polled.transport.Port().BytesWaiting(), purge ? 0 : 6);
  }
}

// The far end goes: the loss is told once, with words for a person, the line
// is no longer waited on, and once it is back the port opens again.
TEST(LineOnWine, AFarEndThatGoesIsALostLinkToldOnceAndThePortOpensAgain) {
  const Line line;
  PolledLine polled;
  {
    Meter meter(line.meter);
    ASSERT_TRUE(meter.Ready());
    ASSERT_TRUE(polled.Open(line.port)) << polled.transport.LastOpenError();
    meter.Send("last words");
    ASSERT_TRUE(polled.Run([&] { return polled.got.size() == 10; }));

    const std::wstring request = platform::Wide(line.hangUp);
    const HANDLE file = CreateFileW(request.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    ASSERT_TRUE(polled.Run([&] { return !polled.lost.empty(); }));
    for (int i = 0; i < 5; ++i) polled.RunOnce(10);
    ASSERT_EQ(polled.lost.size(), 1u);
    EXPECT_EQ(polled.lost[0], kPortGoneReason);
    EXPECT_FALSE(polled.transport.IsMonitoring());
    EXPECT_FALSE(polled.transport.Port().IsOpen());
    EXPECT_EQ(polled.transport.LineWait().event, nullptr);
    EXPECT_EQ(polled.got, Bytes("last words"));
    ASSERT_TRUE(WaitUntil([&] { return GetFileAttributesW(request.c_str()) ==
                                       INVALID_FILE_ATTRIBUTES; }))
        << "the line did not come back";
  }

  Meter meter(line.meter);
  ASSERT_TRUE(meter.Ready());
  ASSERT_TRUE(polled.Open(line.port)) << polled.transport.LastOpenError();
  meter.Send("again");
  ASSERT_TRUE(polled.Run([&] { return polled.got.size() == 15; }));
  EXPECT_EQ(polled.got, Bytes("last wordsagain"));
  const auto command = Bytes("E");
  polled.transport.Write(command.data(), command.size());
  polled.RunOnce(0);
  EXPECT_EQ(meter.Receive(1), command);
  EXPECT_EQ(polled.lost.size(), 1u);
}

}  // namespace
}  // namespace orvana::link
