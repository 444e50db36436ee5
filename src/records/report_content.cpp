#include "records/report_content.h"

#include <cstring>
#include <limits>
#include <utility>

#include "results/column.h"
#include "results/table_operations.h"
#include "results/verdict.h"

namespace orvana::records {

ReportRows ReportRows::FromTable(const results::ResultsTable& table) {
  ReportRows rows;
  // Sized exactly first: growing by doubling would cost the table's size
  // again for a moment.
  size_t bytes = 0;
  for (int row = 0; row < table.RowCount(); ++row) {
    if (results::IsBlankedRow(table, row)) continue;
    ++rows.m_rowCount;
    for (int column = 0; column < results::kColumnCount; ++column) {
      bytes += table.Text(row, column).size() + 1;
    }
  }
  if (bytes > std::numeric_limits<uint32_t>::max()) {
    rows.m_rowCount = 0;
    rows.m_complete = false;
    return rows;
  }
  rows.m_texts.reserve(bytes);
  rows.m_rowStarts.reserve(rows.m_rowCount);
  rows.m_verdicts.reserve(rows.m_rowCount);
  for (int row = 0; row < table.RowCount(); ++row) {
    if (results::IsBlankedRow(table, row)) continue;
    rows.m_rowStarts.push_back(static_cast<uint32_t>(rows.m_texts.size()));
    rows.m_verdicts.push_back(results::RowVerdict(table, row));
    for (int column = 0; column < results::kColumnCount; ++column) {
      rows.m_texts.append(table.Text(row, column));
      rows.m_texts.push_back('\0');
    }
  }
  return rows;
}

const char* ReportRows::CText(size_t row, int column) const {
  const char* text = m_texts.data() + m_rowStarts[row];
  for (int i = 0; i < column; ++i) text += std::strlen(text) + 1;
  return text;
}

std::string_view ReportRows::Text(size_t row, int column) const { return CText(row, column); }

ReportRowSource::ReportRowSource(ReportRows snapshot) : m_snapshot(std::move(snapshot)) {}

ReportRowSource ReportRowSource::Streamed(int columns, Feed feed) {
  ReportRowSource source;
  source.m_columns = columns;
  source.m_feed = std::move(feed);
  return source;
}

std::string ReportRowSource::HandRows(const ReportRowSink& sink) const {
  return HandRowsWithVerdicts(
      [&sink](ReportRowTexts texts, results::Outcome) { return sink(texts); });
}

std::string ReportRowSource::HandRowsWithVerdicts(const ReportVerdictRowSink& sink) const {
  if (m_feed) {
    return m_feed([&sink](ReportRowTexts texts) { return sink(texts, results::OUTCOME_NONE); });
  }
  std::array<std::string_view, results::kColumnCount> texts;
  for (size_t row = 0; row < m_snapshot.Size(); ++row) {
    // The row's texts lie one after another: step through them once.
    const char* text = m_snapshot.CText(row, 0);
    for (std::string_view& cell : texts) {
      cell = text;
      text += cell.size() + 1;
    }
    if (!sink(texts, m_snapshot.Verdict(row))) break;
  }
  return {};
}

ReportRowSource LogReportRows(const std::vector<std::string>& logs, LogReading& reading) {
  return ReportRowSource::Streamed(results::kColumnCount, [&logs,
                                                           &reading](const ReportRowSink& sink) {
    reading = LogReading{};
    bool taking = true;
    for (const std::string& log : logs) {
      ImportSummary summary;
      std::string error;
      const bool read = ForEachLogRow(
          log, [&](const RowFields& fields) { taking = taking && sink(fields); }, summary, error);
      if (!read) {
        reading.failedLog = log;
        reading.error = error;
        return "cannot read " + log + ": " + error;
      }
      reading.summaries.push_back(summary);
      if (!taking) break;
    }
    return std::string();
  });
}

ReportContent BuildReportContent(ReportRowSource rows, const ReportInformation& information,
                                 const results::TestSettings& settings,
                                 const ColumnTitles& columnTitles,
                                 const common::LocalTime& exportTime, std::string extraColumnTitle,
                                 ReportWords words) {
  ReportContent content;
  content.rows = std::move(rows);
  content.columnTitles = columnTitles;
  content.information = information;
  content.settings = settings;
  content.exportTime = exportTime;
  content.extraColumnTitle = std::move(extraColumnTitle);
  content.words = std::move(words);
  return content;
}

ReportContent BuildReportContent(const results::ResultsTable& table,
                                 const ReportInformation& information,
                                 const results::TestSettings& settings,
                                 const ColumnTitles& columnTitles,
                                 const common::LocalTime& exportTime, ReportWords words,
                                 bool verdictColumn) {
  ReportContent content = BuildReportContent(ReportRows::FromTable(table), information, settings,
                                             columnTitles, exportTime, {}, std::move(words));
  content.verdictColumn = verdictColumn;
  return content;
}

}  // namespace orvana::records
