#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

#include "cli/output_queue.h"
#include "results/results_table.h"
#include "station/station_ui.h"

// The station's user interface on a terminal: every message box, value
// update and table change becomes one JSON object on its own line. The lines
// of one handled frame go out together as soon as the frame is done, so
// scripts follow the bench as it happens at one hand-over per frame.
namespace orvana::cli {

class JsonUi final : public station::IStationUi, public results::ITableObserver {
 public:
  JsonUi(OutputQueue& out, const results::ResultsTable& table, station::Answer questionAnswer);

  // station::IStationUi
  void ShowMessage(const std::string& caption, const std::string& text) override;
  station::Answer AskQuestion(const std::string& caption, const std::string& text,
                              station::Answer byDefault) override;
  void ShowValues(const std::array<std::string, 4>& values) override;
  void ReadBoundFields(station::BoundFields&) override {}
  void WriteBoundFields(const station::BoundFields&) override {}
  void SelectSerialText() override {}
  void ShowPortList(const std::vector<link::PortEntry>&) override {}
  void MakeRowVisible(int) override {}
  void ShowStoreState(const store::StoreEvent& event, bool news) override;
  // {"log": "failing", "reason": R, "pending": N} and {"log": "recovered"}
  // ("records" for the uploaded records' file), never a message: scripts
  // watching the bench learn that its lasting record is not being written.
  void ShowLogState(bool records, const records::LogEvent& event, const std::string& caption,
                    const std::string& text) override;
  void FrameHandled() override;

  // results::ITableObserver
  void RowsInserted(int first, int count) override;
  void RowChanged(int row) override;
  void TableCleared() override;

  // Adds one line (without its newline) in order with the station's own.
  void Emit(std::string_view line);
  // Hands the lines composed so far to the output. Runs after every handled
  // frame; the run's loop calls it after anything else it asked of the station.
  void Flush();

 private:
  void Message(const std::string& caption, const std::string& text, const char* answer);
  void EndLine();

  OutputQueue& m_out;
  std::string m_batch;
  size_t m_batchLines = 0;
  const results::ResultsTable& m_table;
  station::Answer m_answer;
  std::set<int> m_changedRows;  // since the last frame was handled
};

}  // namespace orvana::cli
