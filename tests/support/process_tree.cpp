#include "support/process_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace orvana::testing {
namespace {

struct StatFields {
  char state = 0;
  pid_t parent = 0;
};

// Reads "/proc/<pid>/stat", where `pidText` is the number as /proc spells it.
bool ReadStat(const char* pidText, StatFields& fields) {
  char path[64] = "/proc/";
  const size_t length = std::strlen(pidText);
  if (length > sizeof path - 12) return false;
  std::memcpy(path + 6, pidText, length);
  std::memcpy(path + 6 + length, "/stat", 6);
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char text[1024];
  const ssize_t size = read(fd, text, sizeof text - 1);
  close(fd);
  if (size <= 0) return false;
  text[size] = '\0';
  // "pid (name) S ppid ...": the name may hold spaces and parentheses of its
  // own, so the fields start after the last ')'.
  const char* end = std::strrchr(text, ')');
  if (end == nullptr || end[1] != ' ' || end[2] == '\0' || end[3] != ' ') return false;
  fields.state = end[2];
  pid_t parent = 0;
  for (const char* digit = end + 4; *digit >= '0' && *digit <= '9'; ++digit) {
    parent = parent * 10 + (*digit - '0');
  }
  fields.parent = parent;
  return true;
}

// The decimal digits of `pid`, without snprintf, which may allocate.
void PidText(pid_t pid, char (&text)[16]) {
  char reversed[16];
  size_t count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + pid % 10);
    pid /= 10;
  } while (pid > 0 && count < sizeof reversed - 1);
  for (size_t i = 0; i < count; ++i) text[i] = reversed[count - 1 - i];
  text[count] = '\0';
}

bool AllDigits(const char* name) {
  if (*name == '\0') return false;
  for (; *name != '\0'; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

}  // namespace

size_t ChildrenOf(pid_t parent, pid_t* out, size_t capacity) {
  const int folder = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return 0;
  size_t found = 0;
  alignas(dirent64) char entries[8192];
  for (;;) {
    const ssize_t size = getdents64(folder, entries, sizeof entries);
    if (size <= 0) break;
    for (ssize_t offset = 0; offset < size;) {
      const auto* entry = reinterpret_cast<const dirent64*>(entries + offset);
      offset += entry->d_reclen;
      StatFields fields;
      if (!AllDigits(entry->d_name) || !ReadStat(entry->d_name, fields)) continue;
      if (fields.parent != parent) continue;
      pid_t child = 0;
      for (const char* digit = entry->d_name; *digit != '\0'; ++digit) {
        child = child * 10 + (*digit - '0');
      }
      if (found < capacity) out[found] = child;
      ++found;
    }
  }
  close(folder);
  return found;
}

char ProcessState(pid_t pid) {
  char text[16];
  PidText(pid, text);
  StatFields fields;
  return ReadStat(text, fields) ? fields.state : 0;
}

}  // namespace orvana::testing
