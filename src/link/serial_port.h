#pragma once

#include <poll.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

// CSerialPort owns one serial device and its monitor. It knows nothing of the
// protocol: it moves bytes. After each line event the monitor takes
// everything waiting off the line with one read and hands it to the owner in
// one piece, oldest byte first; writes are handed to the monitor, which
// performs them. The monitor normally has a thread of its own; a program whose
// own loop waits on descriptors anyway can run its passes instead and save a
// hand-over between threads on every read.
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

// What a person is told when the device vanishes under a running monitor.
inline constexpr const char* kPortGoneReason = "the meter's port has gone";

struct CommNotification {
  unsigned message = 0;  // one of WM_COMM_*
  // The byte for WM_COMM_RXCHAR, else 0. The port itself hands received
  // bytes over by the read (ISerialOwner::OnReceive), not one by one.
  unsigned wParam = 0;
  unsigned portNumber = 0;
};

// Why a monitor ended.
struct MonitorEnd {
  bool lost = false;   // the device vanished (hang-up, I/O error, end of file)
  std::string reason;  // for a person; empty when the monitor was asked to stop
};

// Lets a monitor that its owner turned away read the line again. The owner
// may call it from any thread until the monitor's OnMonitorEnded.
class ResumeReading {
 public:
  ResumeReading() = default;
  explicit ResumeReading(int event) : m_event(event) {}
  void operator()() const;
  explicit operator bool() const { return m_event >= 0; }

 private:
  int m_event = -1;
};

// The receiver of the transport's notifications. The monitor never waits for
// its owner: stopping it can never be held up by an owner that is busy or is
// the very thread doing the stopping.
class ISerialOwner {
 public:
  virtual ~ISerialOwner() = default;
  // Monitor thread: the bytes one read took off the line, oldest first. The
  // owner keeps them and returns at once: true when it can take more, false
  // when it holds enough for now, and then the monitor reads the line again
  // only once `resume` has been called.
  virtual bool OnReceive(std::span<const uint8_t> bytes, const ResumeReading& resume) = 0;
  // Monitor thread: every other notification, in order with the bytes.
  virtual void OnCommNotification(const CommNotification& notification) = 0;
  // Monitor thread, during a write that discards the line's input: whatever
  // the owner holds and has not handed on yet goes too. The owner holds
  // nothing afterwards, so the monitor reads on.
  virtual void OnInputPurged() {}
  // Monitor thread, its last call.
  virtual void OnMonitorEnded(const MonitorEnd& /*end*/) {}
  // The thread that ended a monitor (Open, or destruction), once it has ended:
  // nothing that monitor left behind is wanted any more.
  virtual void OnMonitorStopped() {}
};

// Where a port is and what the program calls it. On Windows the number was
// everything; here the device path opens the port and the number travels in
// notifications and reports.
struct PortAddress {
  std::string path;     // e.g. /dev/ttyUSB0
  unsigned number = 0;  // the trailing number of the device name, e.g. 0
};

// Where the monitor runs.
enum class MonitorMode {
  kThread,     // a thread of its own: for a loop that cannot wait on the line
  kOwnerLoop,  // passes made by the owner's poll loop (MonitorWaits, RunMonitorPass)
};

class CSerialPort {
 public:
  // The descriptors one monitor pass waits on.
  static constexpr size_t kMonitorWaitCount = 4;
  using MonitorWaitSet = pollfd[kMonitorWaitCount];

  CSerialPort();
  ~CSerialPort();
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // Ends a running monitor, closes an open device, then opens `port` for
  // exclusive use and configures it. False only when the device cannot be
  // opened (absent, no permission, held elsewhere, or not a terminal at all);
  // a later configuration step that fails is reported to the trace and Open
  // still returns true.
  bool Open(ISerialOwner* owner, const PortAddress& port, int baudRate, char parity, int dataBits,
            int stopBits, uint32_t eventMask, int writeBufferSize);
  bool StartMonitor(MonitorMode mode = MonitorMode::kThread);

  // kOwnerLoop. The descriptors the owner's poll is to wait on beside its
  // own; all -1 (which poll skips) while no such monitor runs.
  void MonitorWaits(MonitorWaitSet& waits) const;
  // kOwnerLoop, after that poll, with what it returned for them: one pass of
  // the monitor. Returns false once the monitor has ended; its owner has then
  // had OnMonitorEnded.
  bool RunMonitorPass(const MonitorWaitSet& waits);
  // kOwnerLoop, from the owner after each byte it handled: a stop or a write
  // asked for meanwhile is done now, before the owner hands on another byte,
  // just as the monitor thread would do it at once.
  void CatchUp();
  // Hands one write to the monitor thread and returns at once. A Write that
  // comes before the monitor has taken the previous one replaces it. The
  // monitor first discards whatever the line holds in both directions, and
  // the owner whatever it has received and not yet handed on, so a command's
  // answer is never spoiled by stale bytes.
  void Write(const uint8_t* bytes, size_t length);
  // Like Write, but discards nothing: for traffic that expects no answer and
  // must not cut a result that is arriving at the same moment.
  void WriteKeepingInput(const uint8_t* bytes, size_t length);
  // Asks the monitor to close the device and end; returns at once.
  void Stop();

  bool IsOpen() const;
  bool IsMonitoring() const { return m_monitoring.load(); }
  // Why the last Open failed, in words for a person (permission, busy, gone,
  // not a serial port).
  const std::string& LastOpenError() const { return m_lastOpenError; }
  // Bytes the driver has received that nobody has read yet; -1 when closed.
  // Waits for a write in progress to finish.
  int BytesWaiting() const;

 private:
  enum class ReceiveResult { kNothing, kHandedOver, kOwnerFull, kGone };

  void ConfigureLine(int fd, int baudRate, char parity, int dataBits, int stopBits) const;
  void MonitorThread();
  void FillWaits(MonitorWaitSet& waits) const;
  // One pass over what the poll found; false when the monitor is to end, with
  // `end` saying why.
  bool MonitorPass(const MonitorWaitSet& waits, MonitorEnd& end);
  // Closes the device and tells the owner; the monitor's last step.
  void FinishMonitor(MonitorEnd end);
  ReceiveResult ReceiveStep();
  // True when the write discarded the line's input.
  bool WriteStep();
  void LineEventNotifications();
  void Deliver(unsigned message, unsigned wParam);
  void EndMonitor();
  void CloseDevice();
  void ReportError(const char* step, int error) const;
  void ReportGone(const char* why, int error) const;
  void QueueWrite(const uint8_t* bytes, size_t length, bool purge);

  // One read takes at most this much; what is left waits for the next pass.
  static constexpr size_t kReadChunk = 4096;

  uint32_t m_writeLength = 1;
  // Written under m_lock (the monitor closes a vanished device itself), read
  // without it by IsOpen, which must not wait for a write in progress.
  std::atomic<int> m_hPort{-1};
  std::thread m_monitorThread;
  mutable std::mutex m_lock;
  std::atomic<bool> m_monitoring{false};
  MonitorMode m_mode = MonitorMode::kThread;
  std::atomic<bool> m_shutdownRequested{false};
  int m_writeEvent = -1;     // eventfd
  int m_shutdownEvent = -1;  // eventfd
  int m_resumeEvent = -1;    // eventfd: the owner can take bytes again
  ISerialOwner* m_owner = nullptr;
  unsigned m_portNumber = 0;
  std::vector<uint8_t> m_writeBuffer;
  bool m_writePurges = true;
  // Set by Write, cleared when the monitor takes the write: a write signalled
  // twice before the monitor got to it goes out once. Changed under m_lock;
  // an atomic so the owner's loop can look at it after every byte for free.
  std::atomic<bool> m_writePending{false};
  uint32_t m_eventMask = 0;
  int m_writeBufferSize = 0;
  std::string m_lastOpenError;
  // Only the monitor touches these.
  std::vector<uint8_t> m_readBuffer;
  // A line without EV_RXCHAR in its mask is not watched for input: nothing
  // would read it, and a readable descriptor left unread would spin.
  bool m_watchInput = false;
  // Set while the owner holds all it will take: the line is left unread (its
  // hang-up is still noticed) until the owner asks for more.
  bool m_ownerFull = false;
};

}  // namespace orvana::link
