#include "sim/simulator.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <utility>

namespace orvana::sim {

namespace {

using std::chrono::milliseconds;

// Nobody has read this much of what we sent: the program is not listening, and
// a real line would have lost it. Dropping it keeps a later listener from
// drowning in stale results and keeps our writes from stalling.
constexpr size_t kUnreadLimit = 2048;
// A hangup waits this long for the program to read what was sent before it:
// closing the line throws away whatever the slave side has not read.
constexpr milliseconds kHangUpGrace{1000};
// Bytes written to the master reach the slave's input queue a moment later,
// so an empty queue right after a write proves nothing.
constexpr milliseconds kHangUpSettle{50};
constexpr milliseconds kHangUpPoll{10};

std::string Hex(std::span<const uint8_t> bytes) {
  std::string text;
  char digits[4];
  for (const uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X ", b);
    text += digits;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

const char* CommandName(uint8_t code) {
  switch (static_cast<Code>(code)) {
    case Code::kConnect:
      return "greeting";
    case Code::kEraseAll:
      return "erase";
    case Code::kReadRecord:
      return "upload";
    case Code::kKeepAlive:
      return "keep-alive";
    default:
      return "unknown command";
  }
}

int MillisecondsUntil(std::chrono::steady_clock::time_point when,
                      std::chrono::steady_clock::time_point now) {
  if (when <= now) return 0;
  // Rounded up, so the loop does not wake a hair early and spin.
  const auto wait = std::chrono::ceil<milliseconds>(when - now).count();
  return static_cast<int>(std::min<long long>(wait, 60'000));
}

}  // namespace

Simulator::Simulator(PtyDevice& line, SimulatorSetup setup, int inputFd)
    : m_line(line),
      m_setup(std::move(setup)),
      m_inputFd(inputFd),
      m_transmitter(m_setup.seed),
      m_generator(m_setup.seed) {
  m_pending.assign(m_setup.script.begin(), m_setup.script.end());
  m_inputOpen = m_setup.readStdin && m_inputFd >= 0;
  if (m_setup.demoRecord) m_instrument.StoreRecord(DemoRecord());
}

void Simulator::Note(const std::string& text) const {
  if (m_setup.verbose) std::fprintf(stderr, "orvana-sim: %s\n", text.c_str());
}

void Simulator::Send(Bytes frame, const char* what) {
  Note(std::string("send ") + what + ": " + Hex(frame));
  m_transmitter.SendFrame(std::move(frame));
}

int Simulator::Run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask) {
  const Clock::time_point start = Clock::now();
  m_scriptResumeAt = start;
  m_nextResultAt = start + m_setup.interval;

  while (stop == 0) {
    Clock::time_point now = Clock::now();
    RunScript(now);
    if (m_setup.interval.count() > 0 && now >= m_nextResultAt) SendPeriodicResult(now);
    if (!Flush(now)) return 1;

    const bool scriptDone = m_pending.empty() && !m_inputOpen;
    if (m_setup.readStdin && scriptDone && !m_transmitter.HasPending() && !m_hangingUp) {
      Note("end of input: hanging up");
      m_hangingUp = true;
    }
    if (m_hangingUp && !m_transmitter.HasPending() && now >= m_lastWriteAt + kHangUpSettle &&
        (m_line.UnreadBySlave() == 0 || now >= m_lastWriteAt + kHangUpGrace)) {
      m_line.Close();
      return 0;
    }

    // Sleep until the earliest thing that is due.
    int timeout = -1;
    auto until = [&](Clock::time_point when) {
      const int ms = MillisecondsUntil(when, now);
      timeout = timeout < 0 ? ms : std::min(timeout, ms);
    };
    if (m_setup.interval.count() > 0) until(m_nextResultAt);
    if (!m_pending.empty() && !m_transmitter.HasPending() && !m_hangingUp) until(m_scriptResumeAt);
    if (m_transmitter.HasPending() && !m_writeBlocked) {
      until(m_lastWriteAt + m_transmitter.PauseBeforeNext());
    }
    if (m_hangingUp) until(now + kHangUpPoll);

    pollfd fds[2] = {{m_line.MasterFd(), POLLIN, 0}, {-1, POLLIN, 0}};
    if (m_writeBlocked) fds[0].events |= POLLOUT;
    if (m_inputOpen) fds[1].fd = m_inputFd;
    timespec wait{};
    timespec* waitFor = nullptr;
    if (timeout >= 0) {
      wait.tv_sec = timeout / 1000;
      wait.tv_nsec = static_cast<long>(timeout % 1000) * 1'000'000L;
      waitFor = &wait;
    }
    const int ready = ppoll(fds, 2, waitFor, &waitMask);
    if (ready < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "orvana-sim: poll: %s\n", std::strerror(errno));
      return 1;
    }
    if (fds[0].revents & POLLOUT) m_writeBlocked = false;
    if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
      if (!ReadLine()) return 1;
    }
    if (fds[1].revents & (POLLIN | POLLERR | POLLHUP)) ReadInput();
  }
  Note("stopped by signal");
  m_line.Close();
  return 0;
}

void Simulator::RunScript(Clock::time_point now) {
  // Each command waits for what came before it to be on the line, so a
  // `wait` measures from the end of the previous frame, not from its queueing.
  while (!m_pending.empty() && !m_hangingUp && !m_transmitter.HasPending() && now >= m_scriptResumeAt) {
    const Command command = std::move(m_pending.front());
    m_pending.pop_front();
    Execute(command, now);
  }
}

void Simulator::Execute(const Command& command, Clock::time_point now) {
  std::visit(
      [&](const auto& c) {
        using T = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<T, SendResult>) {
          Send(BuildResultFrame(c.values), "result");
        } else if constexpr (std::is_same_v<T, SendRaw>) {
          Note("send raw: " + Hex(c.bytes));
          m_transmitter.SendRaw(c.bytes);
        } else if constexpr (std::is_same_v<T, Wait>) {
          m_scriptResumeAt = now + c.duration;
        } else if constexpr (std::is_same_v<T, StoreRecordHeader>) {
          m_instrument.StoreRecord(c.record);
        } else if constexpr (std::is_same_v<T, StoreRecordEvent>) {
          if (!m_instrument.StoreEvent(c.event)) {
            std::fprintf(stderr, "orvana-sim: store-event ignored: no stored record to add to\n");
          }
        } else if constexpr (std::is_same_v<T, CorruptNextChecksum>) {
          m_transmitter.CorruptNextChecksum();
        } else if constexpr (std::is_same_v<T, SendGarbage>) {
          Note("send " + std::to_string(c.count) + " bytes of garbage");
          m_transmitter.SendGarbage(c.count);
        } else if constexpr (std::is_same_v<T, SetSplit>) {
          m_transmitter.SetSplit(c.pause);
        } else if constexpr (std::is_same_v<T, SendOverlong>) {
          Send(BuildOverlongFrame(c.length), "overlong frame");
        } else if constexpr (std::is_same_v<T, HangUp>) {
          Note("hangup");
          m_hangingUp = true;
        }
      },
      command);
}

void Simulator::SendPeriodicResult(Clock::time_point now) {
  Send(BuildResultFrame(m_generator.Next()), "result");
  m_nextResultAt += m_setup.interval;
  // After a long stall, carry on from now instead of sending a burst.
  if (m_nextResultAt <= now) m_nextResultAt = now + m_setup.interval;
}

bool Simulator::Flush(Clock::time_point now) {
  while (m_transmitter.HasPending() && !m_writeBlocked) {
    if (now < m_lastWriteAt + m_transmitter.PauseBeforeNext()) return true;
    if (const size_t unread = m_line.UnreadBySlave(); unread > kUnreadLimit) {
      Note("nobody is reading: dropped " + std::to_string(unread) + " unread bytes");
      m_line.DiscardUnread();
    }
    const std::span<const uint8_t> bytes = m_transmitter.NextBytes();
    const ssize_t n = write(m_line.MasterFd(), bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        m_writeBlocked = true;
        return true;
      }
      std::fprintf(stderr, "orvana-sim: write to the line: %s\n", std::strerror(errno));
      return false;
    }
    m_transmitter.Consumed(static_cast<size_t>(n));
    m_lastWriteAt = now;
  }
  return true;
}

bool Simulator::ReadLine() {
  uint8_t buffer[256];
  for (;;) {
    const ssize_t n = read(m_line.MasterFd(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n <= 0) {
      std::fprintf(stderr, "orvana-sim: read from the line: %s\n",
                   n == 0 ? "end of file" : std::strerror(errno));
      return false;
    }
    for (ssize_t i = 0; i < n; ++i) {
      const std::optional<Bytes> frame = m_reader.Feed(buffer[i]);
      if (!frame) continue;
      Note(std::string("received ") + CommandName((*frame)[2]) + ": " + Hex(*frame));
      for (Bytes& answer : m_instrument.Answer(*frame)) Send(std::move(answer), "answer");
    }
  }
}

void Simulator::ReadInput() {
  char buffer[1024];
  const ssize_t n = read(m_inputFd, buffer, sizeof buffer);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    m_inputOpen = false;
    if (!m_partialInput.empty()) TakeInputLine(m_partialInput);
    m_partialInput.clear();
    return;
  }
  m_partialInput.append(buffer, static_cast<size_t>(n));
  size_t newline = 0;
  while ((newline = m_partialInput.find('\n')) != std::string::npos) {
    const std::string text = m_partialInput.substr(0, newline);
    m_partialInput.erase(0, newline + 1);
    TakeInputLine(text);
  }
}

void Simulator::TakeInputLine(std::string_view text) {
  try {
    if (auto command = m_inputParser.ParseLine(text)) m_pending.push_back(std::move(*command));
  } catch (const ScriptError& error) {
    std::fprintf(stderr, "orvana-sim: stdin: %s (line skipped)\n", error.what());
  }
}

}  // namespace orvana::sim
