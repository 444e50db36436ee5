#pragma once

#include <string>
#include <string_view>

#include "records/log_line.h"
#include "results/column.h"

// The meter's stored records, as an upload brings them, kept beside the day
// log in a file of their own per day ("YYYYMMDD.records"): an erase of the
// meter then loses nothing the program has seen. One line per event row,
// the table's seven cells in column order (record and event number,
// distance, reflectance, loss, total loss, event type, the record's date)
// joined by the day log's separator and ended as its lines are. None of the
// cells but the date holds a space, and the date none of three in a row, so
// the line is cut back into its cells from the left.
namespace orvana::records {

inline constexpr std::string_view kRecordsExtension = ".records";

// The line of one event row, without its end. Each cell is cut as the day
// log cuts its values, and an LF, CR or NUL in it becomes a space.
std::string FormatRecordLine(const results::RowTexts& cells);

// Cuts a line of uploaded records into its seven cells, from the left; the
// last takes whatever follows its separator. Returns how many cells the line
// gave, 0 for a blank line.
size_t SplitRecordFields(std::string_view line, RowFields& fields);

// True for a file of uploaded records (named "….records").
bool IsRecordsFile(std::string_view path);

}  // namespace orvana::records
