#include "cli/json_ui.h"

#include "cli/json_text.h"

namespace orvana::cli {

JsonUi::JsonUi(OutputQueue& out, const results::ResultsTable& table, station::Answer questionAnswer)
    : m_out(out), m_table(table), m_answer(questionAnswer) {}

void JsonUi::Emit(std::string_view line) {
  m_batch.append(line);
  EndLine();
}

void JsonUi::EndLine() {
  m_batch.push_back('\n');
  ++m_batchLines;
}

void JsonUi::Flush() {
  if (m_batchLines == 0) return;
  m_out.Push(m_batch, m_batchLines);
  m_batch.clear();
  m_batchLines = 0;
}

void JsonUi::Message(const std::string& caption, const std::string& text, const char* answer) {
  m_batch += "{\"message\":{\"caption\":";
  AppendJsonString(m_batch, caption);
  m_batch += ",\"text\":";
  AppendJsonString(m_batch, text);
  if (answer != nullptr) {
    m_batch += ",\"answer\":";
    AppendJsonString(m_batch, answer);
  }
  m_batch += "}}";
  EndLine();
}

void JsonUi::ShowMessage(const std::string& caption, const std::string& text) {
  Message(caption, text, nullptr);
}

station::Answer JsonUi::AskQuestion(const std::string& caption, const std::string& text,
                                    station::Answer) {
  Message(caption, text, m_answer == station::Answer::Ok ? "ok" : "cancel");
  return m_answer;
}

void JsonUi::ShowValues(const std::array<std::string, 4>& values) {
  m_batch += "{\"values\":[";
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) m_batch += ',';
    AppendJsonString(m_batch, values[i]);
  }
  m_batch += "]}";
  EndLine();
}

void JsonUi::FrameHandled() {
  for (int row : m_changedRows) {
    if (row < m_table.RowCount()) {
      AppendRowJson(m_batch, m_table, row, true);
      EndLine();
    }
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
  Emit("{\"cleared\":true}");
}

// {"store":"up"}, {"store":"down","reason":R,"pending":N},
// {"store":"caught-up","sent":N}.
void JsonUi::ShowLogState(bool records, const records::LogEvent& event, const std::string&,
                          const std::string&) {
  std::string line = records ? "{\"records\":" : "{\"log\":";
  if (event.kind == records::LogEvent::Kind::Failing) {
    AppendJsonString(line, "failing");
    line += ",\"reason\":";
    AppendJsonString(line, event.reason);
    line += ",\"pending\":" + std::to_string(event.pending);
  } else {
    AppendJsonString(line, "recovered");
  }
  line += '}';
  Emit(line);
}

void JsonUi::ShowStoreState(const store::StoreEvent& event, bool) {
  std::string line = "{\"store\":";
  switch (event.kind) {
    case store::StoreEvent::Kind::Up:
      AppendJsonString(line, "up");
      break;
    case store::StoreEvent::Kind::Down:
      AppendJsonString(line, "down");
      line += ",\"reason\":";
      AppendJsonString(line, event.reason);
      line += ",\"pending\":" + std::to_string(event.pending);
      break;
    case store::StoreEvent::Kind::CaughtUp:
      AppendJsonString(line, "caught-up");
      line += ",\"sent\":" + std::to_string(event.sent);
      break;
    case store::StoreEvent::Kind::Failing:
      AppendJsonString(line, "failing");
      line += ",\"reason\":";
      AppendJsonString(line, event.reason);
      line += ",\"pending\":" + std::to_string(event.pending);
      break;
    case store::StoreEvent::Kind::Recovered:
      AppendJsonString(line, "recovered");
      break;
    case store::StoreEvent::Kind::Refused:
      AppendJsonString(line, "refused");
      line += ",\"results\":" + std::to_string(event.results) + ",\"reason\":";
      AppendJsonString(line, event.reason);
      line += ",\"file\":";
      AppendJsonString(line, event.file);
      break;
    case store::StoreEvent::Kind::Changed:
      // What the file held unsent is in the day log only now.
      AppendJsonString(line, "outbox-changed");
      line += ",\"file\":";
      AppendJsonString(line, event.file);
      break;
  }
  line += '}';
  Emit(line);
}

}  // namespace orvana::cli
