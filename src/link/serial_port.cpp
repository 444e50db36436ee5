#include "link/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <system_error>

#include "common/trace.h"
#include "link/line_settings.h"

namespace orvana::link {
namespace {

using common::Trace;
using Clock = std::chrono::steady_clock;

// The write time-out of the port: a constant plus so much per byte.
constexpr std::chrono::milliseconds kWriteTotalConstant{1000};
constexpr std::chrono::milliseconds kWriteTotalMultiplier{1000};

constexpr const char* kNotASerialPort = "not a serial port";

// Every event bit a port can be asked to signal; anything beyond is refused
// the way the meter software's own serial layer refused it.
constexpr uint32_t kKnownEventBits = 0x1FFF;

struct LineNotification {
  uint32_t bit;
  unsigned message;
};
// The order in which a line event reports the other masked events.
constexpr LineNotification kLineNotifications[] = {
    {EV_CTS, WM_COMM_CTS},   {EV_BREAK, WM_COMM_LINE_BREAK},  {EV_ERR, WM_COMM_LINE_ERROR},
    {EV_RING, WM_COMM_RING}, {EV_RXFLAG, WM_COMM_EVENT_CHAR},
};

std::string ErrorText(int error) {
  char buffer[256];
  return strerror_r(error, buffer, sizeof buffer);
}

void SignalEvent(int event) {
  if (event < 0) return;
  const uint64_t one = 1;
  // The counter cannot overflow with a handful of signals, and a failed
  // signal on a valid eventfd has no other cause.
  [[maybe_unused]] const ssize_t written = write(event, &one, sizeof one);
}

void ResetEvent(int event) {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(event, &count, sizeof count);
}

bool CreateOrReset(int& event) {
  if (event >= 0) {
    ResetEvent(event);
    return true;
  }
  event = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  return event >= 0;
}

std::string OpenFailure(const std::string& path, int error) {
  switch (error) {
    case EACCES:
    case EPERM:
      return path + ": permission denied (is the user in the dialout group?)";
    case EBUSY:
    case EWOULDBLOCK:
      return path + ": the port is in use by another program";
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return path + ": no such device (unplugged?)";
    default:
      return path + ": " + ErrorText(error);
  }
}

// Writes all of `data` to the non-blocking `fd`, waiting for room until the
// deadline. A signal on `cancel` (the shutdown event) gives up at once.
// Returns 0 or the error that stopped it; `sent` tells how far it got.
int WriteAll(int fd, const uint8_t* data, size_t length, Clock::time_point deadline, int cancel,
             size_t& sent) {
  sent = 0;
  while (sent < length) {
    const ssize_t n = write(fd, data + sent, length - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return errno;
    for (;;) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return ETIMEDOUT;
      pollfd waits[2] = {{fd, POLLOUT, 0}, {cancel, POLLIN, 0}};
      const int ready = poll(waits, 2, static_cast<int>(std::min<int64_t>(left.count(), INT_MAX)));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return errno;
      if (ready == 0) return ETIMEDOUT;
      if (waits[1].revents != 0) return ECANCELED;
      if ((waits[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return EIO;
      break;
    }
  }
  return 0;
}

}  // namespace

void ResumeReading::operator()() const { SignalEvent(m_event); }

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort() {
  EndMonitor();
  {
    std::lock_guard lock(m_lock);
    CloseDevice();
  }
  for (int event : {m_writeEvent, m_shutdownEvent, m_resumeEvent}) {
    if (event >= 0) close(event);
  }
}

bool CSerialPort::Open(ISerialOwner* owner, const PortAddress& port, int baudRate, char parity,
                       int dataBits, int stopBits, uint32_t eventMask, int writeBufferSize) {
  EndMonitor();

  if (!CreateOrReset(m_writeEvent) || !CreateOrReset(m_shutdownEvent) ||
      !CreateOrReset(m_resumeEvent)) {
    m_lastOpenError = port.path + ": " + ErrorText(errno);
    return false;
  }
  m_shutdownRequested = false;

  m_owner = owner;
  m_writeBufferSize = std::max(writeBufferSize, 0);
  m_writeBuffer.assign(static_cast<size_t>(m_writeBufferSize), 0);
  m_portNumber = port.number;
  m_eventMask = 0;

  std::lock_guard lock(m_lock);
  m_writePending = false;
  CloseDevice();

  // Only a terminal is a port. Anything else would be read as if the meter
  // had sent it, and the greeting written into it: a file is not even
  // opened, and a device that is not a terminal (/dev/null, /dev/zero) is
  // let go again at once.
  struct stat info {};
  if (stat(port.path.c_str(), &info) == 0 && !S_ISCHR(info.st_mode)) {
    m_lastOpenError = port.path + ": " + kNotASerialPort;
    return false;
  }
  const int fd = open(port.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    m_lastOpenError = OpenFailure(port.path, errno);
    return false;
  }
  if (!isatty(fd)) {
    m_lastOpenError = port.path + ": " + kNotASerialPort;
    close(fd);
    return false;
  }
  // TIOCEXCL turns away later opens by ordinary users, but not root's; the
  // lock turns away every program that asks for it, this one included.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    m_lastOpenError = OpenFailure(port.path, errno);
    close(fd);
    return false;
  }
  ioctl(fd, TIOCEXCL);
  m_hPort = fd;
  m_lastOpenError.clear();

  // The configuration goes as far as it can; the first step that fails is
  // reported and the port stays open with whatever took effect. The
  // time-outs need no step of their own: the write time-out bounds WriteAll,
  // and reads are only made when bytes are waiting.
  if ((eventMask & ~kKnownEventBits) != 0) {
    ReportError("SetCommMask()", EINVAL);
  } else {
    m_eventMask = eventMask;
    ConfigureLine(fd, baudRate, parity, dataBits, stopBits);
  }

  tcflush(fd, TCIOFLUSH);
  Trace("Initialisation for communicationport %d completed.\nUse Startmonitor to communicate.\n",
        static_cast<int>(m_portNumber));
  return true;
}

void CSerialPort::ConfigureLine(int fd, int baudRate, char parity, int dataBits,
                                int stopBits) const {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) {
    ReportError("GetCommState()", errno);
    return;
  }
  if (const int error = ApplyLineSettings(settings, baudRate, parity, dataBits, stopBits);
      error != 0) {
    ReportError("BuildCommDCB()", error);
    return;
  }
  if (tcsetattr(fd, TCSANOW, &settings) != 0) {
    ReportError("SetCommState()", errno);
    return;
  }
  const int rts = TIOCM_RTS;
  if (ioctl(fd, TIOCMBIS, &rts) != 0) {
    // Pseudo-terminals and some virtual ports have no modem lines at all;
    // the meter does not need RTS to talk, so this is only worth a note.
    Trace("Port %d: RTS not raised (%s).\n", static_cast<int>(m_portNumber),
          ErrorText(errno).c_str());
  }
}

bool CSerialPort::StartMonitor(MonitorMode mode) {
  if (m_monitoring) return true;  // one monitor per port
  // A monitor that ended by itself (Stop, vanished device) is only reaped.
  if (m_monitorThread.joinable()) m_monitorThread.join();
  if (!IsOpen()) return false;  // nothing to watch
  {
    // The monitor starts on a clean line. Purging here rather than on the
    // new thread means a byte that arrives once this returns is never lost.
    std::lock_guard lock(m_lock);
    tcflush(m_hPort, TCIOFLUSH);
  }
  m_watchInput = (m_eventMask & EV_RXCHAR) != 0;
  m_ownerFull = false;
  m_readBuffer.resize(kReadChunk);
  m_mode = mode;
  m_monitoring = true;
  if (mode == MonitorMode::kOwnerLoop) {
    Trace("Monitor started on the owner's loop\n");
    return true;
  }
  try {
    m_monitorThread = std::thread([this] { MonitorThread(); });
  } catch (const std::system_error&) {
    m_monitoring = false;
    return false;
  }
  Trace("Thread started\n");
  return true;
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
  if (m_writeEvent < 0) return;
  {
    std::lock_guard lock(m_lock);
    std::copy_n(bytes, length, m_writeBuffer.begin());
    m_writeLength = static_cast<uint32_t>(length);
    m_writePurges = purge;
    m_writePending = true;
  }
  SignalEvent(m_writeEvent);
}

void CSerialPort::Stop() {
  if (m_shutdownEvent < 0) return;
  m_shutdownRequested = true;
  SignalEvent(m_shutdownEvent);
}

bool CSerialPort::IsOpen() const { return m_hPort.load() >= 0; }

int CSerialPort::BytesWaiting() const {
  std::lock_guard lock(m_lock);
  int waiting = 0;
  if (m_hPort < 0 || ioctl(m_hPort, FIONREAD, &waiting) != 0) return -1;
  return waiting;
}

void CSerialPort::EndMonitor() {
  if (m_mode == MonitorMode::kOwnerLoop) {
    if (!m_monitoring) return;
    m_shutdownRequested = true;
    FinishMonitor(MonitorEnd{});
    if (m_owner != nullptr) m_owner->OnMonitorStopped();
    Trace("Monitor ended\n");
    return;
  }
  if (!m_monitorThread.joinable()) return;
  m_shutdownRequested = true;
  SignalEvent(m_shutdownEvent);
  // The monitor never waits for its owner, so it is soon out of its loop.
  m_monitorThread.join();
  if (m_owner != nullptr) m_owner->OnMonitorStopped();
  Trace("Thread ended\n");
}

void CSerialPort::CloseDevice() {
  const int fd = m_hPort.exchange(-1);
  if (fd < 0) return;
  // Exclusivity outlives the descriptor on a terminal that someone else
  // keeps open; give it up so the next Open (ours or another program's) works.
  ioctl(fd, TIOCNXCL);
  close(fd);
}

void CSerialPort::FillWaits(MonitorWaitSet& waits) const {
  const short input = m_watchInput && !m_ownerFull ? POLLIN : 0;
  waits[0] = {m_shutdownEvent, POLLIN, 0};
  waits[1] = {m_hPort.load(), input, 0};
  waits[2] = {m_writeEvent, POLLIN, 0};
  waits[3] = {m_resumeEvent, POLLIN, 0};
  if (m_mode != MonitorMode::kOwnerLoop) return;
  // In the owner's loop only the owner stops, writes and makes room, so an
  // event it has not signalled cannot fire; leaving it out keeps the poll
  // that runs between every two frames short.
  if (!m_shutdownRequested) waits[0].fd = -1;
  if (!m_writePending) waits[2].fd = -1;
  if (!m_ownerFull) waits[3].fd = -1;
}

void CSerialPort::MonitorThread() {
  MonitorEnd end;
  while (!m_shutdownRequested) {
    MonitorWaitSet waits;
    FillWaits(waits);
    if (poll(waits, kMonitorWaitCount, -1) < 0) {
      if (errno == EINTR) continue;
      ReportError("WaitCommEvent()", errno);
      break;
    }
    if (!MonitorPass(waits, end)) break;
  }
  FinishMonitor(end);
}

void CSerialPort::MonitorWaits(MonitorWaitSet& waits) const {
  if (m_mode == MonitorMode::kOwnerLoop && m_monitoring) {
    FillWaits(waits);
    return;
  }
  for (pollfd& wait : waits) wait = {-1, 0, 0};
}

bool CSerialPort::RunMonitorPass(const MonitorWaitSet& waits) {
  if (m_mode != MonitorMode::kOwnerLoop || !m_monitoring) return false;
  MonitorEnd end;
  if (!m_shutdownRequested && MonitorPass(waits, end)) return true;
  FinishMonitor(end);
  return false;
}

void CSerialPort::CatchUp() {
  if (m_mode != MonitorMode::kOwnerLoop || !m_monitoring) return;
  if (m_shutdownRequested) {
    FinishMonitor(MonitorEnd{});
    return;
  }
  if (m_writePending && WriteStep()) m_ownerFull = false;
}

bool CSerialPort::MonitorPass(const MonitorWaitSet& waits, MonitorEnd& end) {
  if (waits[0].revents != 0 || m_shutdownRequested) return false;
  if ((waits[3].revents & POLLIN) != 0) {
    ResetEvent(m_resumeEvent);
    m_ownerFull = false;
  }

  const short line = waits[1].revents;
  if ((line & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    // What the device sent before it went is still worth having: the
    // owner takes it even when full, as nothing more can follow.
    ReceiveResult last = ReceiveResult::kHandedOver;
    while (m_watchInput &&
           (last == ReceiveResult::kHandedOver || last == ReceiveResult::kOwnerFull)) {
      last = ReceiveStep();
    }
    if (last != ReceiveResult::kGone) ReportGone("the line hung up", 0);
    end = MonitorEnd{true, kPortGoneReason};
    return false;
  }
  if ((line & POLLIN) != 0) {
    const ReceiveResult received = ReceiveStep();
    if (received == ReceiveResult::kGone) {
      end = MonitorEnd{true, kPortGoneReason};
      return false;
    }
    if (received == ReceiveResult::kOwnerFull) m_ownerFull = true;
    LineEventNotifications();
  }
  // A write that was already waiting goes out in this pass too, after the
  // line event: a steady stream of input must not starve the commands.
  if ((waits[2].revents & POLLIN) != 0 && !m_shutdownRequested) {
    if (WriteStep()) m_ownerFull = false;
  }
  return true;
}

void CSerialPort::FinishMonitor(MonitorEnd end) {
  {
    std::lock_guard lock(m_lock);
    CloseDevice();
  }
  // A stop that was asked for is no loss, even when the line went with it.
  if (m_shutdownRequested) end = MonitorEnd{};
  if (m_owner != nullptr) m_owner->OnMonitorEnded(end);
  m_monitoring = false;
}

CSerialPort::ReceiveResult CSerialPort::ReceiveStep() {
  // One read takes whatever is waiting. poll() said readable, so a read that
  // finds nothing at all means the device has gone (end of file).
  ssize_t n = 0;
  {
    std::lock_guard lock(m_lock);
    do {
      n = read(m_hPort, m_readBuffer.data(), m_readBuffer.size());
    } while (n < 0 && errno == EINTR);
  }
  if (n == 0) {
    ReportGone("end of file", 0);
    return ReceiveResult::kGone;
  }
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return ReceiveResult::kNothing;
    ReportError("ReadFile()", errno);
    ReportGone("read", errno);
    return ReceiveResult::kGone;
  }
  if (m_owner == nullptr || m_shutdownRequested) return ReceiveResult::kHandedOver;
  const bool more =
      m_owner->OnReceive(std::span<const uint8_t>(m_readBuffer.data(), static_cast<size_t>(n)),
                         ResumeReading(m_resumeEvent));
  return more ? ReceiveResult::kHandedOver : ReceiveResult::kOwnerFull;
}

void CSerialPort::LineEventNotifications() {
  // The configured mask decides, not what happened on the line: with the
  // program's mask every line event ends with WM_COMM_EVENT_CHAR.
  for (const LineNotification& notification : kLineNotifications) {
    if ((m_eventMask & notification.bit) != 0) Deliver(notification.message, 0);
  }
}

bool CSerialPort::WriteStep() {
  ResetEvent(m_writeEvent);
  uint32_t length = 0;
  size_t sent = 0;
  int error = 0;
  bool purged = false;
  {
    std::lock_guard lock(m_lock);
    if (!m_writePending) return false;
    m_writePending = false;
    length = m_writeLength;
    const int fd = m_hPort;
    if (fd < 0) {
      error = EBADF;
    } else {
      if (m_writePurges) {
        // Bytes already read but not yet handed on count as received before
        // the write just as much as those still in the driver.
        tcflush(fd, TCIOFLUSH);
        if (m_owner != nullptr) m_owner->OnInputPurged();
        purged = true;
      }
      const auto deadline = Clock::now() + kWriteTotalConstant + kWriteTotalMultiplier * length;
      error = WriteAll(fd, m_writeBuffer.data(), length, deadline, m_shutdownEvent, sent);
    }
  }
  if (error != 0) ReportError("WriteFile()", error);
  if (sent != length) {
    Trace("WARNING: WriteFile() error.. Bytes Sent: %d; Message Length: %d\n",
          static_cast<int>(sent), static_cast<int>(length));
  }
  Deliver(WM_COMM_WRITE_DONE, 0);
  return purged;
}

void CSerialPort::Deliver(unsigned message, unsigned wParam) {
  if (m_owner == nullptr || m_shutdownRequested) return;
  m_owner->OnCommNotification(CommNotification{message, wParam, m_portNumber});
}

void CSerialPort::ReportError(const char* step, int error) const {
  Trace("WARNING:  %s Failed with the following error: \n%s\nPort: %d\n", step,
        ErrorText(error).c_str(), static_cast<int>(m_portNumber));
}

void CSerialPort::ReportGone(const char* why, int error) const {
  if (error != 0) {
    Trace("WARNING: Port %d has gone (%s: %s); the monitor ends.\n", static_cast<int>(m_portNumber),
          why, ErrorText(error).c_str());
  } else {
    Trace("WARNING: Port %d has gone (%s); the monitor ends.\n", static_cast<int>(m_portNumber),
          why);
  }
}

}  // namespace orvana::link
