#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/clock.h"
#include "records/log_line.h"
#include "store/stored_result.h"

// Lines of day logs written before the bench used the database, as results
// for the record. A log holds only the texts, so the numbers are read from
// them and the verdicts and settings stay unknown.
namespace orvana::store {

// When a line of the log of `day` was recorded: its time text's moment, or
// the start of the day for a line without a readable one.
common::LocalTime TimeOfLoggedLine(const std::string& day, std::string_view timeText);

// The result of line `line` of the log of `day`: its key is "l:<day>:<line>",
// the same each time the log is read. A line without a readable time is
// placed at the start of its day. The bench is left to the caller.
StoredResult StoredResultOfLine(const std::string& day, size_t line,
                                const records::RowFields& fields);

}  // namespace orvana::store
