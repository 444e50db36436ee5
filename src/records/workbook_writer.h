#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "records/report_information.h"
#include "results/column.h"
#include "results/results_table.h"
#include "results/test_settings.h"

// The report: the results table written as a spreadsheet workbook (.xlsx).
//
// The first worksheet is the table as the meter's users know it: row 1 holds
// "NO." and the six column titles, row 2 stays empty, then one row per
// exported table row, numbered from 2. A table too long for one worksheet
// goes on in further worksheets laid out the same way. The last worksheet
// holds the report information and the test settings.
namespace orvana::records {

// The rows that go into a report, copied compactly from the table, so the
// table can go on changing while a worker thread writes the workbook.
// Blanked rows are left out here already, so they cost nothing.
class ReportRows {
 public:
  ReportRows() = default;

  // Every row of `table` that is not blanked, in table order, the wavelength
  // row included. Must run on the thread that owns the table.
  static ReportRows FromTable(const results::ResultsTable& table);

  size_t Size() const { return rowCount_; }
  // Column 0..6 of exported row `row`; NUL-terminated in place.
  std::string_view Text(size_t row, int column) const;
  const char* CText(size_t row, int column) const;

  // False when the texts were too many to hold (several gigabytes); such a
  // snapshot holds nothing and cannot be written.
  bool Complete() const { return complete_; }

 private:
  // The texts one after another, each followed by a NUL; `rowStarts_` holds
  // where each row's first text begins. A cell is found by stepping over the
  // NULs before it, which costs a few bytes' scan and saves 24 bytes a row.
  std::string texts_;
  std::vector<uint32_t> rowStarts_;
  size_t rowCount_ = 0;
  bool complete_ = true;
};

struct ReportContent {
  ReportRows rows;
  // Titles of table columns 1 to 6, in column order (the language file's
  // "disten", "loss", "refl", "allloss", "eventtype", "timedata").
  std::array<std::string, 6> columnTitles;
  ReportInformation information;
  results::TestSettings settings;
  common::LocalTime exportTime;
};

struct WorkbookOptions {
  // Told how many of the rows are written, now and then and once at the end;
  // returning false stops the export (nothing is left behind). Called on the
  // writing thread.
  std::function<bool(size_t written, size_t total)> progress;
  // Rows per worksheet, headings included. A workbook's real limit; smaller
  // values only make the continuation easy to see.
  size_t sheetRowLimit = 1048576;
};

struct WorkbookResult {
  enum class Status { Written, Cancelled, Failed };
  Status status = Status::Failed;
  std::string error;  // why, when Failed

  bool Written() const { return status == Status::Written; }
};

// Writes the workbook to `path`. The file appears complete or not at all: an
// existing file there is replaced only once the new one is whole. Never
// throws; the result says what happened.
WorkbookResult WriteWorkbook(const std::string& path, const ReportContent& content,
                             const WorkbookOptions& options = {});

// How a cell's text goes into the sheet. A plain decimal number (an optional
// minus, digits without a superfluous leading zero, optionally a point and
// digits; at most 15 digits in all) becomes a number shown with as many
// decimals as the text has, so it reads exactly the same; a time
// "YYYY/MM/DD HH:MM:SS" that names a real moment becomes a date and time shown
// that way; anything else stays text.
struct CellValue {
  enum class Kind { Text, Number, DateTime };
  Kind kind = Kind::Text;
  double number = 0;          // Number
  int decimals = 0;           // Number: digits after the point
  bool negativeZero = false;  // Number: "-0", "-0.00": zero shown with its sign
  common::LocalTime time;     // DateTime
};

CellValue ClassifyCellText(std::string_view text);

}  // namespace orvana::records
