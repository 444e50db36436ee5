#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace orvana::testing {
namespace {

using Clock = std::chrono::steady_clock;

int LeftMs(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& workingFolder) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  if (!workingFolder.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
  }
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int error = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  m_input = in[1];
  m_output = out[0];
  m_errors = err[0];
  if (error != 0) {
    m_pid = -1;
    throw std::runtime_error("cannot start " + program);
  }
}

ChildProcess::~ChildProcess() {
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
  for (const int fd : {m_input, m_output, m_errors}) {
    if (fd >= 0) close(fd);
  }
}

std::optional<std::string> ChildProcess::NextLine(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (const size_t end = m_buffer.find('\n'); end != std::string::npos) {
      m_lines.push_back(m_buffer.substr(0, end));
      m_buffer.erase(0, end + 1);
      return m_lines.back();
    }
    pollfd p{m_output, POLLIN, 0};
    if (poll(&p, 1, LeftMs(deadline)) <= 0) return std::nullopt;
    char chunk[4096];
    const ssize_t n = read(m_output, chunk, sizeof chunk);
    if (n <= 0) return std::nullopt;
    m_buffer.append(chunk, static_cast<size_t>(n));
  }
}

std::optional<std::string> ChildProcess::WaitFor(
    const std::function<bool(const std::string&)>& wanted, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (auto line = NextLine(std::chrono::milliseconds(LeftMs(deadline)))) {
    if (wanted(*line)) return line;
  }
  return std::nullopt;
}

void ChildProcess::Input(std::string_view text) {
  if (write(m_input, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    throw std::runtime_error("cannot write to the child's input");
  }
}

void ChildProcess::CloseInput() {
  close(m_input);
  m_input = -1;
}

void ChildProcess::Signal(int number) {
  if (m_pid > 0) kill(m_pid, number);
}

std::optional<int> ChildProcess::WaitExit(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (m_pid > 0) {
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      while (NextLine(std::chrono::milliseconds(50))) {
      }
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

std::string ChildProcess::ErrorText() {
  std::string text;
  char chunk[4096];
  pollfd p{m_errors, POLLIN, 0};
  while (poll(&p, 1, 100) > 0) {
    const ssize_t n = read(m_errors, chunk, sizeof chunk);
    if (n <= 0) break;
    text.append(chunk, static_cast<size_t>(n));
  }
  return text;
}

}  // namespace orvana::testing
