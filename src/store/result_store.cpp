#include "store/result_store.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <random>

#include "common/trace.h"
#include "platform/file_names.h"
#include "platform/local_time.h"
#include "platform/system.h"
#include "store/outbox_line.h"

namespace orvana::store {

ResultStore::ResultStore(StoreConfig config, std::string outboxFolder, ForwarderOptions options,
                         std::vector<std::string> unsavedFolders)
    : m_config(std::move(config)),
      m_unsavedFolders(unsavedFolders.empty() ? records::UnsavedLineFolders()
                                              : std::move(unsavedFolders)),
      m_outbox(std::move(outboxFolder)) {
  m_config.bench = StorableText(m_config.bench);
  if (m_outbox.SoleWriter()) AdoptSaved();
  m_forwarder = std::make_unique<Forwarder>(m_config.conninfo, m_outbox, options);
}

void ResultStore::RecordEvent(const common::LocalTime& when, const std::string& recordDate,
                              const std::array<std::string, 6>& cells) {
  UploadedEvent event;
  event.bench = m_config.bench;
  event.uploadedAt = RecordedAtText(when);
  event.recordDate = StorableText(recordDate);
  for (size_t k = 0; k < cells.size(); ++k) event.cells[k] = StorableText(cells[k]);
  event.key = UploadedEventKey(event.recordDate, event.cells);
  m_outbox.Append(when, event);
  m_forwarder->Notify();
}

void ResultStore::SetEventSignal(std::function<void()> signal) {
  m_outbox.Log().SetEventSignal(signal);
  m_forwarder->SetEventSignal(std::move(signal));
}

std::vector<StoreEvent> ResultStore::TakeEvents() {
  std::vector<StoreEvent> events;
  for (records::LogEvent& logged : m_outbox.Log().TakeEvents()) {
    StoreEvent& event = events.emplace_back();
    if (logged.kind == records::LogEvent::Kind::Failing) {
      event.kind = StoreEvent::Kind::Failing;
      event.reason = logged.path + ": " + logged.reason;
      event.pending = logged.pending;
    } else {
      event.kind = StoreEvent::Kind::Recovered;
    }
  }
  for (StoreEvent& event : m_forwarder->TakeEvents()) events.push_back(std::move(event));
  return events;
}

records::SaveResult ResultStore::SaveUnwritten() {
  return m_outbox.Log().SavePending(m_unsavedFolders);
}

void ResultStore::AdoptSaved() {
  for (const std::string& folder : m_unsavedFolders) {
    for (const std::string& path : OutboxFilesIn(folder)) {
      std::vector<std::string> lines;
      if (!ReadOutboxLines(path, lines)) continue;
      const common::LocalTime day = DayOfOutboxFile(path);
      for (std::string& line : lines) m_outbox.Log().AppendLine(day, std::move(line) + "\n");
      // Its lines are the writer's now, in the outbox or (when it cannot
      // take them) held and saved again at the end of this run.
      platform::RemoveFile(path);
      common::Trace("%zu results saved by an earlier run taken from %s\n", lines.size(),
                    path.c_str());
    }
  }
}

void ResultStore::Record(const common::LocalTime& when, StoredResult result) {
  result.key = NewResultKey();
  result.bench = m_config.bench;
  m_outbox.Append(when, result);
  m_forwarder->Notify();
}

namespace {

// 64 random bits for the whole run, from the system's random source (the
// library's where that fails).
uint64_t RunPrefix() {
  uint64_t prefix = 0;
  if (!platform::RandomBytes(&prefix, sizeof prefix)) {
    std::random_device device;
    prefix = (static_cast<uint64_t>(device()) << 32) ^ device();
  }
  return prefix;
}

void AppendHex(std::string& text, uint64_t value) {
  constexpr char kHex[] = "0123456789abcdef";
  for (int shift = 60; shift >= 0; shift -= 4) text += kHex[(value >> shift) & 15];
}

}  // namespace

std::string NewResultKey() {
  // A random prefix drawn once per run and a count: as unique as 128 random
  // bits between runs and benches, and no system call per result.
  static const uint64_t prefix = RunPrefix();
  static std::atomic<uint64_t> count{0};
  std::string key = "r:";
  key.reserve(34);
  AppendHex(key, prefix);
  AppendHex(key, count.fetch_add(1, std::memory_order_relaxed));
  return key;
}

std::string RecordedAtText(const common::LocalTime& time) {
  const std::time_t moment = common::MomentOf(time);
  long offset = 0;
  if (moment != static_cast<std::time_t>(-1)) {
    if (const auto local = platform::LocalMomentOf(moment)) offset = local->utcOffset;
  }
  const char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  // Room for any int the fields may hold, not only a real date's, so the
  // compiler can see that nothing is cut short.
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", time.year,
                time.month, time.day, time.hour, time.minute, time.second, sign, offset / 3600,
                offset / 60 % 60);
  return text;
}

}  // namespace orvana::store
