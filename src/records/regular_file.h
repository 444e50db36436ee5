#pragma once

#include <string>

#include "platform/open_file.h"

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

// Opens `path` for `mode` if it is a regular file. Anything else that exists
// there is refused without being opened; one swapped in between the look and
// the open is opened without waiting (never as a controlling terminal),
// recognised on the descriptor and closed again.
RegularFile OpenRegularFile(const std::string& path, platform::OpenMode mode,
                            platform::OpenOptions options = {});

// The same for a caller that still speaks in open(2)'s flags: O_RDONLY, or
// O_WRONLY / O_RDWR with O_APPEND or O_EXCL as above (a file to write is
// created when missing).
RegularFile OpenRegularFile(const std::string& path, int flags);

}  // namespace orvana::records
