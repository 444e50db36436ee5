#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "records/daily_log.h"
#include "store/store_events.h"

// A change of the run's state that orvana-cli tells beside the results: the
// link, the day log, the uploaded records' file, the line's database, the
// planned erase. One subject, its new state, and a few named details, so
// that the JSON line and the readable line say the same thing in the same
// words.
namespace orvana::cli {

struct StatusField {
  std::string_view name;
  std::string value;
  bool number = false;  // written bare in JSON, not as a string
};

struct StatusLine {
  std::string_view subject;  // "link", "log", "records", "store", "erase"
  std::string_view state;    // "lost", "failing", "caught-up", ...
  std::vector<StatusField> fields;

  StatusLine& Text(std::string_view name, std::string value);
  StatusLine& Count(std::string_view name, size_t value);
};

// {"subject":"state","name":value,...}
void AppendStatusJson(std::string& out, const StatusLine& status);
// subject state (name: value, name: value)
void AppendStatusText(std::string& out, const StatusLine& status);

// A text for a terminal line: each run of line breaks becomes " - ", any
// other control character a space, so one text is one line.
void AppendOneLine(std::string& out, std::string_view text);

// The day log's (or with `records` the uploaded records' file's) failure or
// recovery.
StatusLine LogStatus(bool records, const records::LogEvent& event);
// The database's or the outbox's new state.
StatusLine StoreStatus(const store::StoreEvent& event);

}  // namespace orvana::cli
