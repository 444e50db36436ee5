#include "support/exec_as.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace orvana::testing {
namespace {

void WriteText(int fd, const char* text) {
  size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t written = write(fd, text, left);
    if (written <= 0) return;
    text += written;
    left -= static_cast<size_t>(written);
  }
}

}  // namespace

ExecStrings::ExecStrings(std::vector<std::string> items) : m_items(std::move(items)) {
  for (std::string& item : m_items) m_pointers.push_back(item.data());
  m_pointers.push_back(nullptr);
}

void FailInChild(const char* what) {
  const char* reason = strerrordesc_np(errno);
  WriteText(STDERR_FILENO, what);
  WriteText(STDERR_FILENO, ": ");
  WriteText(STDERR_FILENO, reason != nullptr ? reason : "failed");
  WriteText(STDERR_FILENO, "\n");
  _exit(127);
}

void KeepOnly(int in, int out, int errors) {
  // Copies above 2 first, so that putting one on 0, 1 or 2 cannot close another.
  const int copies[3] = {fcntl(in, F_DUPFD, 3), fcntl(out, F_DUPFD, 3), fcntl(errors, F_DUPFD, 3)};
  for (int target = 0; target < 3; ++target) {
    if (copies[target] < 0 || dup2(copies[target], target) < 0) FailInChild("dup2");
  }
  if (close_range(3, ~0U, 0) != 0) FailInChild("close_range");
}

void ResetSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int number = 1; number < NSIG; ++number) {
    if (number != SIGKILL && number != SIGSTOP) sigaction(number, &action, nullptr);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

void BecomeForGood(const Credentials& credentials, pid_t parent) {
  if (credentials.switchUser && (setgroups(0, nullptr) != 0 || setgid(credentials.gid) != 0 ||
                                 setuid(credentials.uid) != 0)) {
    FailInChild("cannot change the user");
  }
  if (prctl(PR_SET_PDEATHSIG, static_cast<unsigned long>(SIGKILL)) != 0) FailInChild("prctl");
  if (getppid() != parent) _exit(127);  // it died before we asked
}

ProgramResult RunProgramAs(const Credentials& credentials, const std::vector<std::string>& command,
                           const std::vector<std::string>& environment) {
  const ExecStrings arguments(command);
  const ExecStrings variables(environment);
  int output[2];
  if (pipe2(output, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t parent = getpid();
  const pid_t child = nothing < 0 ? -1 : fork();
  if (child == 0) {
    KeepOnly(nothing, output[1], output[1]);
    ResetSignals();
    BecomeForGood(credentials, parent);
    execve(arguments.Get()[0], arguments.Get(), variables.Get());
    FailInChild(arguments.Get()[0]);
  }
  close(output[1]);
  if (nothing >= 0) close(nothing);
  if (child < 0) {
    close(output[0]);
    throw std::runtime_error("cannot start " + command.front());
  }
  ProgramResult result;
  char chunk[4096];
  for (;;) {
    const ssize_t size = read(output[0], chunk, sizeof chunk);
    if (size > 0) {
      result.output.append(chunk, static_cast<size_t>(size));
    } else if (size == 0 || errno != EINTR) {
      break;
    }
  }
  close(output[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace orvana::testing
