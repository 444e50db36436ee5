#pragma once

#include <sys/types.h>

#include <cstddef>

// A process's children and state, read from /proc with nothing but system
// calls: the watchdog of the tests' PostgreSQL servers uses them in a forked
// child, where allocating memory could wait forever on a lock that another
// thread of the parent held at the moment of the fork.
namespace orvana::testing {

// Writes into `out`, at most `capacity` of them, the processes whose parent
// is `parent`; returns how many there are, which may be more than `capacity`.
size_t ChildrenOf(pid_t parent, pid_t* out, size_t capacity);

// The state letter of /proc/<pid>/stat: 'R', 'S', 'D', 'T' when stopped,
// 'Z' when dead but not reaped, and so on; 0 when there is no such process.
char ProcessState(pid_t pid);

}  // namespace orvana::testing
