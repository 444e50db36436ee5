#include "store/forwarder.h"

#include <algorithm>

#include "common/trace.h"
#include "platform/file_io.h"
#include "platform/open_file.h"
#include "store/batch_insert.h"
#include "store/pg_link.h"
#include "store/schema.h"
#include "store/store_config.h"

namespace orvana::store {
namespace {

// Lines the database refuses, or that are no result at all, are kept here
// for a person to look at; they are never sent again by themselves.
constexpr const char* kRejectedFile = "rejected.txt";

// Without a new line the forwarder still looks this often: the outbox
// writer's kept lines reach their file without telling anyone.
constexpr auto kIdleLook = std::chrono::seconds(1);

// A database made before uploaded records were kept has no table for them,
// and a bench's role may lack the right to fill it: the records are set aside.
bool EventsNotTaken(const PgReply& reply) {
  return reply.status == PgReply::Status::Failed &&
         (reply.sqlState == "42P01" || reply.sqlState == "42501");
}

std::string EventsWhy(const PgReply& reply) {
  return reply.sqlState == "42P01"
             ? "the database has no table for uploaded records: let its owner run orvana-cli "
               "store --schema's SQL"
             : "this role may not store uploaded records (" + reply.message +
                   "); grant it as orvana-cli store --schema shows";
}

}  // namespace

Forwarder::Forwarder(std::string conninfo, OutboxWriter& outbox, ForwarderOptions options)
    : m_conninfo(std::move(conninfo)),
      m_outbox(outbox),
      m_options(options) {
  m_thread = std::thread([this] { Run(); });
}

Forwarder::~Forwarder() {
  {
    std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  m_sentChanged.notify_all();
  m_stopEvent.Signal();
  m_thread.join();
}

void Forwarder::Notify() {
  bool wake = false;
  {
    std::lock_guard lock(m_mutex);
    wake = !m_newLines;
    m_newLines = true;
    m_allSent = false;
  }
  if (wake) m_wake.notify_one();
}

void Forwarder::SetEventSignal(std::function<void()> signal) {
  bool queued = false;
  {
    std::lock_guard lock(m_mutex);
    m_signal = signal;
    queued = !m_events.empty();
  }
  // The thread may have found the database down before anyone listened.
  if (queued && signal) signal();
}

std::vector<StoreEvent> Forwarder::TakeEvents() {
  std::lock_guard lock(m_mutex);
  std::vector<StoreEvent> events;
  events.swap(m_events);
  return events;
}

bool Forwarder::WaitUntilSent(std::chrono::milliseconds limit) {
  std::unique_lock lock(m_mutex);
  // Only a database that is up gets the time; a bench without one quits at
  // once, its results kept for the next run.
  return m_sentChanged.wait_for(lock, limit,
                                [this] { return m_stop || !m_up || (m_allSent && !m_newLines); }) &&
         m_up && !m_stop;
}

size_t Forwarder::Sent() const {
  std::lock_guard lock(m_mutex);
  return m_sent;
}

void Forwarder::Queue(StoreEvent event) {
  std::function<void()> signal;
  {
    std::lock_guard lock(m_mutex);
    if (event.kind == StoreEvent::Kind::Up || event.kind == StoreEvent::Kind::Down) {
      m_up = event.kind == StoreEvent::Kind::Up;
    }
    m_sentChanged.notify_all();
    // A user that never looks must not make the queue grow without end;
    // the newest state is the one that matters.
    if (m_events.size() >= 64) m_events.erase(m_events.begin());
    m_events.push_back(std::move(event));
    signal = m_signal;
  }
  if (signal) signal();
}

void Forwarder::GoDown(const std::string& reason, OutboxReader& reader) {
  if (m_state == State::Down) return;
  m_state = State::Down;
  common::Trace("Result store down: %s\n", reason.c_str());
  StoreEvent event;
  event.kind = StoreEvent::Kind::Down;
  event.reason = reason;
  event.pending = reader.CountUnsent() + m_outbox.Unwritten();
  Queue(std::move(event));
}

bool Forwarder::Sleep(std::chrono::milliseconds duration) {
  std::unique_lock lock(m_mutex);
  return !m_wake.wait_for(lock, duration, [this] { return m_stop; });
}

bool Forwarder::WaitForLines() {
  std::unique_lock lock(m_mutex);
  const bool woken = m_wake.wait_for(lock, kIdleLook, [this] { return m_stop || m_newLines; });
  if (m_stop) return false;
  if (!woken) return true;
  // A result after a quiet spell: let the ones right behind it join it.
  return !m_wake.wait_for(lock, m_options.gather, [this] { return m_stop; });
}

bool Forwarder::Connect(PgLink& link, std::string& why) {
  if (!link.Connect(m_conninfo)) {
    why = link.Error();
    if (why.find("no password supplied") != std::string::npos) {
      why += " (the bench reads its password from ~/.pgpass, PGPASSFILE or the service file)";
    }
    return false;
  }
  why = EnsureSchema(link);
  if (why.empty()) return true;
  link.Close();
  return false;
}

void Forwarder::Reject(const std::vector<std::string>& lines, const std::string& why) {
  if (lines.empty()) return;
  const std::string path = m_outbox.Folder() + "/" + kRejectedFile;
  common::Trace("%zu results kept in %s, not sent: %s\n", lines.size(), path.c_str(), why.c_str());
  // A file nobody reads is no way to be told: the user hears of it too.
  StoreEvent refused;
  refused.kind = StoreEvent::Kind::Refused;
  refused.reason = why;
  refused.results = lines.size();
  refused.file = path;
  Queue(std::move(refused));
  std::string bytes;
  for (const std::string& line : lines) bytes.append(line).push_back('\n');
  platform::OpenOptions options;
  options.noFollow = true;
  options.mode = 0600;
  const int fd = platform::OpenFile(path, platform::OpenMode::Append, options);
  if (fd < 0 || platform::WriteSome(fd, bytes.data(), bytes.size()) !=
                    static_cast<long long>(bytes.size())) {
    common::Trace("Cannot keep rejected results in %s\n", path.c_str());
  }
  if (fd >= 0) platform::CloseFile(fd);
}

void Forwarder::Run() {
  PgLink link(&m_stopEvent, m_options.silenceLimit);
  OutboxReader reader(m_outbox.Folder());
  auto retry = m_options.firstRetry;
  bool catchingUp = false;
  size_t sentSinceUp = 0;
  int failures = 0;  // attempts in a row that ended without a commit
  const auto stopped = [this] {
    std::lock_guard lock(m_mutex);
    return m_stop;
  };
  const auto fail = [&](const std::string& reason) {
    // A link that broke once (a server restarted while we were idle) is
    // tried again at once; only a second failure in a row means down.
    link.Close();
    if (++failures < 2) return true;
    GoDown(reason, reader);
    if (!Sleep(retry)) return false;
    retry = std::min(retry * 2, m_options.lastRetry);
    return true;
  };

  // A connection string that holds a password is never used: the results
  // wait in the outbox until it is mended.
  if (const std::string why = CheckConninfo(m_conninfo); !why.empty()) {
    GoDown(why, reader);
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return m_stop; });
    return;
  }
  while (!stopped()) {
    if (!link.Connected()) {
      std::string why;
      if (!Connect(link, why)) {
        if (stopped()) return;
        failures = std::max(failures, 1);
        if (!fail(why)) return;
        continue;
      }
      if (m_state != State::Up) {
        m_state = State::Up;
        Queue(StoreEvent{StoreEvent::Kind::Up, {}, 0, 0, 0, {}});
        catchingUp = true;
        sentSinceUp = 0;
      }
    }
    {
      std::lock_guard lock(m_mutex);
      m_newLines = false;
    }
    OutboxBatch batch = reader.Next(m_options.batchSize);
    for (std::string& file : reader.TakeChangedFiles()) {
      StoreEvent changed;
      changed.kind = StoreEvent::Kind::Changed;
      changed.file = std::move(file);
      Queue(std::move(changed));
    }
    if (batch.Empty()) {
      if (m_outbox.Unwritten() == 0) {
        std::lock_guard lock(m_mutex);
        m_allSent = !m_newLines;
        m_sentChanged.notify_all();
      }
      if (catchingUp && m_outbox.Unwritten() == 0) {
        catchingUp = false;
        Queue(StoreEvent{StoreEvent::Kind::CaughtUp, {}, 0, sentSinceUp, 0, {}});
      }
      if (!WaitForLines()) return;
      continue;
    }
    Reject(batch.malformed, "not a result line");
    const InsertOutcome outcome = InsertResults(link, batch.results);
    if (!outcome.Done()) {
      if (outcome.reply.status == PgReply::Status::Stopped) return;
      // The server refused for a reason of its own (rights, a full disk, a
      // read-only standby): down until it changes its mind.
      if (outcome.reply.status == PgReply::Status::Failed) failures = std::max(failures, 1);
      if (!fail(outcome.reply.message)) return;
      continue;
    }
    failures = 0;
    retry = m_options.firstRetry;
    std::vector<std::string> refused;
    for (const size_t index : outcome.refused) refused.push_back(batch.lines[index]);
    Reject(refused, "the database refused them");
    if (!batch.events.empty()) {
      const InsertOutcome events = InsertEvents(link, batch.events);
      if (events.reply.status == PgReply::Status::Stopped) return;
      if (!events.Done() && !EventsNotTaken(events.reply)) {
        if (!fail(events.reply.message)) return;
        continue;  // the results go again with them; the database keeps one copy
      }
      std::vector<std::string> notTaken;
      if (events.Done()) {
        for (const size_t index : events.refused) notTaken.push_back(batch.eventLines[index]);
      } else {
        notTaken = batch.eventLines;
      }
      // The records are in the bench's own files whatever happens here; a
      // database without their table, or a role that may not fill it, must
      // not hold the results up.
      Reject(notTaken, events.Done() ? "the database refused them" : EventsWhy(events.reply));
    }
    reader.Commit(batch, m_outbox.Unwritten() == 0);
    const size_t sent = batch.results.size() - outcome.refused.size();
    sentSinceUp += sent;
    std::lock_guard lock(m_mutex);
    m_sent += sent;
  }
}

}  // namespace orvana::store
