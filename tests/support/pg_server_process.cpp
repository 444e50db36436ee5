#include "support/pg_server_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/shm.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/exec_as.h"
#include "support/process_tree.h"

namespace orvana::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// More processes than a server with max_connections = 50 ever has.
constexpr size_t kMaxChildren = 256;

// From here to the end of Watch(): code for the forked watchdog, which
// keeps to system calls (see exec_as.h).

void SignalChildren(pid_t parent, int number) {
  pid_t children[kMaxChildren];
  const size_t count = ChildrenOf(parent, children, kMaxChildren);
  for (size_t i = 0; i < count && i < kMaxChildren; ++i) kill(children[i], number);
}

// Reaps whatever has ended; true when `postmaster` was among them.
bool ReapEnded(pid_t postmaster) {
  bool found = false;
  pid_t pid;
  while ((pid = waitpid(-1, nullptr, WNOHANG)) > 0) found = found || pid == postmaster;
  return found;
}

// Reaps until no child is left, or for at most `ticks` times 10 ms when
// `ticks` is not negative; true when none is left.
bool ReapAll(int ticks) {
  for (;;) {
    const pid_t pid = waitpid(-1, nullptr, ticks < 0 ? 0 : WNOHANG);
    if (pid > 0 || (pid < 0 && errno == EINTR)) continue;
    if (pid < 0) return errno == ECHILD;
    if (ticks-- == 0) return false;
    const timespec tick{0, 10'000'000};
    nanosleep(&tick, nullptr);
  }
}

// What the watchdog does when the test is gone: the immediate shutdown of
// `pg_ctl stop -m immediate`, and SIGKILL for whatever is left after 5 s.
void TearDown(pid_t postmaster, pid_t self) {
  // A paused server keeps SIGQUIT pending: wake it first.
  SignalChildren(postmaster, SIGCONT);
  kill(postmaster, SIGCONT);
  kill(postmaster, SIGQUIT);
  if (ReapAll(500)) return;
  SignalChildren(postmaster, SIGKILL);
  kill(postmaster, SIGKILL);
  SignalChildren(self, SIGKILL);  // orphans, which we adopted
  ReapAll(-1);
}

struct WatchPlan {
  char* const* postgres;
  char* const* environment;
  char* const* remove;  // rm -rf of the scratch folder, or null
  Credentials account;
};

// The watchdog: its standard input is the lifeline, its output where it
// reports the postmaster's pid, its errors the server's log.
[[noreturn]] void Watch(const WatchPlan& plan) {
  // A group of our own, so that a Ctrl-C meant for the test reaches only the
  // test, whose end then reaches us through the lifeline.
  setpgid(0, 0);
  ResetSignals();
  if (prctl(PR_SET_CHILD_SUBREAPER, 1UL) != 0) FailInChild("prctl");
  const pid_t self = getpid();
  const pid_t postmaster = fork();
  if (postmaster < 0) FailInChild("fork");
  if (postmaster == 0) {
    const int nothing = open("/dev/null", O_RDONLY);
    if (nothing < 0) FailInChild("/dev/null");
    KeepOnly(nothing, STDERR_FILENO, STDERR_FILENO);
    BecomeForGood(plan.account, self);
    execve(plan.postgres[0], plan.postgres, plan.environment);
    FailInChild(plan.postgres[0]);
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, nullptr);  // the test may be gone before it reads the report
  if (write(STDOUT_FILENO, &postmaster, sizeof postmaster) != sizeof postmaster) {
    TearDown(postmaster, self);
    _exit(1);
  }
  close(STDOUT_FILENO);
  // pidfd_open (Linux 5.3) lets poll see the postmaster's end; without it, look every 10 ms.
  const int ended = static_cast<int>(syscall(SYS_pidfd_open, postmaster, 0));
  for (;;) {
    pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {ended, POLLIN, 0}};
    poll(watched, ended >= 0 ? 2 : 1, ended >= 0 ? -1 : 10);
    if (ReapEnded(postmaster)) {
      // After a stop there is nothing left; after a crash the children are
      // ours now, and useless: a stopped one would never notice and end.
      SignalChildren(self, SIGKILL);
      ReapAll(-1);
      _exit(0);
    }
    if (watched[0].revents != 0) {
      char byte;
      const ssize_t got = read(STDIN_FILENO, &byte, 1);
      if (got == 0 || (got < 0 && errno != EINTR)) break;
    }
  }
  TearDown(postmaster, self);
  if (plan.remove != nullptr) {
    execve(plan.remove[0], plan.remove, plan.environment);
    FailInChild(plan.remove[0]);
  }
  _exit(0);
}

std::vector<pid_t> Children(pid_t parent) {
  std::vector<pid_t> children(kMaxChildren);
  children.resize(std::min(ChildrenOf(parent, children.data(), children.size()), kMaxChildren));
  return children;
}

// Signals are delivered on their own time: waits until `pid` is stopped, or
// has ended, for at most 2 s.
void WaitStopped(pid_t pid) {
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  for (;;) {
    const char state = ProcessState(pid);
    if (state == 'T' || state == 't' || state == 'Z' || state == 'X' || state == 0) return;
    if (Clock::now() > deadline) return;
    std::this_thread::sleep_for(milliseconds(1));
  }
}

bool ReadPid(int fd, pid_t& pid, milliseconds timeout) {
  pollfd readable{fd, POLLIN, 0};
  if (poll(&readable, 1, static_cast<int>(timeout.count())) != 1) return false;
  return read(fd, &pid, sizeof pid) == sizeof pid && pid > 0;
}

}  // namespace

Credentials ServerAccount() {
  if (geteuid() != 0) return {};
  return {true, 65534, 65534};  // nobody and nogroup, as Debian numbers them
}

std::vector<std::string> ServerEnvironment() {
  return {"PATH=/usr/bin:/bin", "LC_ALL=C", "TZ=UTC"};
}

void RemoveAbandonedSharedMemory(const std::string& dataFolder) {
  // Line 7 of postmaster.pid holds the segment's key and id.
  std::ifstream pidFile(dataFolder + "/postmaster.pid");
  std::string line;
  for (int number = 1; number <= 7; ++number) {
    if (!std::getline(pidFile, line)) return;
  }
  std::istringstream fields(line);
  unsigned long key = 0;
  int id = -1;
  if (!(fields >> key >> id) || id < 0) return;
  shmid_ds segment{};
  if (shmctl(id, IPC_STAT, &segment) != 0) return;
  if (static_cast<unsigned long>(segment.shm_perm.__key) != key || segment.shm_nattch != 0) return;
  shmctl(id, IPC_RMID, nullptr);
}

PgServerProcess::PgServerProcess(const Launch& launch) {
  const ExecStrings postgres({launch.postgres, "-D", launch.dataFolder});
  const ExecStrings environment(ServerEnvironment());
  const ExecStrings remove({"/bin/rm", "-rf", "--", launch.scratchFolder});
  const WatchPlan plan{postgres.Get(), environment.Get(),
                       launch.scratchFolder.empty() ? nullptr : remove.Get(), launch.account};
  int lifeline[2];
  int report[2];
  if (pipe2(lifeline, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (pipe2(report, O_CLOEXEC) != 0) {
    close(lifeline[0]);
    close(lifeline[1]);
    throw std::runtime_error("pipe failed");
  }
  const int log = open(launch.logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  m_watchdog = log < 0 ? -1 : fork();
  if (m_watchdog == 0) {
    KeepOnly(lifeline[0], report[1], log);
    Watch(plan);
  }
  if (log >= 0) close(log);
  close(lifeline[0]);
  close(report[1]);
  m_lifeline = lifeline[1];
  pid_t postmaster = -1;
  const bool reported = m_watchdog > 0 && ReadPid(report[0], postmaster, milliseconds(10000));
  close(report[0]);
  if (!reported) {
    const std::string reason =
        log < 0 ? "cannot open " + launch.logFile : "the watchdog did not start postgres";
    Release();
    throw std::runtime_error(reason);
  }
  m_postmaster = postmaster;
}

PgServerProcess::~PgServerProcess() { Release(); }

void PgServerProcess::Release() {
  // Closing the lifeline is the watchdog's cue, when it still runs. It takes
  // 5 s at most; should it hang, SIGKILL ends it, and the postmaster with it.
  if (m_lifeline >= 0) close(m_lifeline);
  m_lifeline = -1;
  if (!WaitExited(milliseconds(30000))) {
    std::cerr << "the watchdog of postgres " << m_postmaster << " hangs: killing it\n";
    kill(m_watchdog, SIGKILL);
    while (waitpid(m_watchdog, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  m_watchdog = -1;
}

bool PgServerProcess::Exited() {
  if (m_watchdog < 0) return true;
  const pid_t pid = waitpid(m_watchdog, nullptr, WNOHANG);
  if (pid == m_watchdog || (pid < 0 && errno == ECHILD)) m_watchdog = -1;
  return m_watchdog < 0;
}

bool PgServerProcess::WaitExited(milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!Exited()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(2));
  }
  return true;
}

bool PgServerProcess::Stop(milliseconds timeout) {
  if (Exited()) return true;
  Resume();
  kill(m_postmaster, SIGINT);
  return WaitExited(timeout);
}

void PgServerProcess::Kill() {
  if (Exited()) return;
  // Frozen first: a running postmaster that saw a child die would start
  // crash recovery, with new children, before its own SIGKILL came.
  kill(m_postmaster, SIGSTOP);
  WaitStopped(m_postmaster);
  for (const pid_t child : Children(m_postmaster)) kill(child, SIGKILL);
  kill(m_postmaster, SIGKILL);
  if (!WaitExited(milliseconds(10000))) {
    throw std::runtime_error("the killed server's processes were still there after 10 s");
  }
}

void PgServerProcess::Pause() {
  if (Exited()) return;
  // The postmaster first, so that it starts no child we would miss.
  kill(m_postmaster, SIGSTOP);
  WaitStopped(m_postmaster);
  const std::vector<pid_t> children = Children(m_postmaster);
  for (const pid_t child : children) kill(child, SIGSTOP);
  for (const pid_t child : children) WaitStopped(child);
}

void PgServerProcess::Resume() {
  if (Exited()) return;
  for (const pid_t child : Children(m_postmaster)) kill(child, SIGCONT);
  kill(m_postmaster, SIGCONT);
}

}  // namespace orvana::testing
