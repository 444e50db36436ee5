#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "link/serial_port.h"

// Carries what the transport's monitor thread receives over to the owner's
// thread. The monitor hands over whole reads and never waits; the owner's
// Drain hands the bytes on one at a time, in order, each only after the one
// before it has been handled (a handler that runs a nested event loop, such as
// a message box, drains again from inside and carries on with the next byte).
// What nobody handles is not carried at all.
namespace orvana::link {

class COwnerRelay final : public ISerialOwner {
 public:
  struct Handlers {
    // Every received byte, one at a time, in order.
    std::function<void(uint8_t)> onByte;
    // The monitor's other notifications; when empty they stay on its thread.
    std::function<void(const CommNotification&)> onNotification;
    // The device vanished under the monitor; comes after the last byte it sent.
    std::function<void(const std::string& reason)> onLinkLost;
  };
  // Called on the monitor thread: ask the owner thread to call Drain() soon.
  // It is called only when something arrives while nothing waits, so every
  // Drain must run until nothing is left (it does).
  using Wake = std::function<void()>;

  // Bytes the relay takes before it asks the monitor to leave the line
  // alone for a while; the monitor reads on once half of them are handed on.
  static constexpr size_t kHoldLimit = 8192;

  COwnerRelay(Handlers handlers, Wake wake);

  // ISerialOwner: the monitor thread, except OnMonitorStopped.
  bool OnReceive(std::span<const uint8_t> bytes, const ResumeReading& resume) override;
  void OnCommNotification(const CommNotification& notification) override;
  void OnInputPurged() override;
  void OnMonitorEnded(const MonitorEnd& end) override;
  void OnMonitorStopped() override;

  // Owner thread: hands on everything waiting, in order; returns how many
  // bytes and notifications it handed on. A handler may call Drain again.
  size_t Drain();
  // Owner thread: hands on the oldest thing waiting; false when there was none.
  bool HandOnOne();
  // Received bytes not yet handed on.
  size_t HeldBytes() const;

 private:
  enum class Kind { kBytes, kNotification, kLinkLost };
  struct Entry {
    Kind kind = Kind::kBytes;
    std::vector<uint8_t> bytes;
    size_t next = 0;  // the first byte not yet handed on
    CommNotification notification;
    std::string reason;
  };

  // Queues `entry` with m_mutex held; true when nothing was waiting before.
  bool Post(Entry&& entry);
  void DropBytes();
  void Recycle(std::vector<uint8_t>&& bytes);

  Handlers m_handlers;
  Wake m_wake;
  mutable std::mutex m_mutex;
  std::deque<Entry> m_queue;
  size_t m_held = 0;
  // Set while the monitor waits for room.
  ResumeReading m_resume;
  // A buffer of a chunk handed on, kept for the next one.
  std::vector<uint8_t> m_spare;
};

}  // namespace orvana::link
