#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/clock.h"

// A result's time as the table shows it and the day log, the report and the
// line's record keep it: "YYYY/MM/DD hh:mm:ss", the bench's local time. The
// one writer of that text and the one reader of it.
namespace orvana::results {

// "%04d/%02d/%02d %02d:%02d:%02d" of the local time.
std::string FormatTimestamp(const common::LocalTime& time);

// The moment a time text names: only the writer's own layout, for a moment
// that exists (no 31 April), in a year after 1900 (the spreadsheet's dates
// begin there, and its 1900 has a 29 February that never was).
std::optional<common::LocalTime> ParseTimestamp(std::string_view text);

}  // namespace orvana::results
