#include "records/report_content.h"

#include <cstring>
#include <limits>

#include "results/column.h"
#include "results/table_operations.h"

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
  for (int row = 0; row < table.RowCount(); ++row) {
    if (results::IsBlankedRow(table, row)) continue;
    rows.m_rowStarts.push_back(static_cast<uint32_t>(rows.m_texts.size()));
    for (int column = 0; column < results::kColumnCount; ++column) {
      rows.m_texts.append(table.Text(row, column));
      rows.m_texts.push_back('\0');
    }
  }
  return rows;
}

ReportRows ReportRows::WithColumns(int columns) {
  ReportRows rows;
  rows.m_columns = columns;
  return rows;
}

bool ReportRows::AppendRow(const std::vector<std::string_view>& texts) {
  if (texts.size() != static_cast<size_t>(m_columns)) return false;
  size_t bytes = 0;
  for (const std::string_view text : texts) bytes += text.size() + 1;
  if (m_texts.size() + bytes > std::numeric_limits<uint32_t>::max()) {
    m_complete = false;
    return false;
  }
  m_rowStarts.push_back(static_cast<uint32_t>(m_texts.size()));
  for (const std::string_view text : texts) {
    m_texts.append(text);
    m_texts.push_back('\0');
  }
  ++m_rowCount;
  return true;
}

const char* ReportRows::CText(size_t row, int column) const {
  const char* text = m_texts.data() + m_rowStarts[row];
  for (int i = 0; i < column; ++i) text += std::strlen(text) + 1;
  return text;
}

std::string_view ReportRows::Text(size_t row, int column) const { return CText(row, column); }

ReportContent BuildReportContent(const results::ResultsTable& table,
                                 const ReportInformation& information,
                                 const results::TestSettings& settings,
                                 const ColumnTitles& columnTitles,
                                 const common::LocalTime& exportTime) {
  ReportContent content;
  content.rows = ReportRows::FromTable(table);
  content.columnTitles = columnTitles;
  content.information = information;
  content.settings = settings;
  content.exportTime = exportTime;
  return content;
}

}  // namespace orvana::records
