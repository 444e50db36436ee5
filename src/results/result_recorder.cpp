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
  prevOutcome_.fill(OUTCOME_NONE);
  prevRow_ = 0;
}

void ResultRecorder::RecolourPrevious() {
  const int row = table_.FindRow(prevRow_);
  if (row < 0) return;
  // A row the user blanked stays blank.
  if (IsBlankedRow(table_, row)) prevOutcome_[0] = OUTCOME_NONE;
  if (prevOutcome_[0] == OUTCOME_NONE) return;
  for (int k = 0; k < 4; ++k) {
    const size_t index = static_cast<size_t>(k);
    table_.SetCellTextColor(ValueColumn(k), row,
                            prevOutcome_[index] == OUTCOME_FAIL ? COLOR_FAIL : COLOR_PASS);
    table_.SetText(row, ValueColumn(k), prevText_[index]);
  }
}

std::optional<RecordedRow> ResultRecorder::Record(const MeasurementResult& result,
                                                  const std::string& serialText,
                                                  const TestSettings& settings,
                                                  const common::LocalTime& now) {
  if (!result.record) return std::nullopt;

  rowSerial_ = serialText.empty() ? kNoSerial : serialText;
  if (table_.RowCount() > 0) RecolourPrevious();

  currentRow_ = table_.AppendRow(rowSerial_);
  const std::array<float, 4> thresholds = Thresholds(settings);
  for (int k = 0; k < 4; ++k) {
    const size_t index = static_cast<size_t>(k);
    const Outcome outcome = Judge(result.judged[index], thresholds[index]);
    table_.SetCellTextColor(ValueColumn(k), currentRow_,
                            outcome == OUTCOME_FAIL ? COLOR_FAIL : COLOR_PASS_LATEST);
    table_.SetText(currentRow_, ValueColumn(k), result.texts[index]);
    prevOutcome_[index] = outcome;
  }
  prevText_ = result.texts;
  prevRow_ = table_.KeyAt(currentRow_);

  RecordedRow recorded;
  recorded.serial = rowSerial_;
  recorded.texts = result.texts;
  recorded.timeText = FormatTimestamp(now);
  recorded.row = currentRow_;
  table_.SetText(currentRow_, Column::Time, recorded.timeText);
  return recorded;
}

}  // namespace orvana::results
