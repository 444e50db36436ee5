#include "cli/text_ui.h"

#include <cstdio>

#include "results/column.h"
#include "results/verdict.h"

namespace orvana::cli {
namespace {

// Wide enough for every value the meter sends ("-12.34", "55.0"), so that
// the values of one part stand under those of the next, and a value not
// measured shows as a gap in its place.
constexpr int kValueWidth = 6;

}  // namespace

TextUi::TextUi(OutputQueue& out, const results::ResultsTable& table, station::Answer questionAnswer,
               texts::VerdictWords words)
    : TerminalUi(out, questionAnswer), m_table(table), m_words(words) {}

std::string TextUi::DropMarker(uint64_t lines) { return "dropped: " + std::to_string(lines); }

// [caption] text, and a question's answer: "[IL&RL] Delete the data? (answer: ok)".
void TextUi::Message(const std::string& caption, const std::string& text, const char* answer) {
  std::string& line = Batch();
  line += '[';
  AppendOneLine(line, caption);
  line += "] ";
  AppendOneLine(line, text);
  if (answer != nullptr) {
    line += " (answer: ";
    line += answer;
    line += ')';
  }
  EndLine();
}

void TextUi::ShowValues(const std::array<std::string, 4>&) { m_resultFrame = true; }

void TextUi::RowsInserted(int first, int count) {
  for (int row = first; row < first + count; ++row) m_newRows.push_back(m_table.KeyAt(row));
}

void TextUi::TableCleared() {
  m_newRows.clear();
  Batch() += "cleared";
  EndLine();
}

void TextUi::FrameHandled() {
  for (const results::ResultsTable::RowKey key : m_newRows) {
    const int row = m_table.FindRow(key);
    if (row < 0) continue;
    if (m_resultFrame) {
      PartLine(row);
    } else {
      RowLine(row);
    }
  }
  m_newRows.clear();
  m_resultFrame = false;
  EndFrame();
}

// #N  serial  IL1  RL1  IL2  RL2  time  verdict, N counting the table's rows from 1.
void TextUi::PartLine(int row) {
  using results::Column;
  std::string& line = Batch();
  line += '#' + std::to_string(row + 1) + "  ";
  AppendOneLine(line, m_table.Text(row, Column::Serial));
  line += ' ';
  for (int k = 0; k < 4; ++k) {
    const std::string_view value = m_table.Text(row, results::ValueColumn(k));
    line += ' ';
    if (value.size() < kValueWidth) line.append(kValueWidth - value.size(), ' ');
    AppendOneLine(line, value);
  }
  line += "  ";
  line += m_table.Text(row, Column::Time);
  const std::string_view verdict = m_words.For(results::RowVerdict(m_table, row));
  if (!verdict.empty()) {
    line += "  ";
    line += verdict;
  }
  EndLine();
}

// A row that is no part of the bench's (an uploaded record's event): its
// cells as the table shows them.
void TextUi::RowLine(int row) {
  std::string& line = Batch();
  line += '#' + std::to_string(row + 1);
  for (int column = 0; column < results::kColumnCount; ++column) {
    const std::string_view cell = m_table.Text(row, column);
    if (cell.empty()) continue;
    line += "  ";
    AppendOneLine(line, cell);
  }
  EndLine();
}

void TextUi::Status(const StatusLine& status) {
  AppendStatusText(Batch(), status);
  EndLine();
}

void TextUi::Scanned(const std::string& serial) {
  Batch() += "scanned: ";
  AppendOneLine(Batch(), serial);
  EndLine();
}

void TextUi::Reused(const std::string& serial) {
  Batch() += "reused: ";
  AppendOneLine(Batch(), serial);
  EndLine();
}

}  // namespace orvana::cli
