#pragma once

#include <array>
#include <optional>
#include <string>

// One result as the line's record keeps it: what the day log writes, and the
// context the bench judged it in, which the log does not hold.
namespace orvana::store {

struct StoredResult {
  // Unique among the bench's results, and the same however often the result
  // is sent: "r:" and 32 random hex digits for a result recorded live,
  // "l:YYYYMMDD:N" for line N of a day log read in later.
  std::string key;
  std::string bench;
  std::string serial;    // as the day log writes it ("****" when none was entered)
  std::string timeText;  // "YYYY/MM/DD hh:mm:ss", the bench's local time, as logged
  // The same moment for the database, with the bench's UTC offset:
  // "YYYY-MM-DDThh:mm:ss+hh:mm".
  std::string recordedAt;
  std::array<std::string, 4> texts;  // IL1, RL1, IL2, RL2 as logged
  // The numbers judged, the verdicts and the thresholds; none for a value that
  // was not measured, and none at all for a line read from an old log.
  std::array<std::optional<float>, 4> values;
  std::array<std::optional<bool>, 4> passed;
  std::array<std::optional<float>, 4> thresholds;
  std::string wavelengths;  // "850nm/1300nm" or "1310nm/1625nm"; empty when unknown
  std::string deviceName;
  std::string productNumber;
  std::string orderNumber;

  bool operator==(const StoredResult&) const = default;
};

// One event of a record the meter had stored, as an upload brought it.
struct UploadedEvent {
  // "e:" and 16 hex digits of what the event holds: the same records
  // uploaded again carry the same keys and are stored once.
  std::string key;
  std::string bench;
  std::string uploadedAt;  // "YYYY-MM-DDThh:mm:ss+hh:mm", when it arrived
  std::string recordDate;  // the record's date as the table shows it
  // The table's cells: "record--event", distance, loss, reflectance, total
  // loss, the event's type.
  std::array<std::string, 6> cells;

  bool operator==(const UploadedEvent&) const = default;
};

}  // namespace orvana::store
