#include "results/result_recorder.h"

#include <algorithm>
#include <cstdio>

#include "results/table_operations.h"
#include "results/verdict.h"

namespace orvana::results {
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
  RowContent content = m_table.Content(row);
  for (int k = 0; k < 4; ++k) {
    const size_t index = static_cast<size_t>(k);
    const auto column = static_cast<size_t>(ColumnIndex(ValueColumn(k)));
    content.colors[column] = m_prevOutcome[index] == OUTCOME_FAIL ? COLOR_FAIL : COLOR_PASS;
    content.texts[column] = m_prevText[index];
  }
  m_table.SetRow(row, content);
}

std::optional<RecordedRow> ResultRecorder::Record(const MeasurementResult& result,
                                                  const std::string& serialText,
                                                  const TestSettings& settings,
                                                  const common::LocalTime& now) {
  if (!result.record) return std::nullopt;

  m_rowSerial = serialText.empty() ? kNoSerialText : serialText;
  if (m_table.RowCount() > 0) RecolourPrevious();

  RecordedRow recorded;
  recorded.serial = m_rowSerial;
  recorded.texts = result.texts;
  recorded.timeText = FormatTimestamp(now);

  RowContent content;
  content.texts[static_cast<size_t>(ColumnIndex(Column::Serial))] = m_rowSerial;
  content.texts[static_cast<size_t>(ColumnIndex(Column::Time))] = recorded.timeText;
  const std::array<float, 4> thresholds = Thresholds(settings);
  for (int k = 0; k < 4; ++k) {
    const size_t index = static_cast<size_t>(k);
    const auto column = static_cast<size_t>(ColumnIndex(ValueColumn(k)));
    const Outcome outcome = Judge(result.judged[index], thresholds[index]);
    content.colors[column] = outcome == OUTCOME_FAIL ? COLOR_FAIL : COLOR_PASS_LATEST;
    content.outcomes[column] = outcome;
    content.texts[column] = result.texts[index];
    m_prevOutcome[index] = outcome;
    recorded.outcomes[index] = outcome;
  }
  recorded.verdict = PartVerdict(recorded.outcomes, {recorded.texts[0], recorded.texts[1],
                                                     recorded.texts[2], recorded.texts[3]});
  m_currentRow = m_table.AppendRow(content);
  m_prevText = result.texts;
  m_prevRow = m_table.KeyAt(m_currentRow);
  recorded.row = m_currentRow;
  return recorded;
}

}  // namespace orvana::results
