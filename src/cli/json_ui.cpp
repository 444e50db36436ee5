#include "cli/json_ui.h"

#include <nlohmann/json.hpp>

#include "results/column.h"

namespace orvana::cli {

using json = nlohmann::ordered_json;

namespace {

std::string Dump(const json& value) {
  // Serial numbers come from scanners and old files; never let one odd byte
  // stop the output.
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

std::string RowJson(const results::ResultsTable& table, int row, bool withColors) {
  json cells = json::array();
  json colors = json::array();
  for (int column = 0; column < results::kColumnCount; ++column) {
    cells.push_back(table.Text(row, column));
    const auto color = table.CellTextColor(row, column);
    colors.push_back(color ? json(color->Hex()) : json(nullptr));
  }
  json line = {{"row", row}, {"cells", cells}};
  if (withColors) line["colors"] = colors;
  return Dump(line);
}

JsonUi::JsonUi(OutputQueue& out, const results::ResultsTable& table, app::Answer questionAnswer)
    : m_out(out), m_table(table), m_answer(questionAnswer) {}

void JsonUi::Emit(std::string_view line) {
  m_batch.append(line);
  m_batch.push_back('\n');
  ++m_batchLines;
}

void JsonUi::Flush() {
  if (m_batchLines == 0) return;
  m_out.Push(m_batch, m_batchLines);
  m_batch.clear();
  m_batchLines = 0;
}

void JsonUi::ShowMessage(const std::string& caption, const std::string& text) {
  Emit(Dump({{"message", {{"caption", caption}, {"text", text}}}}));
}

app::Answer JsonUi::AskQuestion(const std::string& caption, const std::string& text) {
  const char* answer = m_answer == app::Answer::Ok ? "ok" : "cancel";
  Emit(Dump({{"message", {{"caption", caption}, {"text", text}, {"answer", answer}}}}));
  return m_answer;
}

void JsonUi::ShowValues(const std::array<std::string, 4>& values) {
  Emit(Dump({{"values", values}}));
}

void JsonUi::FrameHandled() {
  for (int row : m_changedRows) {
    if (row < m_table.RowCount()) Emit(RowJson(m_table, row, true));
  }
  m_changedRows.clear();
  Flush();
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
  Emit(Dump({{"cleared", true}}));
}

}  // namespace orvana::cli
