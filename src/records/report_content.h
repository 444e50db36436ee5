#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "records/report_information.h"
#include "results/column.h"
#include "results/results_table.h"
#include "results/settings_record.h"

// What a report holds: the table's rows as they stood when it was asked for,
// the column titles, the report information and the test settings. The
// window and orvana-cli both build it here, so a report reads the same
// whichever program wrote it.
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

  size_t Size() const { return m_rowCount; }
  // An empty set of rows of `columns` texts each (the table's seven, or
  // eight with the bench of a report from the database), filled by AppendRow.
  static ReportRows WithColumns(int columns);
  // One row; its texts in column order, exactly Columns() of them. False
  // (and nothing added) when the texts would grow past what a set can hold.
  bool AppendRow(const std::vector<std::string_view>& texts);
  int Columns() const { return m_columns; }

  // Column 0..Columns()-1 of exported row `row`; NUL-terminated in place.
  std::string_view Text(size_t row, int column) const;
  const char* CText(size_t row, int column) const;

  // False when the texts were too many to hold (several gigabytes); such a
  // snapshot holds nothing and cannot be written.
  bool Complete() const { return m_complete; }

 private:
  // The texts one after another, each followed by a NUL; `m_rowStarts` holds
  // where each row's first text begins. A cell is found by stepping over the
  // NULs before it, which costs a few bytes' scan and saves 24 bytes a row.
  std::string m_texts;
  std::vector<uint32_t> m_rowStarts;
  size_t m_rowCount = 0;
  int m_columns = results::kColumnCount;
  bool m_complete = true;
};

// Titles of table columns 1 to 6, in column order (the language file's
// "disten", "loss", "refl", "allloss", "eventtype", "timedata").
using ColumnTitles = std::array<std::string, 6>;

struct ReportContent {
  ReportRows rows;
  ColumnTitles columnTitles;
  ReportInformation information;
  results::TestSettings settings;
  common::LocalTime exportTime;
  // The title of column I when the rows have an eighth text for it.
  std::string extraColumnTitle;
};

// The report of `table` as it stands now; runs on the thread that owns it.
ReportContent BuildReportContent(const results::ResultsTable& table,
                                 const ReportInformation& information,
                                 const results::TestSettings& settings,
                                 const ColumnTitles& columnTitles,
                                 const common::LocalTime& exportTime);

}  // namespace orvana::records
