#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/clock.h"
#include "link/port_discovery.h"
#include "link/transport.h"
#include "protocol/frame_receiver.h"
#include "records/daily_log.h"
#include "results/result_recorder.h"
#include "results/results_table.h"
#include "results/settings_record.h"
#include "station/bench_counters.h"
#include "station/records_plan.h"
#include "station/station_ui.h"
#include "store/result_store.h"
#include "texts/message_texts.h"

// The test station on the bench: everything the main window does that is not
// drawing. It owns the receiver, the port table, the measurement state and the
// daily log, and reaches the line, the clock, the table and the user only
// through the interfaces it is given. The window (or orvana-cli) calls the
// handlers below; all of them run on one thread.
namespace orvana::station {

// Captions the meter software has always used for its boxes.
inline constexpr const char* kAppTitle = "Orvana";
inline constexpr const char* kCaptionOtdr = "OTDR";
inline constexpr const char* kCaptionIlRl = "IL&RL";
// How long a greeted meter has to answer before the user is told it did not.
inline constexpr int kGreetingAnswerMilliseconds = 3000;

struct StationEnvironment {
  link::ITransport& transport;
  IStationUi& ui;
  const common::IClock& clock;
  results::ResultsTable& table;
  texts::MessageTexts texts;
  // The folder the daily logs go to (the start-up directory's Savetemp).
  std::string logFolder;
  // Lists the machine's serial ports; replaceable so tests need no hardware.
  std::function<std::vector<link::PortEntry>()> discoverPorts;
  // The line's record, when a database is configured: every result also
  // goes there. Owned by the caller; none keeps the day log only.
  store::ResultStore* store = nullptr;
  // A barcode scanner types into the window (the bench mode): its Enter
  // must never confirm a destruction, so such questions default to Cancel.
  bool scannerAtBench = false;
};

// Where what the logs and the store's outbox still held went at the end.
struct EndOfRunSave {
  records::SaveResult log;      // the day log's lines
  records::SaveResult records;  // the uploaded records' lines
  records::SaveResult store;    // results the outbox did not take (a later run sends them)
};

class Station {
 public:
  explicit Station(StationEnvironment environment);

  // --- the port list and the connect button
  void RefreshPortList(bool clearFirst);
  const link::PortTable& Ports() const { return m_portTable; }
  // `selection` is the list's current item, -1 for none (empty list, or text
  // typed into the field). True when a port was opened and greeted.
  bool OnConnect(int selection);
  // The greeting's time to answer is over (kGreetingAnswerMilliseconds after
  // a true OnConnect or OnWatchTick). Tells the user which port did not
  // answer, once, unless the meter has answered meanwhile; true then.
  bool OnGreetingTimeout();
  // The port the meter answered on, while the link lasts; empty otherwise.
  const std::string& ConnectedPort() const { return m_connectedPort; }

  // --- a lost meter
  // The link's monitor ended because the device vanished. Shows the
  // "comnotopen" text with `reason` once, then watches for the same port to
  // come back. Connecting (to any port, or to none) ends the watch.
  void OnLinkLost(const std::string& reason);
  bool WatchingForPort() const { return m_watching; }
  // Called about every 500 ms while WatchingForPort(). Once the lost port is
  // listed again it is opened and greeted as the connect button does; true
  // then: the link is restored. A port that is listed but cannot be opened
  // yet is tried again at the next tick, without a message.
  bool OnWatchTick();

  // --- bytes from the line, one at a time, in order
  void OnReceiveByte(uint8_t byte) { m_receiver.OnReceiveByte(byte); }
  // A frame has begun and not ended yet: more of it is on its way.
  bool MidFrame() const { return m_receiver.Count() > 0; }

  // --- the meter's stored records asked for at the start of a run
  // (orvana-cli's --upload and --erase): the upload first, the erase once
  // its records have stopped arriving.
  void PlanRecords(bool upload, bool erase) { m_recordsPlan = RecordsPlan(upload, erase); }
  // Sends what of the plan is due now; returns when to call again at the
  // latest (time_point::max() when only a frame can make anything due).
  RecordsPlan::Clock::time_point OnRecordsPlanTick(RecordsPlan::Clock::time_point now);
  // Why a planned erase is not done (the meter has confirmed none), or null.
  const char* PlannedEraseNotDone() const;

  // --- the buttons
  void OnUploadRequest();
  void OnEraseRequest();
  void OnClearScreen();
  void OnBlankSelectedRow(int selectionMark);
  void OnSettingsApplied();
  // Reads a saved daily log back into the table. False (and `error` set)
  // when the file cannot be read; nothing is changed then.
  bool OnImportBackup(const std::string& path, std::string& error);

  // --- the keep-alive tick and the serial-number entry
  void OnTimer();
  void OnEnterKey();
  void OnLeftButtonDown(bool insideSerialEdit);

  // --- the day log's health (and the uploaded records')
  // A log has queued events (DailyLog::SetEventSignal said so; call on the
  // station's thread): a failure episode is told once, with its reason.
  void OnLogEvents();
  // The result store has queued events (its signal said so): the state of
  // the database is shown quietly, never in a box.
  void OnStoreEvents();
  // The end of a run, for both front ends: lines the logs have not taken
  // are saved beside the unsaved lines, then, after up to `storeWait` for
  // the database, the results the outbox has not taken.
  EndOfRunSave SaveAtEnd(std::chrono::milliseconds storeWait);
  // The window is about to close: SaveAtEnd, and the user is told where
  // things went; false when lines could be saved nowhere and the user chose
  // to keep the window open.
  bool OnClosing();

  // --- state the window shows or edits
  results::TestSettings& Settings() { return m_settings; }
  BoundFields& Fields() { return m_fields; }
  const texts::MessageTexts& Texts() const { return m_env.texts; }
  bool Connected() const { return m_connected; }
  // Frames of an upload's answer (record headers and events) handled so far.
  size_t RecordFramesHandled() const { return m_recordFrames; }
  // Erases the meter has confirmed so far.
  size_t ErasesConfirmed() const { return m_erasesConfirmed; }
  uint8_t RecordNo() const { return m_recordNo; }
  const std::string& RecordDate() const { return m_recordDate; }
  int ResultRow() const { return m_recorder.CurrentRow(); }
  size_t PendingLogLines() const { return m_dailyLog.PendingLines(); }
  // The log itself, for the front end to learn of its failures and save what it
  // still holds at the end.
  records::DailyLog& DayLog() { return m_dailyLog; }
  // The same for the uploaded records, kept beside it ("YYYYMMDD.records").
  records::DailyLog& RecordLog() { return m_recordLog; }

  void SendCommand(uint8_t code);

 private:
  void InstallHandlers();
  void Greet(const link::PortAddress& port);
  void SetConnectedPort(std::string port);
  // A box about the link (lost, restored, silent). A flapping meter would
  // stack one on another: while one is open, a further one only replaces
  // what is shown next, once the open one is closed.
  void ShowLinkMessage(const char* caption, std::string text);
  void OnConnectOk(const protocol::Frame& frame);
  void OnEraseOk(const protocol::Frame& frame);
  void OnRecordHeader(const protocol::Frame& frame);
  void OnRecordEvent(const protocol::Frame& frame);
  void ProcessResult(const protocol::Frame& frame);
  void ClearTable();
  void CheckSerialNumber();
  // The bench mode's counts and news of a part just recorded.
  void TellPartRecorded(const results::RecordedRow& row, const common::LocalTime& now);

  StationEnvironment m_env;
  protocol::FrameReceiver m_receiver;
  link::PortTable m_portTable;
  results::TestSettings m_settings = results::TestSettings::StartValues();
  results::ResultRecorder m_recorder;
  records::DailyLog m_dailyLog;
  records::DailyLog m_recordLog;
  BoundFields m_fields;

  bool m_connected = false;  // set by the meter's answer to the greeting; never cleared
  std::optional<link::PortAddress> m_linkPort;  // the port opened and greeted last
  bool m_watching = false;                      // for m_linkPort to come back
  bool m_awaitingAnswer = false;                // to the greeting sent on m_linkPort
  std::string m_connectedPort;
  bool m_linkBoxOpen = false;
  std::optional<std::pair<const char*, std::string>> m_nextLinkMessage;
  uint8_t m_recordNo = 0;
  size_t m_recordFrames = 0;
  size_t m_erasesConfirmed = 0;
  RecordsPlan m_recordsPlan;
  bool m_storeWasDown = false;  // since the database was last caught up
  std::string m_recordDate;
  int8_t m_tickCount = 0;
  std::string m_lastSerialText;
  bool m_reselectSerial = false;
  // The bench mode's: today's parts, and the serial of the last one.
  BenchCounters m_counters;
  std::string m_lastRecordedSerial;
};

}  // namespace orvana::station
