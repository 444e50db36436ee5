#pragma once

#include <sys/types.h>

#include <string>

// Opening the files we read and write ourselves (language file, daily logs,
// imports) only when they are regular files. A FIFO in their place would
// block an ordinary open until someone opens its other end, and a device
// (/dev/zero, a terminal) would feed us bytes without end or react to being
// opened; either would stall the station.
namespace orvana::records {

struct RegularFile {
  int fd = -1;    // open, in blocking mode, when the file was taken
  int error = 0;  // errno of the failure, 0 when the file was refused
  bool notRegular = false;

  bool Opened() const { return fd >= 0; }
  // Why the file was not opened, for a diagnostic or a message.
  std::string Reason() const;
};

// Opens `path` with `flags` (and `mode` when O_CREAT creates it) if it is a
// regular file. Anything else that exists there is refused without being
// opened; one swapped in between the look and the open is opened without
// waiting (O_NONBLOCK, never as a controlling terminal), recognised on the
// descriptor and closed again.
RegularFile OpenRegularFile(const std::string& path, int flags, mode_t mode = 0644);

}  // namespace orvana::records
