#pragma once

#include <set>
#include <string>
#include <string_view>

#include "cli/terminal_ui.h"

// orvana-cli's output for scripts: every message box, value update, table
// change and change of state becomes one JSON object on its own line, so
// scripts follow the bench as it happens at one hand-over per frame.
namespace orvana::cli {

class JsonUi final : public TerminalUi {
 public:
  JsonUi(OutputQueue& out, const results::ResultsTable& table, station::Answer questionAnswer);

  // station::IStationUi
  void ShowValues(const std::array<std::string, 4>& values) override;
  void FrameHandled() override;

  // results::ITableObserver
  void RowsInserted(int first, int count) override;
  void RowChanged(int row) override;
  void TableCleared() override;

  void Status(const StatusLine& status) override;

 private:
  void Message(const std::string& caption, const std::string& text, const char* answer) override;
  void Scanned(const std::string& serial) override;
  void Reused(const std::string& serial) override;

  const results::ResultsTable& m_table;
  std::set<int> m_changedRows;  // since the last frame was handled
};

}  // namespace orvana::cli
