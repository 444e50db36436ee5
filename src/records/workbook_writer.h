#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "records/report_content.h"

// The report: the results table written as a spreadsheet workbook (.xlsx).
//
// The first worksheet is the table as the meter's users know it: row 1 holds
// "NO." and the six column titles, row 2 stays empty, then one row per
// exported table row, numbered from 2, in columns A to I with their widths.
// Every cell reads whole as the workbook opens: a value that would not fit
// its column stays text, which spills into the empty cell beside it (the
// time in G). After those columns, where no program that reads them looks,
// come the bench mode's verdict (J) and the times as date-time values (K),
// for a filter or a sort. A table too long for one worksheet goes on in
// further worksheets laid out the same way. The last worksheet holds the
// report information and the test settings. The rows are written as their
// source hands them over, so a report's memory does not grow with its rows.
namespace orvana::records {

struct WorkbookOptions {
  // Told how many of the rows are written, now and then and once at the end,
  // and how many there are (ReportRowSource::Size: 0 for streamed rows);
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
// existing file there is replaced only once the new one is whole, and rows
// whose source fails part-way (its reason is the error then) leave nothing.
// Never throws; the result says what happened.
WorkbookResult WriteWorkbook(const std::string& path, const ReportContent& content,
                             const WorkbookOptions& options = {});

// How a cell's text goes into the sheet where its column is wide enough for
// it. A plain decimal number (an optional minus, digits without a superfluous
// leading zero, optionally a point and digits; at most 15 digits in all)
// becomes a number shown with as many decimals as the text has, so it reads
// exactly the same; a time "YYYY/MM/DD HH:MM:SS" that names a real moment
// becomes a date and time shown that way; anything else stays text.
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
