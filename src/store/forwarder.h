#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/waiting.h"
#include "store/outbox.h"
#include "store/store_events.h"

// Sends the outbox to the database on a thread of its own, so the station
// never waits on the network or the server: batches of results, each one
// statement and so one transaction, the outbox's marks moved only after the
// commit. A batch whose commit is in doubt (the link broke while it was on
// its way) is sent again; the database keeps the first copy.
namespace orvana::store {

struct ForwarderOptions {
  size_t batchSize = 5000;
  // After a quiet spell the first new result waits this long for others,
  // so results at the meter's pace go a few at a time, not one by one.
  std::chrono::milliseconds gather{600};
  // The server may stay silent this long before the link is given up.
  std::chrono::milliseconds silenceLimit{std::chrono::seconds(10)};
  // Between attempts while the database is down: doubled from the first to
  // the last.
  std::chrono::milliseconds firstRetry{250};
  std::chrono::milliseconds lastRetry{std::chrono::seconds(5)};
};

class Forwarder {
 public:
  Forwarder(std::string conninfo, OutboxWriter& outbox, ForwarderOptions options = {});
  // Stops at once, even in the middle of a batch (which is then sent again
  // next time).
  ~Forwarder();
  Forwarder(const Forwarder&) = delete;
  Forwarder& operator=(const Forwarder&) = delete;

  // A result was appended to the outbox.
  void Notify();
  // Called on the forwarder's thread when events are queued; it should only
  // wake the forwarder's user, who then calls TakeEvents on its own thread.
  void SetEventSignal(std::function<void()> signal);
  std::vector<StoreEvent> TakeEvents();
  // Results committed since the start.
  size_t Sent() const;
  // Waits until everything in the outbox is committed, or `limit` is over;
  // true when it is. For the end of a run, so what was recorded is in the
  // database before the bench goes away.
  bool WaitUntilSent(std::chrono::milliseconds limit);

 private:
  void Run();
  bool Connect(class PgLink& link, std::string& why);
  void Queue(StoreEvent event);
  void GoDown(const std::string& reason, OutboxReader& reader);
  // False when stopped.
  bool Sleep(std::chrono::milliseconds duration);
  bool WaitForLines();
  void Reject(const std::vector<std::string>& lines, const std::string& why);

  const std::string m_conninfo;
  OutboxWriter& m_outbox;
  const ForwarderOptions m_options;
  // Ends any wait on the database at once when the forwarder goes.
  platform::StopEvent m_stopEvent;

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_sentChanged;
  bool m_stop = false;
  bool m_newLines = true;  // the outbox may hold lines from an earlier run
  bool m_allSent = false;  // nothing left to send when last looked
  bool m_up = false;       // as last told
  std::vector<StoreEvent> m_events;
  std::function<void()> m_signal;
  size_t m_sent = 0;
  std::thread m_thread;

  // The forwarder's thread's own.
  enum class State { Unknown, Up, Down };
  State m_state = State::Unknown;
  std::string m_downReason;
};

}  // namespace orvana::store
