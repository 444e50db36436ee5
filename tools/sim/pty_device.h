#pragma once

#include <cstddef>
#include <string>

namespace orvana::sim {

// The meter's end of a pseudo-terminal. The program opens the slave path as
// its serial port; we talk on the master. One slave descriptor stays open
// here, set raw, so the line keeps raw settings between the program's opens
// and the master never reads EIO while nobody has the port open.
class PtyDevice {
 public:
  PtyDevice();  // throws std::system_error
  ~PtyDevice();
  PtyDevice(const PtyDevice&) = delete;
  PtyDevice& operator=(const PtyDevice&) = delete;

  const std::string& SlavePath() const { return m_slavePath; }
  // Non-blocking.
  int MasterFd() const { return m_master; }
  bool IsOpen() const { return m_master >= 0; }

  // Bytes we sent that nobody on the slave side has read yet.
  size_t UnreadBySlave() const;
  // Forgets those bytes, as a real line forgets what nobody listened to.
  void DiscardUnread();

  // Hangs the line up: whoever has the slave open sees POLLHUP and EIO.
  void Close();

 private:
  int m_master = -1;
  int m_keptSlave = -1;
  std::string m_slavePath;
};

}  // namespace orvana::sim
