#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// CSerialPort owns one serial device and its monitor thread. It knows nothing
// of the protocol: it moves bytes. Every received byte goes to the owner as
// WM_COMM_RXCHAR, one at a time and in order; writes are handed to the monitor
// thread, which performs them.
namespace orvana::link {

// Notification numbers, as the meter software has always numbered them.
inline constexpr unsigned WM_USER = 0x400;
inline constexpr unsigned WM_COMM_LINE_BREAK = WM_USER + 1;
inline constexpr unsigned WM_COMM_CTS = WM_USER + 2;
inline constexpr unsigned WM_COMM_LINE_ERROR = WM_USER + 4;
inline constexpr unsigned WM_COMM_RING = WM_USER + 5;
inline constexpr unsigned WM_COMM_RXCHAR = WM_USER + 7;
inline constexpr unsigned WM_COMM_EVENT_CHAR = WM_USER + 8;
inline constexpr unsigned WM_COMM_WRITE_DONE = WM_USER + 9;

// Line events of the event mask.
inline constexpr uint32_t EV_RXCHAR = 0x0001;
inline constexpr uint32_t EV_RXFLAG = 0x0002;
inline constexpr uint32_t EV_CTS = 0x0008;
inline constexpr uint32_t EV_BREAK = 0x0040;
inline constexpr uint32_t EV_ERR = 0x0080;
inline constexpr uint32_t EV_RING = 0x0100;

struct CommNotification {
  unsigned message = 0;  // one of WM_COMM_*
  unsigned wParam = 0;   // the byte for WM_COMM_RXCHAR, else 0
  unsigned portNumber = 0;
};

// The receiver of the transport's notifications.
class ISerialOwner {
 public:
  virtual ~ISerialOwner() = default;
  // Called on the monitor thread. Must not return before the notification has
  // been taken by whoever handles it; this is what keeps bytes one at a time
  // and in order.
  virtual void OnCommNotification(const CommNotification& notification) = 0;
  // Called on the thread that stops the monitor (Open on a running monitor,
  // or destruction), before it waits for the monitor to end. An owner whose
  // OnCommNotification blocks on that very thread must release it here, or
  // stopping would wait for ever.
  virtual void OnMonitorStopping() {}
  // Called once the monitor has ended; the owner may accept deliveries again.
  virtual void OnMonitorStopped() {}
};

// Where a port is and what the program calls it. On Windows the number was
// everything; here the device path opens the port and the number travels in
// notifications and reports.
struct PortAddress {
  std::string path;     // e.g. /dev/ttyUSB0
  unsigned number = 0;  // the trailing number of the device name, e.g. 0
};

class CSerialPort {
 public:
  CSerialPort();
  ~CSerialPort();
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // Ends a running monitor, closes an open device, then opens `port` for
  // exclusive use and configures it. False only when the device cannot be
  // opened (absent, no permission, or held elsewhere); a later configuration
  // step that fails is reported to the trace and Open still returns true.
  bool Open(ISerialOwner* owner, const PortAddress& port, int baudRate, char parity, int dataBits,
            int stopBits, uint32_t eventMask, int writeBufferSize);
  bool StartMonitor();
  // Hands one write to the monitor thread and returns at once. A Write that
  // comes before the monitor has taken the previous one replaces it. The
  // monitor first discards whatever the line holds in both directions, so a
  // command's answer is never spoiled by stale bytes.
  void Write(const uint8_t* bytes, size_t length);
  // Like Write, but discards nothing: for traffic that expects no answer and
  // must not cut a result that is arriving at the same moment.
  void WriteKeepingInput(const uint8_t* bytes, size_t length);
  // Asks the monitor to close the device and end; returns at once.
  void Stop();

  bool IsOpen() const;
  bool IsMonitoring() const { return m_threadAlive.load(); }
  // Why the last Open failed, in words for a person (permission, busy, gone).
  const std::string& LastOpenError() const { return m_lastOpenError; }
  // Bytes the driver has received that nobody has read yet; -1 when closed.
  // Waits for a write in progress to finish.
  int BytesWaiting() const;

 private:
  enum class LineState { kPresent, kGone };

  void ConfigureLine(int fd, int baudRate, char parity, int dataBits, int stopBits) const;
  void MonitorThread();
  LineState ReceiveStep(bool readinessReported);
  void WriteStep();
  void LineEventNotifications();
  void Deliver(unsigned message, unsigned wParam);
  void EndMonitor();
  void CloseDevice();
  void ReportError(const char* step, int error) const;
  void ReportGone(const char* why, int error) const;
  void QueueWrite(const uint8_t* bytes, size_t length, bool purge);

  uint32_t m_writeLength = 1;
  // Written under m_lock (the monitor closes a vanished device itself), read
  // without it by IsOpen, which must not wait for a write in progress.
  std::atomic<int> m_hPort{-1};
  std::thread m_monitorThread;
  mutable std::mutex m_lock;
  std::atomic<bool> m_threadAlive{false};
  std::atomic<bool> m_shutdownRequested{false};
  int m_writeEvent = -1;     // eventfd
  int m_shutdownEvent = -1;  // eventfd
  ISerialOwner* m_owner = nullptr;
  unsigned m_portNumber = 0;
  std::vector<uint8_t> m_writeBuffer;
  bool m_writePurges = true;
  // Set by Write, cleared when the monitor takes the write: a write signalled
  // twice before the monitor got to it goes out once.
  bool m_writePending = false;
  uint32_t m_eventMask = 0;
  int m_writeBufferSize = 0;
  std::string m_lastOpenError;
};

}  // namespace orvana::link
