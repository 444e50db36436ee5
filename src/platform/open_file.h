#pragma once

#include <string>

// Opening the files the program keeps (day logs, the outbox and its marks,
// language files, workbooks). Paths are UTF-8; what comes back is a C
// library descriptor on every platform, opened in binary: the bytes written
// are the bytes in the file, with no line ends translated. No descriptor
// is handed on to a program started meanwhile, and other readers and
// writers (and whoever renames or deletes the file) are not shut out while
// it is open.
namespace orvana::platform {

enum class OpenMode {
  Read,       // reading; the file must exist
  Append,     // every write goes to the end; created when missing
  Write,      // writing in place; created when missing
  ReadWrite,  // both; created when missing
  CreateNew,  // writing a file made now; EEXIST when the name is taken
};

struct OpenOptions {
  // A link under the name is refused (ELOOP) instead of followed: nobody
  // can have the file written somewhere else through a link they planted.
  bool noFollow = false;
  // Where opening could wait (a FIFO until its other end opens), it does
  // not, and a terminal never becomes the program's controlling one.
  bool noWait = false;
  // The permission bits of a file made here, where the platform has them.
  unsigned mode = 0644;
};

// The descriptor, or -1 with errno set.
int OpenFile(const std::string& path, OpenMode mode, OpenOptions options = {});
void CloseFile(int fd);
// A second descriptor of the same open file; -1 with errno set.
int DuplicateFile(int fd);

}  // namespace orvana::platform
