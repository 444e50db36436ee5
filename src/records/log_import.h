#pragma once

#include <array>
#include <cstddef>
#include <functional>
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

// The texts of one row, in column order, as views into the line they were
// cut from.
using RowFields = std::array<std::string_view, results::kColumnCount>;

// SplitLine into the table's columns without copying: fields beyond the last
// column are dropped, missing ones are empty. Returns how many fields the
// line gave (0 for a blank line: no row).
size_t SplitLineFields(std::string_view line, RowFields& fields);

// The fields placed in their columns (at most the table's seven).
results::RowTexts FieldsToRow(std::vector<std::string> fields);

// Every non-empty line of a log's content as a row, in order. A CR LF or a lone
// LF ends a line; the last line needs no end.
std::vector<results::RowTexts> ParseLogContent(std::string_view content);

// No line the writer writes comes near this; a longer one is not a result and
// is skipped rather than held in memory.
inline constexpr size_t kLongestImportedLine = 4096;

struct ImportSummary {
  size_t rows = 0;            // lines that gave a row
  size_t skippedTooLong = 0;  // lines longer than kLongestImportedLine
};

// Reads a log file piece by piece and hands each row to `row`, in file order;
// the views are valid only during the call. Memory stays bounded whatever the
// file holds. Fails, with `error` telling why (the system's reason included),
// when the path is not a regular file or cannot be opened or read; rows
// handed over before a read error are then to be thrown away. Lines another
// program appends meanwhile are not read, so none is read in half. Skipped
// lines are traced ("N lines skipped: too long").
using RowSink = std::function<void(const RowFields&)>;
bool ForEachLogRow(const std::string& path, const RowSink& row, ImportSummary& summary,
                   std::string& error);

// Reads a whole log file into rows (ForEachLogRow, collected).
std::optional<std::vector<results::RowTexts>> ReadLogFile(const std::string& path,
                                                          std::string& error);

// Puts imported rows after the wavelength row and ahead of the rows already
// there (at row 0 of an empty table), in file order, as one insert. They get
// no colours; colours of the rows already there move with their rows.
// Returns the index of the first imported row.
int PlaceImportedRows(results::ResultsTable& table, std::vector<results::RowTexts> rows);

// The backup import: reads the file straight into table rows and places them
// as PlaceImportedRows does, as one insert, without holding the file's texts
// a second time. Nothing changes when it fails.
std::optional<ImportSummary> ImportLogFile(results::ResultsTable& table, const std::string& path,
                                           std::string& error);

}  // namespace orvana::records
