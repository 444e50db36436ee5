#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "results/column.h"
#include "results/results_table.h"

// Reading daily logs back into the results table (the backup import).
namespace orvana::records {

// The fields of one stored line: serial, four value texts, time. Any CR at
// the line's end is dropped first. A complete line (five separators or more)
// is cut from the right: the time, then the four values, each of which holds
// no spaces; whatever stays on the left is the serial, spaces and all. A line
// with fewer separators is cut from the left, field by field. Empty fields
// keep their places. A line that holds nothing but blanks gives no field.
std::vector<std::string> SplitLine(std::string_view line);

// The fields placed in their columns (at most the table's seven).
results::RowTexts FieldsToRow(std::vector<std::string> fields);

// Every non-empty line of a log's content as a row, in order. A CR LF or a lone
// LF ends a line; the last line needs no end.
std::vector<results::RowTexts> ParseLogContent(std::string_view content);

// Reads a whole log file into rows. Nothing, with `error` telling why (the
// system's reason included), when the file cannot be opened or read. Another
// program appending to it meanwhile does not hand us half a line.
std::optional<std::vector<results::RowTexts>> ReadLogFile(const std::string& path,
                                                          std::string& error);

// Puts imported rows after the wavelength row and ahead of the rows already
// there (at row 0 of an empty table), in file order, as one insert. They get
// no colours; colours of the rows already there move with their rows.
// Returns the index of the first imported row.
int PlaceImportedRows(results::ResultsTable& table, std::vector<results::RowTexts> rows);

}  // namespace orvana::records
