#include "results/result_recorder.h"

#include <algorithm>
#include <cstdio>

#include "results/table_operations.h"

namespace orvana::results {
namespace {

constexpr const char* kNoSerial = "****";

}  // namespace

std::string FormatTimestamp(const common::LocalTime& time) {
  char text[64];
  const int length = std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", time.year,
                                   time.month, time.day, time.hour, time.minute, time.second);
  if (length <= 0) return {};
  return std::string(text, std::min(static_cast<size_t>(length), sizeof text - 1));
}

void ResultRecorder::ForgetPending() {
  m_prevOutcome.fill(OUTCOME_NONE);
  m_prevRow = 0;
}

void ResultRecorder::RecolourPrevious() {
  const int row = m_table.FindRow(m_prevRow);
  if (row < 0) return;
  // A row the user blanked stays blank.
  if (IsBlankedRow(m_table, row)) m_prevOutcome[0] = OUTCOME_NONE;
  if (m_prevOutcome[0] == OUTCOME_NONE) return;
  for (int k = 0; k < 4; ++k) {
    const size_t index = static_cast<size_t>(k);
    m_table.SetCellTextColor(ValueColumn(k), row,
                            m_prevOutcome[index] == OUTCOME_FAIL ? COLOR_FAIL : COLOR_PASS);
    m_table.SetText(row, ValueColumn(k), m_prevText[index]);
  }
}

std::optional<RecordedRow> ResultRecorder::Record(const MeasurementResult& result,
                                                  const std::string& serialText,
                                                  const TestSettings& settings,
                                                  const common::LocalTime& now) {
  if (!result.record) return std::nullopt;

  m_rowSerial = serialText.empty() ? kNoSerial : serialText;
  if (m_table.RowCount() > 0) RecolourPrevious();

  m_currentRow = m_table.AppendRow(m_rowSerial);
  const std::array<float, 4> thresholds = Thresholds(settings);
  for (int k = 0; k < 4; ++k) {
    const size_t index = static_cast<size_t>(k);
    const Outcome outcome = Judge(result.judged[index], thresholds[index]);
    m_table.SetCellTextColor(ValueColumn(k), m_currentRow,
                            outcome == OUTCOME_FAIL ? COLOR_FAIL : COLOR_PASS_LATEST);
    m_table.SetText(m_currentRow, ValueColumn(k), result.texts[index]);
    m_prevOutcome[index] = outcome;
  }
  m_prevText = result.texts;
  m_prevRow = m_table.KeyAt(m_currentRow);

  RecordedRow recorded;
  recorded.serial = m_rowSerial;
  recorded.texts = result.texts;
  recorded.timeText = FormatTimestamp(now);
  recorded.row = m_currentRow;
  m_table.SetText(m_currentRow, Column::Time, recorded.timeText);
  return recorded;
}

}  // namespace orvana::results
