#pragma once

#include <array>
#include <string>
#include <vector>

#include "link/port_discovery.h"
#include "records/daily_log.h"
#include "results/outcome.h"
#include "station/bench_counters.h"
#include "store/store_events.h"

// The few things a window does for the station. The Qt window implements it
// with widgets, orvana-cli on a terminal, the tests with a script.
namespace orvana::station {

// The values bound to the window's fields: read from the controls when a
// result is recorded and when the window says so. The station writes back
// only the values it changes itself.
// The bench mode's news of a part just recorded: its verdict, the bench's
// counts with it, and its serial when it is the one the part before it had
// (the next part's scan did not happen).
struct PartRecorded {
  results::Outcome verdict = results::OUTCOME_NONE;
  BenchCounts counts;
  std::string reusedSerial;
};

struct BoundFields {
  std::string serialText;  // the serial-number field
  std::string autoNumberText = "0001";
  std::array<std::string, 4> valueText;  // the four value fields
  std::string saveFileName;
  std::string productNumber;
  std::string orderNumber;
};

enum class Answer { Ok, Cancel };

class IStationUi {
 public:
  virtual ~IStationUi() = default;

  // A message box with an OK button.
  virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
  // A question with OK and Cancel and the question icon; `byDefault` is the
  // button that Enter presses.
  virtual Answer AskQuestion(const std::string& caption, const std::string& text,
                             Answer byDefault) = 0;

  // The four value fields, put there at once when a result arrives.
  virtual void ShowValues(const std::array<std::string, 4>& values) = 0;
  // Controls into fields, and fields into controls.
  virtual void ReadBoundFields(BoundFields& fields) = 0;
  virtual void WriteBoundFields(const BoundFields& fields) = 0;
  // Selects the whole serial-number text, so the next scan replaces it.
  virtual void SelectSerialText() = 0;

  // The port list mirrors the station's port table.
  virtual void ShowPortList(const std::vector<link::PortEntry>& ports) = 0;

  // Scrolls the results table only as far as needed to show `row`.
  virtual void MakeRowVisible(int row) = 0;
  // What the link is: the meter's answer and its port while connected, empty
  // once the link is over. Shown quietly, never in a box.
  virtual void ShowLinkState(const std::string& linkText) { (void)linkText; }
  // The database or the outbox took a new state (up, down and why, caught
  // up, failing, ...); told once per change, quietly: never a box, never a
  // question. `news` when it is worth a note that a person reads now: not
  // the database coming up, nor being caught up at every start.
  virtual void ShowStoreState(const store::StoreEvent& event, bool news) {
    (void)event;
    (void)news;
  }
  // A log began failing, or took every line it kept again: the day log, or
  // with `records` the uploaded records' file. Told once per change. A
  // failure is a box unless the front end says it its own way: `caption`
  // and `text` (the language file's "logfailing", the file and why).
  virtual void ShowLogState(bool records, const records::LogEvent& event,
                            const std::string& caption, const std::string& text) {
    (void)records;
    if (event.kind == records::LogEvent::Kind::Failing) ShowMessage(caption, text);
  }
  // In the bench mode, after each recorded part; told quietly, never in a
  // box that a scanner's Enter would answer.
  virtual void ShowPartRecorded(const PartRecorded& part) { (void)part; }
  // One received frame has been handled completely.
  virtual void FrameHandled() {}
};

}  // namespace orvana::station
