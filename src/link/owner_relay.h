#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "link/serial_port.h"

// Hands the transport's notifications from its monitor thread to the owner's
// thread, one at a time: the monitor waits until the owner thread has taken
// each one before it reads the next byte. Taking, not handling, releases the
// monitor, so bytes keep coming while a handler runs a nested event loop (a
// message box), yet never more than one waits.
namespace orvana::link {

class COwnerRelay final : public ISerialOwner {
 public:
  using Handler = std::function<void(const CommNotification&)>;
  // Called on the monitor thread: ask the owner thread to call Drain() soon.
  using Wake = std::function<void()>;

  COwnerRelay(Handler handler, Wake wake);

  void OnCommNotification(const CommNotification& notification) override;
  void OnMonitorStopping() override;
  void OnMonitorStopped() override;

  // Owner thread: takes and handles every waiting notification, in order;
  // returns how many. A handler may call Drain again from a nested loop.
  size_t Drain();

 private:
  Handler m_handler;
  Wake m_wake;
  std::mutex m_mutex;
  std::condition_variable m_taken;
  std::optional<CommNotification> m_slot;
  uint64_t m_posted = 0;  // notifications put in the slot so far
  uint64_t m_takenCount = 0;
  bool m_stopping = false;
};

}  // namespace orvana::link
