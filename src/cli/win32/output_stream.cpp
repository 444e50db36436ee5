#include "cli/output_stream.h"

#include <io.h>
#include <windows.h>

#include <cerrno>

#include "platform/win32/error_codes.h"

namespace orvana::cli {
namespace {

HANDLE StreamHandle(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

}  // namespace

// Small writes keep a stalled reader from holding much output in one
// write that cannot be taken back, as a pipe's PIPE_BUF does on Linux.
const size_t OutputStream::kDirectBytes = 4096;

OutputStream::OutputStream(int fd) : m_fd(fd), m_maxWrite(kDirectBytes) {
  // Nothing here can try a write without waiting: an anonymous pipe has no
  // non-blocking write once it is made, and a console holds a write while
  // its window is in selection mode. Every line goes through the writer.
  m_direct = false;
}

void OutputStream::PrepareWriterThread() {}

long OutputStream::TryWrite(std::string_view) const {
  errno = EAGAIN;
  return -1;
}

long OutputStream::Write(std::string_view bytes) const {
  const HANDLE handle = StreamHandle(m_fd);
  DWORD written = 0;
  if (handle == INVALID_HANDLE_VALUE ||
      !WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
    const DWORD error = handle == INVALID_HANDLE_VALUE ? ERROR_INVALID_HANDLE : GetLastError();
    // A pipe whose reader has closed it (or is closing it).
    if (error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA) {
      errno = EPIPE;
    } else {
      errno = platform::ErrnoFor(error);
    }
    return -1;
  }
  return static_cast<long>(written);
}

OutputStream::Ready OutputStream::Wait(bool forRoom, const link::EventFd& wake,
                                       int timeout) const {
  const HANDLE event = reinterpret_cast<HANDLE>(wake.Native());
  // The write waits for room itself; only an idle writer sleeps here, until
  // a line comes or the queue is finishing. A reader that has gone is then
  // noticed at the next write.
  const DWORD waited = WaitForSingleObject(event, forRoom ? 0 : timeout < 0 ? INFINITE
                                                                            : static_cast<DWORD>(timeout));
  if (waited == WAIT_FAILED) return Ready::Failed;
  if (waited == WAIT_OBJECT_0) wake.Reset();
  if (forRoom) return Ready::Room;
  return waited == WAIT_OBJECT_0 ? Ready::Woken : Ready::TimedOut;
}

}  // namespace orvana::cli
