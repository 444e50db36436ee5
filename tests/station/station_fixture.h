#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "results/results_table.h"
#include "station/station.h"
#include "support/sim_frames.h"
#include "support/temp_folder.h"

// The station with everything around it scripted: a transport that records
// what would go on the line, a user who answers questions as told, a fixed
// clock and a scratch folder for the daily log.
namespace orvana::testing {

using sim::BuildFrame;
using sim::Bytes;
using sim::Code;

struct RecordingTransport final : link::ITransport {
  bool Open(const link::PortAddress& port, const link::LineSettings& settings) override {
    opened.push_back(port);
    lastSettings = settings;
    return openSucceeds;
  }
  bool StartMonitor() override { return ++monitorStarts, true; }
  void Write(const uint8_t* bytes, size_t length) override {
    purgingWrites.emplace_back(bytes, bytes + length);
  }
  void WriteKeepingInput(const uint8_t* bytes, size_t length) override {
    keepingWrites.emplace_back(bytes, bytes + length);
  }
  void Stop() override { ++stops; }
  std::string LastOpenError() const override { return openSucceeds ? "" : openError; }

  bool openSucceeds = true;
  std::string openError = "the port is in use by another program";
  std::vector<link::PortAddress> opened;
  link::LineSettings lastSettings;
  int monitorStarts = 0;
  int stops = 0;
  std::vector<Bytes> purgingWrites;
  std::vector<Bytes> keepingWrites;
};

struct Message {
  std::string caption;
  std::string text;
  bool question = false;
};

struct ScriptedUi final : station::IStationUi {
  void ShowMessage(const std::string& caption, const std::string& text) override {
    messages.push_back({caption, text, false});
    if (whileBoxIsOpen) whileBoxIsOpen();
  }
  station::Answer AskQuestion(const std::string& caption, const std::string& text,
                              station::Answer byDefault) override {
    messages.push_back({caption, text, true});
    defaults.push_back(byDefault);
    return answer;
  }
  void ShowValues(const std::array<std::string, 4>& values) override {
    shownValues.push_back(values);
  }
  void ReadBoundFields(station::BoundFields& fields) override {
    ++reads;
    fields.serialText = serialEdit;
    fields.orderNumber = orderEdit;
  }
  void WriteBoundFields(const station::BoundFields& fields) override {
    (void)fields;
    ++writes;
  }
  void SelectSerialText() override { ++selections; }
  void ShowPortList(const std::vector<link::PortEntry>& ports) override { listed = ports; }
  void MakeRowVisible(int row) override { visibleRows.push_back(row); }
  void ShowLinkState(const std::string& text) override { linkStates.push_back(text); }
  void ShowPartRecorded(const station::PartRecorded& part) override { parts.push_back(part); }

  station::Answer answer = station::Answer::Ok;
  std::vector<station::Answer> defaults;  // each question's default button
  std::function<void()> whileBoxIsOpen;
  std::vector<Message> messages;
  std::vector<std::array<std::string, 4>> shownValues;
  std::string serialEdit;
  std::string orderEdit;
  int reads = 0;
  int writes = 0;
  int selections = 0;
  std::vector<link::PortEntry> listed;
  std::vector<int> visibleRows;
  std::vector<std::string> linkStates;
  std::vector<station::PartRecorded> parts;
};

class StationTest : public ::testing::Test {
 protected:
  StationTest() : folder(scratch.Path()), clock(common::LocalTime{2017, 5, 3, 12, 34, 56}) {
    texts.conok = "connected";
    texts.dellallok = "erased";
    texts.dellallts = "sure?";
    texts.nocom = "no port";
    texts.comnotopen = "cannot open";
    station = std::make_unique<station::Station>(
        station::StationEnvironment{transport, ui, clock, table, texts,
                                    (folder / "Savetemp").string(), [this] { return ports; }});
  }
  ~StationTest() override { station.reset(); }

  // The station as the bench mode runs it, with a scanner at the bench.
  void MakeBenchStation() {
    station.reset();
    station::StationEnvironment environment{transport, ui, clock, table, texts,
                                            (folder / "Savetemp").string(),
                                            [this] { return ports; }};
    environment.scannerAtBench = true;
    station = std::make_unique<station::Station>(std::move(environment));
  }

  void Feed(const Bytes& bytes) {
    for (uint8_t b : bytes) station->OnReceiveByte(b);
  }
  void Connect() {
    ports = {link::PortEntry{"ftdi_sio", "/dev/ttyUSB0"}};
    station->RefreshPortList(true);
    ASSERT_TRUE(station->OnConnect(0));
    Feed(BuildFrame(Code::kConnectOk));
    ASSERT_TRUE(station->Connected());
    ui.messages.clear();
    transport.purgingWrites.clear();
  }
  std::string LogFile(const char* name) const {
    return ReadFile((folder / "Savetemp" / name).string());
  }

  TempFolder scratch;
  std::filesystem::path folder;
  common::FixedClock clock;
  texts::MessageTexts texts;
  RecordingTransport transport;
  ScriptedUi ui;
  results::ResultsTable table;
  std::vector<link::PortEntry> ports;
  std::unique_ptr<station::Station> station;
};

}  // namespace orvana::testing
