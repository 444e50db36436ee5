#pragma once

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/event_fd.h"
#include "link/polled_transport.h"
#include "link/serial_transport.h"
#include "link_test_support.h"
#include "support/pty_pair.h"

// A transport over a pseudo-terminal, run as its program runs it: the
// monitor-thread runner with the receiving thread's event loop draining
// whenever it is woken (the window), or the program's own poll loop servicing
// the line (the headless station). The tests that hold for both take the
// runner as their parameter; what the handlers see is recorded on the test's
// own thread, which is the receiving thread or runs the poll loop.
namespace orvana::link::testing {

enum class Runner { kMonitorThread, kPolled };

inline std::string RunnerName(const ::testing::TestParamInfo<Runner>& info) {
  return info.param == Runner::kMonitorThread ? "MonitorThread" : "Polled";
}

inline constexpr uint32_t kProgramMask = kEventRxChar | kEventRxFlag;

class LineUnderTest {
 public:
  explicit LineUnderTest(Runner runner) : m_runner(runner) {
    LineHandlers handlers{[this](uint8_t byte) { OnByte(byte); },
                          [this](const std::string& reason) { lost.push_back(reason); }};
    if (runner == Runner::kMonitorThread) {
      m_wake.CreateOrReset();
      m_threaded =
          std::make_unique<SerialTransport>(std::move(handlers), [this] { m_wake.Signal(); });
    } else {
      m_polled = std::make_unique<PolledTransport>(std::move(handlers));
    }
  }

  Runner Kind() const { return m_runner; }
  ITransport& Transport() {
    if (m_threaded) return *m_threaded;
    return *m_polled;
  }
  bool Open(uint32_t mask = kProgramMask, int bufferSize = 64, unsigned number = 3) {
    return OpenOn(pty, mask, bufferSize, number);
  }
  bool OpenOn(const orvana::testing::PtyPair& line, uint32_t mask = kProgramMask,
              int bufferSize = 64, unsigned number = 3) {
    LineSettings settings;
    settings.eventMask = mask;
    settings.writeBufferSize = bufferSize;
    return Transport().Open(PortAddress{line.SlavePath(), number}, settings);
  }
  bool OpenAndStart() { return Open() && Transport().StartMonitor(); }
  bool IsMonitoring() const {
    return m_threaded ? m_threaded->IsMonitoring() : m_polled->IsMonitoring();
  }
  const CSerialPort& Port() const { return m_threaded ? m_threaded->Port() : m_polled->Port(); }
  // Ends the transport, monitor and all, from the receiving thread.
  void Destroy() {
    m_threaded.reset();
    m_polled.reset();
  }

  // The program's loop: hands on what arrives until `done` holds; false when
  // the patience ran out first.
  bool Pump(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      Round(10);
    }
    return true;
  }
  // One round of the program's loop that does not wait; what it handed on.
  size_t DrainNow() { return Round(0); }
  // What the meter receives within the patience, the program's loop running
  // meanwhile.
  std::vector<uint8_t> MeterReceives(size_t count) {
    std::vector<uint8_t> got;
    Pump([&] {
      const auto more = pty.Receive(count - got.size(), std::chrono::milliseconds(5));
      got.insert(got.end(), more.begin(), more.end());
      return got.size() >= count;
    });
    return got;
  }
  // Waits until `count` bytes that the meter sent will reach the program in
  // one piece: held by the relay, or waiting in the driver for the loop's
  // next read.
  bool WaitUntilReadable(size_t count) {
    return WaitUntil([&] {
      return m_threaded ? m_threaded->HeldBytes() >= count
                        : Port().BytesWaiting() >= static_cast<int>(count);
    });
  }
  // The trace lines a runner writes as its monitor starts and ends.
  const char* StartedTrace() const {
    return m_threaded ? "Thread started\n" : "Monitor started on the program's poll loop\n";
  }
  const char* EndedTrace() const { return m_threaded ? "Thread ended\n" : "Monitor ended\n"; }

  orvana::testing::PtyPair pty;
  // Called after each byte is recorded.
  std::function<void(uint8_t)> onByte;
  // Every byte handed on, in order.
  std::vector<uint8_t> received;
  std::vector<std::string> lost;

 private:
  void OnByte(uint8_t byte) {
    received.push_back(byte);
    if (onByte) onByte(byte);
  }

  size_t Round(int milliseconds) {
    if (m_threaded) {
      pollfd ready{static_cast<int>(m_wake.Native()), POLLIN, 0};
      if (poll(&ready, 1, milliseconds) > 0) m_wake.Reset();
      return m_threaded->Drain();
    }
    pollfd line = m_polled->LineWait();
    if (poll(&line, 1, m_polled->Due() ? 0 : milliseconds) < 0) return 0;
    return m_polled->Service(line.revents);
  }

  Runner m_runner;
  // Made before the transport and so closed after it: its monitor may still
  // be waking the receiving thread until it has been joined.
  EventFd m_wake;
  std::unique_ptr<SerialTransport> m_threaded;
  std::unique_ptr<PolledTransport> m_polled;
};

}  // namespace orvana::link::testing
