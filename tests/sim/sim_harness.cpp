#include "sim/sim_harness.h"

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

extern char** environ;

namespace orvana::simtest {

namespace {

using Clock = std::chrono::steady_clock;

int LeftMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

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

SimProcess::SimProcess(const std::vector<std::string>& args) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  std::vector<std::string> all{ORVANA_SIM_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int error = posix_spawn(&pid_, ORVANA_SIM_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  input_ = in[1];
  output_ = out[0];
  errors_ = err[0];
  if (error != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + std::string(ORVANA_SIM_PATH));
  }
}

SimProcess::~SimProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  for (const int fd : {input_, output_, errors_}) {
    if (fd >= 0) close(fd);
  }
}

std::string SimProcess::FirstLine(milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (const size_t end = stdoutBuffer_.find('\n'); end != std::string::npos) {
      return stdoutBuffer_.substr(0, end);
    }
    pollfd p{output_, POLLIN, 0};
    if (poll(&p, 1, LeftMs(deadline)) <= 0) return {};
    char buffer[256];
    const ssize_t n = read(output_, buffer, sizeof buffer);
    if (n <= 0) return {};
    stdoutBuffer_.append(buffer, static_cast<size_t>(n));
  }
}

void SimProcess::Input(std::string_view text) {
  if (write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    throw std::runtime_error("cannot write to the simulator's input");
  }
}

void SimProcess::CloseInput() {
  close(input_);
  input_ = -1;
}

void SimProcess::Signal(int number) { kill(pid_, number); }

std::optional<int> SimProcess::WaitExit(milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (pid_ > 0) {
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      return 128 + WTERMSIG(status);
    }
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return std::nullopt;
}

std::string SimProcess::ErrorText() {
  std::string text;
  char buffer[512];
  pollfd p{errors_, POLLIN, 0};
  while (poll(&p, 1, 200) > 0) {
    const ssize_t n = read(errors_, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

SerialEnd::SerialEnd(const std::string& path) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) throw std::runtime_error("cannot open " + path);
  termios settings{};
  tcgetattr(fd_, &settings);
  cfmakeraw(&settings);
  cfsetispeed(&settings, B9600);
  cfsetospeed(&settings, B9600);
  tcsetattr(fd_, TCSANOW, &settings);
}

SerialEnd::~SerialEnd() {
  if (fd_ >= 0) close(fd_);
}

void SerialEnd::Write(const Bytes& bytes) {
  if (write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("write to the line failed");
  }
}

Bytes SerialEnd::ReadCountingPieces(size_t count, int& pieces, milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  Bytes got;
  pieces = 0;
  while (got.size() < count) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, LeftMs(deadline)) <= 0) break;
    uint8_t buffer[256];
    const size_t want = std::min(sizeof buffer, count - got.size());
    const ssize_t n = read(fd_, buffer, want);
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
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0) return got;
    uint8_t buffer[256];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n <= 0) return got;
    got.insert(got.end(), buffer, buffer + n);
  }
}

bool SerialEnd::SeesHangUp(milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, LeftMs(deadline)) <= 0) return false;
    if (p.revents & POLLHUP) return true;
    uint8_t byte = 0;
    const ssize_t n = read(fd_, &byte, 1);
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
