#include "link/serial_port.h"

#include <algorithm>
#include <chrono>

#include "common/trace.h"

namespace orvana::link {
namespace {

using common::Trace;

// The write time-out of the port: a constant plus so much per byte.
constexpr std::chrono::milliseconds kWriteTotalConstant{1000};
constexpr std::chrono::milliseconds kWriteTotalMultiplier{1000};

// Every event bit a port can be asked to signal; anything beyond is refused
// the way the meter software's own serial layer refused it.
constexpr uint32_t kKnownEventBits = 0x1FFF;

}  // namespace

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort() {
  std::lock_guard lock(m_lock);
  CloseDevice();
}

bool CSerialPort::Open(IPortListener* listener, const PortAddress& port, int baudRate, char parity,
                       int dataBits, int stopBits, uint32_t eventMask, int writeBufferSize) {
  m_shutdownRequested = false;
  m_listener = listener;
  m_writeBufferSize = std::max(writeBufferSize, 0);
  m_writeBuffer.assign(static_cast<size_t>(m_writeBufferSize), 0);
  m_portNumber = port.number;
  m_eventMask = 0;

  std::lock_guard lock(m_lock);
  m_writePending = false;
  CloseDevice();
  if (!m_device.Open(port.path, m_lastOpenError)) return false;

  // The configuration goes as far as it can; the first step that fails is
  // reported and the port stays open with whatever took effect.
  if ((eventMask & ~kKnownEventBits) != 0) {
    ReportError("SetCommMask()", SerialDevice::kInvalidArgument);
  } else {
    m_eventMask = eventMask;
    ConfigureLine(baudRate, parity, dataBits, stopBits);
  }

  m_device.Purge();
  Trace("Initialisation for communicationport %d completed.\nUse Startmonitor to communicate.\n",
        static_cast<int>(m_portNumber));
  return true;
}

void CSerialPort::ConfigureLine(int baudRate, char parity, int dataBits, int stopBits) {
  const DeviceSetup setup = m_device.Configure(baudRate, parity, dataBits, stopBits);
  if (setup.failedStep != nullptr) ReportError(setup.failedStep, setup.error);
  if (!setup.note.empty()) {
    Trace("Port %d: %s.\n", static_cast<int>(m_portNumber), setup.note.c_str());
  }
}

void CSerialPort::Write(const uint8_t* bytes, size_t length) { QueueWrite(bytes, length, true); }

void CSerialPort::WriteKeepingInput(const uint8_t* bytes, size_t length) {
  QueueWrite(bytes, length, false);
}

void CSerialPort::QueueWrite(const uint8_t* bytes, size_t length, bool purge) {
  if (length > m_writeBuffer.size() || (bytes == nullptr && length > 0)) {
    Trace(
        "WARNING: Write() refused: %zu bytes do not fit the write buffer of %zu bytes.\nPort: %d\n",
        length, m_writeBuffer.size(), static_cast<int>(m_portNumber));
    return;
  }
  std::lock_guard lock(m_lock);
  std::copy_n(bytes, length, m_writeBuffer.begin());
  m_writeLength = static_cast<uint32_t>(length);
  m_writePurges = purge;
  m_writePending = true;
}

void CSerialPort::Stop() { m_shutdownRequested = true; }

bool CSerialPort::IsOpen() const { return m_device.IsOpen(); }

int CSerialPort::BytesWaiting() const {
  std::lock_guard lock(m_lock);
  return m_device.BytesWaiting();
}

LineWaitEntry CSerialPort::NoLineWait() { return SerialDevice::NoWait(); }

bool CSerialPort::BeginMonitor(intptr_t stopEvent) {
  if (!IsOpen()) return false;  // nothing to watch
  m_stopEvent = stopEvent;
  m_watchInput = (m_eventMask & kEventRxChar) != 0;
  m_input = {};
  ++m_monitor;
  {
    // The monitor starts on a clean line. Purging here, before the runner
    // returns, means a byte that arrives once it has returned is never lost.
    std::lock_guard lock(m_lock);
    m_device.Purge();
  }
  ArmRead();
  return true;
}

void CSerialPort::ArmRead() {
  if (!m_watchInput || !m_input.empty()) return;
  std::lock_guard lock(m_lock);
  m_device.ArmRead();
}

void CSerialPort::EndMonitor() {
  if (IsOpen()) FinishMonitor(MonitorEnd{});
}

void CSerialPort::MonitorPass(LineEvents lineEvents) {
  if (!IsOpen()) return;
  if (m_shutdownRequested) {
    FinishMonitor(MonitorEnd{});
    return;
  }
  const uint64_t monitor = m_monitor;
  // Bytes of an earlier read that the listener left for a write first.
  if (!HandOnInput(monitor)) return;

  const LineSignal signal = m_device.Signal(lineEvents);
  if (signal == LineSignal::kHungUp) {
    // What the device sent before it went is still worth having: the
    // listener takes it all, as nothing more can follow.
    ReceiveResult last = ReceiveResult::kHandedOn;
    while (m_watchInput && last == ReceiveResult::kHandedOn) last = ReceiveStep(monitor);
    if (last == ReceiveResult::kMonitorOver) return;
    if (last != ReceiveResult::kGone) ReportGone("the line hung up", 0);
    FinishMonitor(MonitorEnd{true, kPortGoneReason});
    return;
  }
  if (signal == LineSignal::kInput) {
    const ReceiveResult received = ReceiveStep(monitor);
    if (received == ReceiveResult::kMonitorOver) return;
    if (received == ReceiveResult::kGone) {
      FinishMonitor(MonitorEnd{true, kPortGoneReason});
      return;
    }
  }
  // A write that was already waiting goes out in this pass too, after the
  // read: a steady stream of input must not starve the commands.
  if (m_writePending && !m_shutdownRequested) WriteStep();
  if (m_shutdownRequested) {
    FinishMonitor(MonitorEnd{});
    return;
  }
  ArmRead();
}

bool CSerialPort::HandOnInput(uint64_t monitor) {
  while (!m_input.empty()) {
    const size_t before = m_input.size();
    m_listener->OnReceive(m_input);
    if (m_monitor != monitor) return false;
    if (m_input.empty()) break;
    if (m_shutdownRequested) {
      // Asked to stop: the rest of the read goes with the monitor.
      FinishMonitor(MonitorEnd{});
      return false;
    }
    if (m_writePending) {
      WriteStep();
    } else if (m_input.size() == before) {
      break;  // a listener that takes nothing now is offered the rest at the next pass
    }
  }
  return true;
}

CSerialPort::ReceiveResult CSerialPort::ReceiveStep(uint64_t monitor) {
  if (!m_input.empty()) return ReceiveResult::kNothing;
  DeviceRead read;
  {
    std::lock_guard lock(m_lock);
    read = m_device.Read();
  }
  if (!read.lineErrors.empty()) {
    Trace("WARNING: Port %d: line errors (%s).\n", static_cast<int>(m_portNumber),
          read.lineErrors.c_str());
  }
  if (read.status == DeviceRead::kNothing) return ReceiveResult::kNothing;
  if (read.status == DeviceRead::kGone) {
    if (read.error != 0) ReportError("ReadFile()", read.error);
    ReportGone(read.why, read.error);
    return ReceiveResult::kGone;
  }
  if (m_listener == nullptr || m_shutdownRequested) return ReceiveResult::kHandedOn;
  m_input = read.bytes;
  return HandOnInput(monitor) ? ReceiveResult::kHandedOn : ReceiveResult::kMonitorOver;
}

void CSerialPort::WriteStep() {
  uint32_t length = 0;
  size_t sent = 0;
  int error = 0;
  {
    std::lock_guard lock(m_lock);
    if (!m_writePending) return;
    m_writePending = false;
    length = m_writeLength;
    if (!m_device.IsOpen()) {
      error = SerialDevice::kNotOpen;
    } else {
      if (m_writePurges) {
        // Bytes already read but not yet handed on count as received before
        // the write just as much as those still in the driver.
        m_device.Purge();
        m_input = {};
        if (m_listener != nullptr) m_listener->OnInputPurged();
      }
      const auto deadline =
          std::chrono::steady_clock::now() + kWriteTotalConstant + kWriteTotalMultiplier * length;
      error = m_device.Write(m_writeBuffer.data(), length, deadline, m_stopEvent, sent);
    }
  }
  if (error != 0) ReportError("WriteFile()", error);
  if (sent != length) {
    Trace("WARNING: WriteFile() error.. Bytes Sent: %d; Message Length: %d\n",
          static_cast<int>(sent), static_cast<int>(length));
  }
}

void CSerialPort::FinishMonitor(MonitorEnd end) {
  {
    std::lock_guard lock(m_lock);
    CloseDevice();
  }
  m_input = {};
  // A stop that was asked for is no loss, even when the line went with it.
  if (m_shutdownRequested) end = MonitorEnd{};
  if (m_listener != nullptr) m_listener->OnMonitorEnded(end);
}

void CSerialPort::CloseDevice() {
  if (!m_device.IsOpen()) return;
  ++m_monitor;
  m_device.Close();
}

void CSerialPort::ReportError(const char* step, int error) const {
  Trace("WARNING:  %s Failed with the following error: \n%s\nPort: %d\n", step,
        SerialDevice::ErrorText(error).c_str(), static_cast<int>(m_portNumber));
}

void CSerialPort::ReportGone(const char* why, int error) const {
  if (error != 0) {
    Trace("WARNING: Port %d has gone (%s: %s); the monitor ends.\n", static_cast<int>(m_portNumber),
          why, SerialDevice::ErrorText(error).c_str());
  } else {
    Trace("WARNING: Port %d has gone (%s); the monitor ends.\n", static_cast<int>(m_portNumber),
          why);
  }
}

}  // namespace orvana::link
