#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "store/forwarder.h"
#include "store/outbox.h"
#include "store/store_config.h"
#include "store/stored_result.h"

// The bench's share of the line's record: every result it records goes into
// its outbox at once, and from there to the database when the database is
// there. The station only ever appends; the network is the forwarder's.
namespace orvana::store {

class ResultStore {
 public:
  // `outboxFolder` is created when the first result comes. `unsavedFolders`
  // are where results an earlier run could not keep were saved (the day
  // log's unsaved folders when empty).
  ResultStore(StoreConfig config, std::string outboxFolder, ForwarderOptions options = {},
              std::vector<std::string> unsavedFolders = {});

  // Gives `result` the bench's name and a key of its own and keeps it; on the
  // station's thread, never waiting on the database.
  void Record(const common::LocalTime& when, StoredResult result);

  // One event of an uploaded record, as the table shows it (`cells`, and
  // the record's date): kept as the results are, keyed by what it holds.
  void RecordEvent(const common::LocalTime& when, const std::string& recordDate,
                   const std::array<std::string, 6>& cells);

  const std::string& Bench() const { return m_config.bench; }
  // Called on the forwarder's thread (or the outbox's flusher, or the
  // station's) when events are queued; it should only wake the store's user.
  void SetEventSignal(std::function<void()> signal);
  // The database's events and the outbox's own failures, as StoreEvents.
  std::vector<StoreEvent> TakeEvents();
  size_t Sent() const { return m_forwarder->Sent(); }
  bool WaitUntilSent(std::chrono::milliseconds limit) { return m_forwarder->WaitUntilSent(limit); }
  OutboxWriter& Outbox() { return m_outbox; }

  // For the end of a run, after the last wait for the database: results
  // the outbox could not take are saved in files of the outbox's names in
  // the first of the unsaved folders that takes them, where a later run
  // finds and forwards them.
  records::SaveResult SaveUnwritten();

 private:
  // Results an earlier run saved with SaveUnwritten go into this run's
  // outbox, so they are sent with the rest; only by the outbox's sole
  // writer, so two benches never take the same file.
  void AdoptSaved();

  StoreConfig m_config;
  const std::vector<std::string> m_unsavedFolders;
  OutboxWriter m_outbox;
  std::unique_ptr<Forwarder> m_forwarder;
};

// "r:" and 32 hex digits (a run's random prefix and a count): unique without
// asking anyone, so benches need no coordination, and a copy sent twice
// carries the same key.
std::string NewResultKey();

// "YYYY-MM-DDThh:mm:ss+hh:mm": the local time with the UTC offset it had.
std::string RecordedAtText(const common::LocalTime& time);

}  // namespace orvana::store
