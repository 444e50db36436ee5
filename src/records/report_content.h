#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "records/log_import.h"
#include "records/report_information.h"
#include "results/column.h"
#include "results/outcome.h"
#include "results/results_table.h"
#include "results/settings_record.h"

// What a report holds: its rows, the column titles, the report information
// and the test settings. The window and orvana-cli both build it here, so a
// report reads the same whichever program wrote it and wherever its rows
// come from.
namespace orvana::records {

// The rows that go into a report, copied compactly from the table, so the
// table can go on changing while a worker thread writes the workbook.
// Blanked rows are left out here already, so they cost nothing.
class ReportRows {
 public:
  ReportRows() = default;

  // Every row of `table` that is not blanked, in table order, the wavelength
  // row included, each with its part's verdict. Must run on the thread that
  // owns the table.
  static ReportRows FromTable(const results::ResultsTable& table);

  size_t Size() const { return m_rowCount; }

  // Column 0..kColumnCount-1 of exported row `row`; NUL-terminated in place.
  std::string_view Text(size_t row, int column) const;
  const char* CText(size_t row, int column) const;
  // The verdict the table gave the part of exported row `row`
  // (results::RowVerdict); OUTCOME_NONE where nobody judged it.
  results::Outcome Verdict(size_t row) const { return m_verdicts[row]; }

  // False when the texts were too many to hold (several gigabytes); such a
  // snapshot holds nothing and cannot be written.
  bool Complete() const { return m_complete; }

 private:
  // The texts one after another, each followed by a NUL; `m_rowStarts` holds
  // where each row's first text begins. A cell is found by stepping over the
  // NULs before it, which costs a few bytes' scan and saves 24 bytes a row.
  std::string m_texts;
  std::vector<uint32_t> m_rowStarts;
  std::vector<results::Outcome> m_verdicts;
  size_t m_rowCount = 0;
  bool m_complete = true;
};

// The texts of one report row, in column order; the views are valid only
// while the row is being taken.
using ReportRowTexts = std::span<const std::string_view>;
// Takes a report's rows one at a time, in order. False when it takes no more
// (the workbook cannot be written, or its writing was cancelled).
using ReportRowSink = std::function<bool(ReportRowTexts)>;
// The same, each row with its part's verdict.
using ReportVerdictRowSink = std::function<bool(ReportRowTexts, results::Outcome)>;

// The rows of a report and where they come from. Either a snapshot taken
// beforehand, which a worker thread can write while the table goes on
// changing (the window), or rows handed over only while the workbook is
// being written, one at a time, so that a report of a million log lines
// needs no more memory than one of ten (orvana-cli's logs and database).
class ReportRowSource {
 public:
  // Hands every row to the sink, in order, and stops once the sink takes no
  // more. Empty when every row came or the sink stopped them; else why not
  // all of them could be had, and then the rows already handed over must not
  // make a report: a report that silently lacks a day is worse than none.
  using Feed = std::function<std::string(const ReportRowSink&)>;

  // No rows, of the table's seven columns.
  ReportRowSource() = default;
  // The rows of a snapshot; a snapshot is a source of its own.
  ReportRowSource(ReportRows snapshot);  // NOLINT(google-explicit-constructor)
  // Rows of `columns` texts each (seven, or eight with the bench), from
  // `feed`, which may run on another thread than the one that made it.
  static ReportRowSource Streamed(int columns, Feed feed);

  int Columns() const { return m_columns; }
  // How many rows there are, known before they come for a snapshot; 0 for
  // streamed rows, which are counted only as they come.
  size_t Size() const { return m_feed ? 0 : m_snapshot.Size(); }
  // False for a snapshot that was too large to take (ReportRows::Complete).
  bool Complete() const { return m_feed || m_snapshot.Complete(); }
  // Hands the rows to `sink` (see Feed).
  std::string HandRows(const ReportRowSink& sink) const;
  // The same with each row's verdict: the table's for a snapshot,
  // OUTCOME_NONE for streamed rows (a log or the database judges nothing).
  std::string HandRowsWithVerdicts(const ReportVerdictRowSink& sink) const;

 private:
  ReportRows m_snapshot;
  int m_columns = results::kColumnCount;
  Feed m_feed;
};

// How the reading of a report's logs went, for the report to tell once the
// workbook is written or given up.
struct LogReading {
  std::vector<ImportSummary> summaries;  // of the logs read to their end, in order
  std::string failedLog;                 // the one that could not be read, if any
  std::string error;                     // why, as ForEachLogRow says it
};

// The rows of `logs`, read line by line as the workbook takes them: the days
// one after another, in the order given, each in its own order (a report is
// read from top to bottom, unlike the window's table, where each import goes
// in after the first row). A log that cannot be read stops the rows with its
// reason, so no report is made of the others. `logs` and `reading` must
// outlive the source.
ReportRowSource LogReportRows(const std::vector<std::string>& logs, LogReading& reading);

// Titles of table columns 1 to 6, in column order (the language file's
// "disten", "loss", "refl", "allloss", "eventtype", "timedata").
using ColumnTitles = std::array<std::string, 6>;

// The report's words that the language file has no key for, in the language
// of the bench's texts: texts::ReportWordsFor gives them.
struct ReportWords {
  // Of the column that holds the times once more, as date-time values for a
  // filter or a sort. Empty: the time column's own title.
  std::string timeValueTitle;
  // Of the bench mode's verdict column: its title, and a part's verdict.
  std::string verdictTitle;
  std::string pass;
  std::string fail;
};

struct ReportContent {
  ReportRowSource rows;
  ColumnTitles columnTitles;
  ReportInformation information;
  results::TestSettings settings;
  common::LocalTime exportTime;
  // The title of column I when the rows have an eighth text for it.
  std::string extraColumnTitle;
  ReportWords words;
  // The bench mode's column J: each part's verdict, in `words`. Off, every
  // other report keeps the columns it has always had.
  bool verdictColumn = false;
};

// A report of `rows`, whatever they come from, with what goes around them.
ReportContent BuildReportContent(ReportRowSource rows, const ReportInformation& information,
                                 const results::TestSettings& settings,
                                 const ColumnTitles& columnTitles,
                                 const common::LocalTime& exportTime,
                                 std::string extraColumnTitle = {}, ReportWords words = {});

// The report of `table` as it stands now, its rows a snapshot; runs on the
// thread that owns the table. With `verdictColumn` (the bench mode), column J
// holds each part's verdict.
ReportContent BuildReportContent(const results::ResultsTable& table,
                                 const ReportInformation& information,
                                 const results::TestSettings& settings,
                                 const ColumnTitles& columnTitles,
                                 const common::LocalTime& exportTime, ReportWords words = {},
                                 bool verdictColumn = false);

}  // namespace orvana::records
