#include "station/station.h"

#include <algorithm>
#include <utility>

#include "protocol/device_actions.h"
#include "records/log_import.h"
#include "records/uploaded_records.h"
#include "results/measurement_result.h"
#include "results/table_operations.h"
#include "store/live_result.h"

namespace orvana::station {

using protocol::Frame;

Station::Station(StationEnvironment environment)
    : m_env(std::move(environment)),
      m_recorder(m_env.table),
      m_dailyLog(m_env.logFolder),
      m_recordLog(m_env.logFolder, std::string(records::kRecordsExtension)) {
  InstallHandlers();
}

void Station::InstallHandlers() {
  m_receiver.SetHandler(protocol::CMD_CONNECT_OK, [this](const Frame& f) { OnConnectOk(f); });
  m_receiver.SetHandler(protocol::CMD_ERASE_ALL_OK, [this](const Frame& f) { OnEraseOk(f); });
  m_receiver.SetHandler(protocol::CMD_READ_RECORD, [this](const Frame& f) { OnRecordHeader(f); });
  m_receiver.SetHandler(protocol::CMD_RECORD_EVENT, [this](const Frame& f) { OnRecordEvent(f); });
  m_receiver.SetHandler(protocol::CMD_RESULT, [this](const Frame& f) { ProcessResult(f); });
}

// ---------------------------------------------------------------- ports

void Station::RefreshPortList(bool clearFirst) {
  if (clearFirst) m_portTable.Clear();
  if (m_env.discoverPorts) m_portTable.Fill(m_env.discoverPorts());
  if (m_portTable.Count() == 0) m_env.ui.ShowMessage(kAppTitle, m_env.texts.nocom);
  m_env.ui.ShowPortList(m_portTable.Entries());
}

bool Station::OnConnect(int selection) {
  // Whatever the user chose, the old link is over: Open ends its monitor.
  m_watching = false;
  m_linkPort.reset();
  m_awaitingAnswer = false;
  SetConnectedPort({});
  if (selection < 0 || static_cast<size_t>(selection) >= m_portTable.Count()) {
    // No port chosen: the button then closes whatever is open.
    m_env.transport.Stop();
    return false;
  }
  const link::PortAddress& port = m_portTable.At(static_cast<size_t>(selection));
  if (!m_env.transport.Open(port, link::LineSettings{})) {
    std::string text = m_env.texts.comnotopen;
    const std::string why = m_env.transport.LastOpenError();
    if (!why.empty()) text += "\n\n" + why;
    m_env.ui.ShowMessage(kAppTitle, text);
    return false;
  }
  Greet(port);
  return true;
}

void Station::Greet(const link::PortAddress& port) {
  m_linkPort = port;
  m_awaitingAnswer = true;
  m_env.transport.StartMonitor();
  SendCommand(protocol::CMD_CONNECT);
}

bool Station::OnGreetingTimeout() {
  if (!m_awaitingAnswer || !m_linkPort) return false;
  m_awaitingAnswer = false;
  // Said once, naming the port: a silent port is most often the wrong one.
  ShowLinkMessage(kAppTitle, m_env.texts.noanswer + "\n\n" + m_linkPort->path);
  return true;
}

void Station::ShowLinkMessage(const char* caption, std::string text) {
  m_nextLinkMessage.emplace(caption, std::move(text));
  if (m_linkBoxOpen) return;  // the open box's loop shows it after
  m_linkBoxOpen = true;
  while (m_nextLinkMessage) {
    const auto [shownCaption, shownText] = std::move(*m_nextLinkMessage);
    m_nextLinkMessage.reset();
    m_env.ui.ShowMessage(shownCaption, shownText);
  }
  m_linkBoxOpen = false;
}

void Station::SetConnectedPort(std::string port) {
  if (port == m_connectedPort) return;
  m_connectedPort = std::move(port);
  m_env.ui.ShowLinkState(m_connectedPort.empty() ? std::string()
                                                 : m_env.texts.conok + ": " + m_connectedPort);
}

void Station::OnLinkLost(const std::string& reason) {
  if (m_watching) return;  // said once
  // Watching starts before the box: the window's watch timer keeps running
  // while the box is open, and the meter may well come back meanwhile.
  m_watching = m_linkPort.has_value();
  m_awaitingAnswer = false;
  SetConnectedPort({});
  std::string text = m_env.texts.comnotopen;
  if (!reason.empty()) text += "\n\n" + reason;
  ShowLinkMessage(kAppTitle, std::move(text));
}

bool Station::OnWatchTick() {
  if (!m_watching || !m_env.discoverPorts) return false;
  const std::string lost = m_linkPort->path;
  const auto ports = m_env.discoverPorts();
  // By the path it opens, which is the name itself only on Linux (COM3 opens
  // as \\.\COM3).
  const auto found = std::find_if(ports.begin(), ports.end(), [&](const link::PortEntry& entry) {
    return link::ToPortAddress(entry).path == lost;
  });
  if (found == ports.end()) return false;
  // A device that has just come back may not be ready for us yet (its
  // permissions are still being set, for one); the next tick tries again.
  const link::PortAddress port = link::ToPortAddress(*found);
  if (!m_env.transport.Open(port, link::LineSettings{})) return false;
  m_watching = false;
  Greet(port);
  return true;
}

void Station::SendCommand(uint8_t code) {
  const protocol::CommandBytes frame = protocol::BuildCommand(code);
  if (code == protocol::CMD_KEEPALIVE) {
    // The keep-alive expects no answer: it must neither purge the line nor
    // reset the receiver, or a result arriving at that moment would be cut.
    m_env.transport.WriteKeepingInput(frame.data(), frame.size());
    return;
  }
  m_env.transport.Write(frame.data(), frame.size());
  m_receiver.ResetCount();
}

// ---------------------------------------------------------------- answers

void Station::OnConnectOk(const Frame&) {
  m_connected = true;
  m_awaitingAnswer = false;
  if (m_linkPort) SetConnectedPort(m_linkPort->path);
  ShowLinkMessage(kCaptionOtdr, m_env.texts.conok);
  m_env.ui.FrameHandled();
}

void Station::OnEraseOk(const Frame&) {
  ++m_erasesConfirmed;
  m_env.ui.ShowMessage(kCaptionOtdr, m_env.texts.dellallok);
  m_env.ui.FrameHandled();
}

void Station::OnRecordHeader(const Frame& frame) {
  m_recordDate = protocol::FormatRecordDate(frame);
  ++m_recordNo;
  ++m_recordFrames;
  m_env.ui.FrameHandled();
}

void Station::OnRecordEvent(const Frame& frame) {
  using results::Column;
  const auto cells = protocol::RecordEventCells(m_recordNo, frame);
  ++m_recordFrames;
  const int row = m_env.table.AppendRow(cells[0]);
  m_recorder.SetCurrentRow(row);
  m_env.table.SetText(row, Column::Extra, m_recordDate);
  for (int column = 1; column < 6; ++column) {
    m_env.table.SetText(row, static_cast<Column>(column), cells[static_cast<size_t>(column)]);
  }
  // Kept as it arrives: once the meter is erased, this is all there is.
  results::RowTexts texts;
  for (size_t column = 0; column < cells.size(); ++column) texts[column] = cells[column];
  texts[results::ColumnIndex(Column::Extra)] = m_recordDate;
  std::string line = records::FormatRecordLine(texts);
  line += records::kLogLineEnd;
  const common::LocalTime now = m_env.clock.Now();
  m_recordLog.AppendLine(now, std::move(line));
  if (m_env.store != nullptr) m_env.store->RecordEvent(now, m_recordDate, cells);
  m_env.ui.MakeRowVisible(row);
  m_env.ui.FrameHandled();
}

void Station::ProcessResult(const Frame& frame) {
  const results::MeasurementResult result = results::MeasurementResult::Decode(frame);
  const common::LocalTime now = m_env.clock.Now();
  if (result.record) {
    // The row carries the serial number standing in the field now, not the
    // one last read: a part scanned since the previous result is this one.
    m_env.ui.ReadBoundFields(m_fields);
  }
  m_fields.valueText = result.texts;
  // Only the values are the station's to write; whatever else the user has
  // typed (a serial half scanned, the report inputs) stays as it is.
  m_env.ui.ShowValues(result.texts);
  if (const auto row = m_recorder.Record(result, m_fields.serialText, m_settings, now)) {
    m_env.ui.MakeRowVisible(row->row);
    m_dailyLog.Append(now, row->serial, row->texts, row->timeText);
    if (m_env.store != nullptr) {
      m_env.store->Record(now,
                          store::StoredResultOfRow(*row, result, m_settings, m_fields.productNumber,
                                                   m_fields.orderNumber, now));
    }
    if (m_env.scannerAtBench) TellPartRecorded(*row, now);
  }
  m_env.ui.FrameHandled();
}

void Station::TellPartRecorded(const results::RecordedRow& row, const common::LocalTime& now) {
  m_counters.Count(now, m_fields.orderNumber, row.verdict);
  PartRecorded part{row.verdict, m_counters.Counts(now, m_fields.orderNumber), {}};
  // The same serial on two parts in a row: the second part's scan did not
  // happen (or went into another window). Nothing to say for parts that
  // carry no serial at all.
  if (row.serial == m_lastRecordedSerial && row.serial != results::kNoSerialText) {
    part.reusedSerial = row.serial;
  }
  m_lastRecordedSerial = row.serial;
  m_env.ui.ShowPartRecorded(part);
  // The field is ready for the next part: a scan replaces what stands there.
  m_env.ui.SelectSerialText();
}

// ---------------------------------------------------------------- buttons

void Station::OnUploadRequest() {
  if (!m_connected) return;
  m_recordNo = 0;
  SendCommand(protocol::CMD_READ_RECORD);
}

RecordsPlan::Clock::time_point Station::OnRecordsPlanTick(RecordsPlan::Clock::time_point now) {
  switch (m_recordsPlan.Next(m_connected, m_recordFrames, now)) {
    case RecordsPlan::Step::Upload:
      OnUploadRequest();
      break;
    case RecordsPlan::Step::Erase:
      OnEraseRequest();
      break;
    case RecordsPlan::Step::None:
      break;
  }
  return m_recordsPlan.DueAt(m_connected);
}

const char* Station::PlannedEraseNotDone() const {
  if (!m_recordsPlan.EraseWanted() || m_erasesConfirmed > 0) return nullptr;
  if (const char* why = m_recordsPlan.EraseNotSentReason(m_connected)) return why;
  return "the meter did not confirm the erase";
}

void Station::OnEraseRequest() {
  const Answer safe = m_env.scannerAtBench ? Answer::Cancel : Answer::Ok;
  if (m_env.ui.AskQuestion(kCaptionIlRl, m_env.texts.dellallts, safe) != Answer::Ok) return;
  ClearTable();
  if (!m_connected) return;
  m_recordNo = 0;
  SendCommand(protocol::CMD_ERASE_ALL);
}

void Station::OnClearScreen() {
  if (m_env.ui.AskQuestion(kCaptionOtdr, m_env.texts.dellallts, Answer::Ok) != Answer::Ok) return;
  ClearTable();
}

void Station::ClearTable() {
  results::ClearTable(m_env.table);
  // The row that was waiting to be recoloured is gone; recolouring whatever
  // row comes next (the wavelength row) would overwrite it.
  m_recorder.ForgetPending();
}

void Station::OnBlankSelectedRow(int selectionMark) {
  if (m_env.ui.AskQuestion(kCaptionIlRl, m_env.texts.dellallts, Answer::Ok) != Answer::Ok) return;
  results::BlankRow(m_env.table, selectionMark);
}

void Station::OnSettingsApplied() {
  m_recorder.SetCurrentRow(results::ApplySettings(m_env.table, m_settings));
}

bool Station::OnImportBackup(const std::string& path, std::string& error) {
  return records::ImportLogFile(m_env.table, path, error).has_value();
}

// ---------------------------------------------------------------- the day log

void Station::OnLogEvents() {
  for (records::DailyLog* log : {&m_dailyLog, &m_recordLog}) {
    for (const records::LogEvent& event : log->TakeEvents()) {
      const std::string text = event.kind == records::LogEvent::Kind::Failing
                                   ? m_env.texts.logfailing + "\n\n" + event.path + ": " + event.reason
                                   : std::string();
      m_env.ui.ShowLogState(log == &m_recordLog, event, kAppTitle, text);
    }
  }
}

void Station::OnStoreEvents() {
  if (m_env.store == nullptr) return;
  using Kind = store::StoreEvent::Kind;
  for (const store::StoreEvent& event : m_env.store->TakeEvents()) {
    // Caught up at every start is no news; after an outage it is.
    const bool news = event.kind == Kind::CaughtUp ? m_storeWasDown : event.kind != Kind::Up;
    if (event.kind == Kind::Down) m_storeWasDown = true;
    if (event.kind == Kind::CaughtUp) m_storeWasDown = false;
    m_env.ui.ShowStoreState(event, news);
  }
}

EndOfRunSave Station::SaveAtEnd(std::chrono::milliseconds storeWait) {
  EndOfRunSave save;
  save.log = m_dailyLog.SavePending();
  save.records = m_recordLog.SavePending();
  if (m_env.store != nullptr) {
    // What was recorded last may still be on its way; a database that is
    // down gets no time, the outbox keeps it.
    if (storeWait.count() > 0) m_env.store->WaitUntilSent(storeWait);
    save.store = m_env.store->SaveUnwritten();
  }
  return save;
}

bool Station::OnClosing() {
  const EndOfRunSave save = SaveAtEnd(std::chrono::milliseconds(0));
  if (!save.store.saved.empty()) {
    std::string text = m_env.texts.storesaved + "\n";
    for (const records::SavedLines& saved : save.store.saved) text += "\n" + saved.path;
    m_env.ui.ShowMessage(kAppTitle, text);
  }
  // The day log holds them: nothing to decide, only to know.
  if (save.store.lost > 0) m_env.ui.ShowMessage(kAppTitle, m_env.texts.storelost);
  std::vector<records::SavedLines> saved = save.log.saved;
  saved.insert(saved.end(), save.records.saved.begin(), save.records.saved.end());
  if (!saved.empty()) {
    std::string text = m_env.texts.logsaved + "\n";
    for (const records::SavedLines& file : saved) text += "\n" + file.path;
    m_env.ui.ShowMessage(kAppTitle, text);
  }
  if (save.log.lost + save.records.lost == 0) return true;
  return m_env.ui.AskQuestion(kAppTitle, m_env.texts.loglost, Answer::Ok) == Answer::Ok;
}

// ---------------------------------------------------------------- tick, serial number

void Station::OnTimer() {
  if (m_connected) SendCommand(protocol::CMD_KEEPALIVE);
  if (++m_tickCount <= 1) return;
  CheckSerialNumber();
  m_tickCount = 0;
}

void Station::CheckSerialNumber() {
  m_env.ui.ReadBoundFields(m_fields);
  if (m_fields.serialText == m_lastSerialText) {
    // Unchanged for a whole check period: the next scan replaces it.
    m_env.ui.SelectSerialText();
  } else {
    m_lastSerialText = m_fields.serialText;
  }
}

void Station::OnEnterKey() { m_env.ui.SelectSerialText(); }

void Station::OnLeftButtonDown(bool insideSerialEdit) {
  if (!insideSerialEdit) {
    m_reselectSerial = true;
    return;
  }
  // At the bench every click into the field selects it all, so a scan that
  // follows replaces the serial instead of being appended to it.
  // At the bench every click into the field selects it all, so a scan that
  // follows replaces the serial instead of being appended to it.
  if (!m_reselectSerial && !m_env.scannerAtBench) return;
  m_env.ui.SelectSerialText();
  m_reselectSerial = false;
  m_env.ui.ReadBoundFields(m_fields);
}

}  // namespace orvana::station
