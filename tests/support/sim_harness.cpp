#include "support/sim_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace orvana::simtest {

namespace {

using Clock = std::chrono::steady_clock;

int LeftMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& args)
    : ChildProcess(ORVANA_SIM_PATH, args) {}

Bytes FromHex(std::string_view text) {
  Bytes bytes;
  std::string digits;
  for (const char c : text) {
    if (c == ' ') continue;
    digits += c;
    if (digits.size() == 2) {
      bytes.push_back(static_cast<uint8_t>(std::stoul(digits, nullptr, 16)));
      digits.clear();
    }
  }
  if (!digits.empty()) throw std::invalid_argument("odd hex text");
  return bytes;
}

std::string ToHex(const Bytes& bytes) {
  std::string text;
  char digits[4];
  for (const uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X ", b);
    text += digits;
  }
  if (!text.empty()) text.pop_back();
  return text;
}

SerialEnd::SerialEnd(const std::string& path) {
  m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m_fd < 0) throw std::runtime_error("cannot open " + path);
  termios settings{};
  tcgetattr(m_fd, &settings);
  cfmakeraw(&settings);
  cfsetispeed(&settings, B9600);
  cfsetospeed(&settings, B9600);
  tcsetattr(m_fd, TCSANOW, &settings);
}

SerialEnd::~SerialEnd() {
  if (m_fd >= 0) close(m_fd);
}

void SerialEnd::Write(const Bytes& bytes) {
  if (write(m_fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("write to the line failed");
  }
}

Bytes SerialEnd::ReadCountingPieces(size_t count, int& pieces, milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  Bytes got;
  pieces = 0;
  while (got.size() < count) {
    pollfd p{m_fd, POLLIN, 0};
    if (poll(&p, 1, LeftMs(deadline)) <= 0) break;
    uint8_t buffer[256];
    const size_t want = std::min(sizeof buffer, count - got.size());
    const ssize_t n = read(m_fd, buffer, want);
    if (n <= 0) break;
    ++pieces;
    got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

Bytes SerialEnd::Read(size_t count, milliseconds timeout) {
  int pieces = 0;
  return ReadCountingPieces(count, pieces, timeout);
}

Bytes SerialEnd::Drain(milliseconds quiet) {
  Bytes got;
  for (;;) {
    pollfd p{m_fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0) return got;
    uint8_t buffer[256];
    const ssize_t n = read(m_fd, buffer, sizeof buffer);
    if (n <= 0) return got;
    got.insert(got.end(), buffer, buffer + n);
  }
}

bool SerialEnd::SeesHangUp(milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    pollfd p{m_fd, POLLIN, 0};
    if (poll(&p, 1, LeftMs(deadline)) <= 0) return false;
    if (p.revents & POLLHUP) return true;
    uint8_t byte = 0;
    const ssize_t n = read(m_fd, &byte, 1);
    if (n == 0 || (n < 0 && errno == EIO)) return true;
  }
}

std::vector<Bytes> SplitFrames(const Bytes& stream) {
  std::vector<Bytes> frames;
  size_t at = 0;
  while (at + 1 < stream.size()) {
    const size_t size = static_cast<size_t>(stream[at + 1]) + 2;
    if (at + size > stream.size()) break;
    frames.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                        stream.begin() + static_cast<std::ptrdiff_t>(at + size));
    at += size;
  }
  return frames;
}

std::vector<Bytes> ReadFrames(SerialEnd& line, size_t count, milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::vector<Bytes> frames;
  while (frames.size() < count) {
    Bytes head = line.Read(2, milliseconds(LeftMs(deadline)));
    if (head.size() < 2) break;
    const Bytes rest = line.Read(head[1], milliseconds(LeftMs(deadline)));
    head.insert(head.end(), rest.begin(), rest.end());
    frames.push_back(head);
    if (rest.size() < head[1]) break;
  }
  return frames;
}

}  // namespace orvana::simtest
