#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/output_queue.h"
#include "cli/status_line.h"
#include "results/results_table.h"
#include "station/station_ui.h"

// The station's user interface on a terminal, whatever the lines look like:
// what both orvana-cli outputs share. Lines are composed into a batch and
// the lines of one handled frame go out together as soon as the frame is
// done. The fields a window's user fills in (serial, product and order
// numbers) come from the bench's options and from a scanner on standard
// input.
namespace orvana::cli {

// What a headless bench puts into the fields a window's user would type in.
struct BenchFields {
  std::string serial;  // empty: the parts are recorded as "****"
  std::string productNumber;
  std::string orderNumber;
};

class TerminalUi : public station::IStationUi, public results::ITableObserver {
 public:
  TerminalUi(OutputQueue& out, station::Answer questionAnswer);

  // station::IStationUi
  void ShowMessage(const std::string& caption, const std::string& text) final;
  station::Answer AskQuestion(const std::string& caption, const std::string& text,
                              station::Answer byDefault) final;
  void ReadBoundFields(station::BoundFields& fields) final;
  void WriteBoundFields(const station::BoundFields&) final {}
  void SelectSerialText() final {}
  void ShowPortList(const std::vector<link::PortEntry>&) final {}
  void MakeRowVisible(int) final {}
  // Never a message: scripts and people watching the bench learn that its
  // record is not being written (or is again) from a line of its own.
  void ShowLogState(bool records, const records::LogEvent& event, const std::string& caption,
                    const std::string& text) final;
  void ShowStoreState(const store::StoreEvent& event, bool news) final;
  // Kept for the end of the frame: said after the part's row.
  void ShowPartRecorded(const station::PartRecorded& part) final;

  void SetBenchFields(BenchFields fields) { m_fields = std::move(fields); }
  // A line the scanner sent: the serial of the next part recorded. Said at once.
  void TakeScannedSerial(std::string serial);

  // A change of the run's state, in order with the station's own lines.
  virtual void Status(const StatusLine& status) = 0;
  // Hands the lines composed so far to the output. Runs after every handled
  // frame; the run's loop calls it after anything else it asked of the station.
  void Flush();

 protected:
  // The lines each output writes its own way, into Batch() and ended by EndLine().
  virtual void Message(const std::string& caption, const std::string& text, const char* answer) = 0;
  virtual void Scanned(const std::string& serial) = 0;
  // The part recorded in the frame just handled carried the serial of the
  // part before it: the next scan did not happen.
  virtual void Reused(const std::string& serial) = 0;

  std::string& Batch() { return m_batch; }
  void EndLine();
  // For the end of every frame: the reused serial, then the batch goes out.
  void EndFrame();

 private:
  OutputQueue& m_out;
  std::string m_batch;
  size_t m_batchLines = 0;
  station::Answer m_answer;
  BenchFields m_fields;
  std::string m_reusedSerial;
};

}  // namespace orvana::cli
