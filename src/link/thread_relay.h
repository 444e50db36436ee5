#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "link/line_handlers.h"
#include "link/port_listener.h"

// Carries what a monitor thread receives over to the receiving thread (the
// window's). The monitor hands over whole reads and never waits; the
// receiving thread's Drain hands the bytes on one at a time, in order, each
// only after the one before it has been handled (a handler that runs a nested
// event loop, such as a message box, drains again from inside and carries on
// with the next byte). What nobody handles is not carried at all.
namespace orvana::link {

class CThreadRelay {
 public:
  // Called on the monitor thread: ask the receiving thread to call Drain()
  // soon. It is called only when something arrives while nothing waits, so
  // every Drain must run until nothing is left (it does).
  using Wake = std::function<void()>;
  // Called on the receiving thread once a relay that said it held enough has
  // room again: the monitor may read the line again.
  using Resume = std::function<void()>;

  // Bytes the relay takes before it asks the monitor to leave the line
  // alone for a while; the monitor reads on once half of them are handed on.
  static constexpr size_t kHoldLimit = 8192;

  CThreadRelay(LineHandlers handlers, Wake wake, Resume resume);

  // Monitor thread. Take keeps all of `bytes` and returns whether the relay
  // can take more; once it has said no, it calls Resume when it can.
  bool Take(std::span<const uint8_t> bytes);
  // A write discarded the line's input: so go the bytes not yet handed on,
  // and the monitor reads on without waiting for room.
  void Purge();
  // The monitor's end: a device that vanished is told after its last bytes;
  // a stop takes the rest along.
  void MonitorEnded(const MonitorEnd& end);

  // Receiving thread, once it has ended a monitor itself: nothing that monitor
  // left behind is wanted any more.
  void Forget();
  // Receiving thread: hands on everything waiting, in order; returns how
  // many things it handed on (each byte, and the device's loss). A handler
  // may call Drain again.
  size_t Drain();
  // Receiving thread: hands on the oldest thing waiting; false when there
  // was none.
  bool HandOnOne();
  // Received bytes not yet handed on.
  size_t HeldBytes() const;

 private:
  enum class Kind { kBytes, kLinkLost };
  struct Entry {
    Kind kind = Kind::kBytes;
    std::vector<uint8_t> bytes;
    size_t next = 0;  // the first byte not yet handed on
    std::string reason;
  };

  // Queues `entry` with m_mutex held; true when nothing was waiting before.
  bool Post(Entry&& entry);
  void Clear();
  void Recycle(std::vector<uint8_t>&& bytes);

  LineHandlers m_handlers;
  Wake m_wake;
  Resume m_resume;
  mutable std::mutex m_mutex;
  std::deque<Entry> m_queue;
  size_t m_held = 0;
  // Set while the monitor waits for room.
  bool m_resumeOwed = false;
  // A buffer of a chunk handed on, kept for the next one.
  std::vector<uint8_t> m_spare;
};

}  // namespace orvana::link
