#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Programs started from a forked child, as ourselves or as another user.
// Between fork and execve the child makes system calls only: allocating
// memory there could wait forever on a lock that another thread of the
// parent held at the moment of the fork. The functions marked "in the child"
// keep to that.
namespace orvana::testing {

// Who the child becomes: itself, or `uid` and `gid` for good, without
// supplementary groups.
struct Credentials {
  bool switchUser = false;
  uid_t uid = 0;
  gid_t gid = 0;
};

// A null-terminated array of C strings for execve, made before the fork.
class ExecStrings {
 public:
  explicit ExecStrings(std::vector<std::string> items);
  ExecStrings(const ExecStrings&) = delete;
  ExecStrings& operator=(const ExecStrings&) = delete;
  char* const* Get() const { return m_pointers.data(); }

 private:
  std::vector<std::string> m_items;
  std::vector<char*> m_pointers;
};

// In the child: `what` and errno's meaning on stderr, then _exit(127).
[[noreturn]] void FailInChild(const char* what);
// In the child: puts `in`, `out` and `errors` on 0, 1 and 2 and closes every
// other descriptor, since the child holds copies of all of the parent's.
void KeepOnly(int in, int out, int errors);
// In the child: default dispositions and nothing blocked. execve keeps
// ignored signals and the mask, which the parent's must not pass on.
void ResetSignals();
// In the child: becomes `credentials`, then asks for SIGKILL when `parent`
// dies (changing the user clears that request, so it comes second).
void BecomeForGood(const Credentials& credentials, pid_t parent);

struct ProgramResult {
  int status = -1;     // the exit code, or 128 + the signal that ended it
  std::string output;  // standard output and errors together
};

// Runs a program to its end. `command` starts with the program's path;
// `environment` is all the environment it gets.
ProgramResult RunProgramAs(const Credentials& credentials, const std::vector<std::string>& command,
                           const std::vector<std::string>& environment);

}  // namespace orvana::testing
