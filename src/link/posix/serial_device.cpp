#include "link/serial_device.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "common/error_text.h"
#include "link/posix/line_settings.h"
#include "link/posix/terminal_device.h"
#include "link/posix/timed_write.h"

namespace orvana::link {
namespace {

constexpr short kHungUp = POLLHUP | POLLERR | POLLNVAL;
// One read takes at most this much; what is left waits for the next pass.
constexpr size_t kReadChunk = 4096;

}  // namespace

const int SerialDevice::kInvalidArgument = EINVAL;
const int SerialDevice::kNotOpen = EBADF;

struct SerialDevice::State {
  // Written by the caller, read by IsOpen and WaitEntry from anywhere.
  std::atomic<int> fd{-1};
  std::vector<uint8_t> buffer = std::vector<uint8_t>(kReadChunk);
};

SerialDevice::SerialDevice() : m_state(std::make_unique<State>()) {}

SerialDevice::~SerialDevice() { Close(); }

bool SerialDevice::Open(const std::string& path, std::string& error) {
  Close();
  const int fd = OpenExclusiveTerminal(path, error);
  if (fd < 0) return false;
  m_state->fd = fd;
  return true;
}

void SerialDevice::Close() {
  const int fd = m_state->fd.exchange(-1);
  if (fd >= 0) CloseExclusiveTerminal(fd);
}

bool SerialDevice::IsOpen() const { return m_state->fd.load() >= 0; }

DeviceSetup SerialDevice::Configure(int baudRate, char parity, int dataBits, int stopBits) {
  const int fd = m_state->fd;
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return {"GetCommState()", errno, {}};
  if (const int error = ApplyLineSettings(settings, baudRate, parity, dataBits, stopBits);
      error != 0) {
    return {"BuildCommDCB()", error, {}};
  }
  if (tcsetattr(fd, TCSANOW, &settings) != 0) return {"SetCommState()", errno, {}};
  const int rts = TIOCM_RTS;
  if (ioctl(fd, TIOCMBIS, &rts) != 0) {
    // Pseudo-terminals and some virtual ports have no modem lines at all;
    // the meter does not need RTS to talk, so this is only worth a note.
    return {nullptr, 0, "RTS not raised (" + common::ErrorText(errno) + ")"};
  }
  return {};
}

void SerialDevice::Purge() {
  const int fd = m_state->fd;
  if (fd >= 0) tcflush(fd, TCIOFLUSH);
}

int SerialDevice::BytesWaiting() const {
  int waiting = 0;
  const int fd = m_state->fd;
  if (fd < 0 || ioctl(fd, FIONREAD, &waiting) != 0) return -1;
  return waiting;
}

LineWaitEntry SerialDevice::WaitEntry(bool watchInput) const {
  // poll() skips a negative descriptor; the hang-up is reported whatever
  // the events asked for.
  return {m_state->fd.load(), static_cast<short>(watchInput ? POLLIN : 0), 0};
}

LineWaitEntry SerialDevice::NoWait() { return {-1, 0, 0}; }

LineSignal SerialDevice::Signal(LineEvents events) const {
  if ((events & kHungUp) != 0) return LineSignal::kHungUp;
  if ((events & POLLIN) != 0) return LineSignal::kInput;
  return LineSignal::kQuiet;
}

void SerialDevice::ArmRead() {}

DeviceRead SerialDevice::Read() {
  // One read takes whatever is waiting. poll() said readable, so a read that
  // finds nothing at all means the device has gone (end of file).
  ssize_t n = 0;
  do {
    n = read(m_state->fd, m_state->buffer.data(), m_state->buffer.size());
  } while (n < 0 && errno == EINTR);
  DeviceRead result;
  if (n > 0) {
    result.status = DeviceRead::kData;
    result.bytes = std::span<const uint8_t>(m_state->buffer.data(), static_cast<size_t>(n));
  } else if (n == 0) {
    result.status = DeviceRead::kGone;
    result.why = "end of file";
  } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
    result.status = DeviceRead::kGone;
    result.error = errno;
    result.why = "read";
  }
  return result;
}

int SerialDevice::Write(const uint8_t* data, size_t length,
                        std::chrono::steady_clock::time_point deadline, intptr_t cancel,
                        size_t& sent) {
  sent = 0;
  const int fd = m_state->fd;
  if (fd < 0) return EBADF;
  return WriteBefore(fd, data, length, deadline, static_cast<int>(cancel), sent);
}

std::string SerialDevice::ErrorText(int error) { return common::ErrorText(error); }

int SerialDevice::LastSystemError() { return errno; }

}  // namespace orvana::link
