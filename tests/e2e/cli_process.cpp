#include "e2e/cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

namespace orvana::e2e {

CliProcess::CliProcess(const std::string& workingFolder, const std::vector<std::string>& args) {
  int out[2];
  int err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  std::vector<std::string> all{ORVANA_CLI_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    if (chdir(workingFolder.c_str()) != 0) _exit(126);
    execv(ORVANA_CLI_PATH, argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  output_ = out[0];
  errors_ = err[0];
}

CliProcess::~CliProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (output_ >= 0) close(output_);
  if (errors_ >= 0) close(errors_);
}

std::optional<std::string> CliProcess::NextLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const size_t end = buffer_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      lines_.push_back(line);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{output_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[4096];
    const ssize_t n = read(output_, chunk, sizeof chunk);
    if (n <= 0) return std::nullopt;
    buffer_.append(chunk, static_cast<size_t>(n));
  }
}

std::optional<std::string> CliProcess::WaitFor(
    const std::function<bool(const std::string&)>& wanted, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    auto line = NextLine(left);
    if (!line) return std::nullopt;
    if (wanted(*line)) return line;
  }
}

void CliProcess::Terminate() {
  if (pid_ > 0) kill(pid_, SIGTERM);
}

std::optional<int> CliProcess::WaitExit(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      // Whatever it printed before it ended is still in the pipe.
      while (NextLine(std::chrono::milliseconds(50))) {
      }
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

std::string CliProcess::ErrorText() {
  std::string text;
  char chunk[4096];
  pollfd p{errors_, POLLIN, 0};
  while (poll(&p, 1, 100) > 0) {
    const ssize_t n = read(errors_, chunk, sizeof chunk);
    if (n <= 0) break;
    text.append(chunk, static_cast<size_t>(n));
  }
  return text;
}

}  // namespace orvana::e2e
