#pragma once

#include <array>
#include <optional>
#include <string>

#include "common/clock.h"
#include "results/measurement_result.h"
#include "results/results_table.h"
#include "results/settings_record.h"
#include "results/time_text.h"

namespace orvana::results {

// The serial of a part recorded with an empty serial field.
inline constexpr const char* kNoSerialText = "****";

// What the daily log needs of a recorded row.
struct RecordedRow {
  std::string serial;                // "****" when no serial number was entered
  std::array<std::string, 4> texts;  // value texts of columns 1..4
  std::string timeText;              // "YYYY/MM/DD hh:mm:ss", as in column 5
  // Each value's verdict, decided here once; whoever keeps the row carries it.
  std::array<Outcome, 4> outcomes{};
  // The part's: the AND of the measured values' verdicts.
  Outcome verdict = OUTCOME_NONE;
  int row = -1;  // where the row went
};

// Turns results marked for recording into rows of the table: the newest row
// shows its passes in COLOR_PASS_LATEST, and when the next result comes the
// row before it is recoloured to COLOR_PASS.
class ResultRecorder {
 public:
  explicit ResultRecorder(ResultsTable& table) : m_table(table) {}

  // Does nothing and returns nothing when the result is not marked for
  // recording. `serialText` is the serial-number field as last read.
  std::optional<RecordedRow> Record(const MeasurementResult& result, const std::string& serialText,
                                    const TestSettings& settings, const common::LocalTime& now);

  // After the table was cleared: the previous result's row is gone, and no
  // other row may take its colours and texts.
  void ForgetPending();

  // The row being written; set also by applying the settings and by uploaded
  // event rows.
  int CurrentRow() const { return m_currentRow; }
  void SetCurrentRow(int row) { m_currentRow = row; }

 private:
  void RecolourPrevious();

  ResultsTable& m_table;
  std::array<Outcome, 4> m_prevOutcome{OUTCOME_NONE, OUTCOME_NONE, OUTCOME_NONE, OUTCOME_NONE};
  std::array<std::string, 4> m_prevText;
  // The row the previous result went into, by key, so rows inserted above it
  // or appended after it do not change which row is recoloured.
  ResultsTable::RowKey m_prevRow = 0;
  std::string m_rowSerial;
  int m_currentRow = 0;
};

}  // namespace orvana::results
