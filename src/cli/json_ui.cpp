#include "cli/json_ui.h"

#include "cli/json_text.h"

namespace orvana::cli {

JsonUi::JsonUi(OutputQueue& out, const results::ResultsTable& table, station::Answer questionAnswer)
    : TerminalUi(out, questionAnswer), m_table(table) {}

void JsonUi::Message(const std::string& caption, const std::string& text, const char* answer) {
  std::string& line = Batch();
  line += "{\"message\":{\"caption\":";
  AppendJsonString(line, caption);
  line += ",\"text\":";
  AppendJsonString(line, text);
  if (answer != nullptr) {
    line += ",\"answer\":";
    AppendJsonString(line, answer);
  }
  line += "}}";
  EndLine();
}

void JsonUi::ShowValues(const std::array<std::string, 4>& values) {
  std::string& line = Batch();
  line += "{\"values\":[";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) line += ',';
    AppendJsonString(line, values[i]);
  }
  line += "]}";
  EndLine();
}

void JsonUi::FrameHandled() {
  for (int row : m_changedRows) {
    if (row < m_table.RowCount()) {
      AppendRowJson(Batch(), m_table, row, true);
      EndLine();
    }
  }
  m_changedRows.clear();
  EndFrame();
}

void JsonUi::RowsInserted(int first, int count) {
  // Rows already marked below the insertion point have moved down.
  std::set<int> moved;
  for (int row : m_changedRows) moved.insert(row >= first ? row + count : row);
  m_changedRows = std::move(moved);
  for (int row = first; row < first + count; ++row) m_changedRows.insert(row);
}

void JsonUi::RowChanged(int row) { m_changedRows.insert(row); }

void JsonUi::TableCleared() {
  m_changedRows.clear();
  Batch() += "{\"cleared\":true}";
  EndLine();
}

void JsonUi::Status(const StatusLine& status) {
  AppendStatusJson(Batch(), status);
  EndLine();
}

// {"scanned":S}: the scanner's line is taken; the next part recorded carries it.
void JsonUi::Scanned(const std::string& serial) {
  Batch() += "{\"scanned\":";
  AppendJsonString(Batch(), serial);
  Batch() += '}';
  EndLine();
}

// {"reused":S}, after the part's row.
void JsonUi::Reused(const std::string& serial) {
  Batch() += "{\"reused\":";
  AppendJsonString(Batch(), serial);
  Batch() += '}';
  EndLine();
}

}  // namespace orvana::cli
