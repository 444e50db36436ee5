#pragma once

#include <string>
#include <vector>

#include "cli/terminal_ui.h"
#include "texts/verdict_words.h"

// orvana-cli's output for a person watching the bench (listen --text): one
// readable line per recorded part, with its row, serial, values, time and
// verdict; a message box as its caption and text; a change of state in the
// words its JSON line uses. Results the meter only shows, and the
// recolouring of the row before, are not told.
namespace orvana::cli {

class TextUi final : public TerminalUi {
 public:
  TextUi(OutputQueue& out, const results::ResultsTable& table, station::Answer questionAnswer,
         texts::VerdictWords words);

  // station::IStationUi
  void ShowValues(const std::array<std::string, 4>& values) override;
  void FrameHandled() override;

  // results::ITableObserver
  void RowsInserted(int first, int count) override;
  void RowChanged(int) override {}
  void TableCleared() override;

  void Status(const StatusLine& status) override;

  // "dropped: N", for the lines the output lost while its reader lagged.
  static std::string DropMarker(uint64_t lines);

 private:
  void Message(const std::string& caption, const std::string& text, const char* answer) override;
  void Scanned(const std::string& serial) override;
  void Reused(const std::string& serial) override;
  void PartLine(int row);
  void RowLine(int row);

  const results::ResultsTable& m_table;
  texts::VerdictWords m_words;
  // The rows the frame being handled added, by key (a row's index may move).
  std::vector<results::ResultsTable::RowKey> m_newRows;
  bool m_resultFrame = false;  // the frame is a result: its new row is a part
};

}  // namespace orvana::cli
