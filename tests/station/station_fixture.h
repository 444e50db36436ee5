#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/station.h"
#include "protocol/frame.h"
#include "results/results_table.h"

// The station with everything around it scripted: a transport that records
// what would go on the line, a user who answers questions as told, a fixed
// clock and a scratch folder for the daily log.
namespace orvana::testing {

using Bytes = std::vector<uint8_t>;

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

struct ScriptedUi final : app::IStationUi {
  void ShowMessage(const std::string& caption, const std::string& text) override {
    messages.push_back({caption, text, false});
    if (whileBoxIsOpen) whileBoxIsOpen();
  }
  app::Answer AskQuestion(const std::string& caption, const std::string& text) override {
    messages.push_back({caption, text, true});
    return answer;
  }
  void ShowValues(const std::array<std::string, 4>& values) override { shownValues.push_back(values); }
  void ReadBoundFields(app::BoundFields& fields) override {
    ++reads;
    fields.serialText = serialEdit;
  }
  void WriteBoundFields(const app::BoundFields& fields) override {
    ++writes;
    writtenSerial = fields.serialText;
  }
  void SelectSerialText() override { ++selections; }
  void ShowPortList(const std::vector<link::PortEntry>& ports) override { listed = ports; }
  void MakeRowVisible(int row) override { visibleRows.push_back(row); }

  app::Answer answer = app::Answer::Ok;
  std::function<void()> whileBoxIsOpen;
  std::vector<Message> messages;
  std::vector<std::array<std::string, 4>> shownValues;
  std::string serialEdit;
  std::string writtenSerial;
  int reads = 0;
  int writes = 0;
  int selections = 0;
  std::vector<link::PortEntry> listed;
  std::vector<int> visibleRows;
};

// Frames as the meter builds them.
inline Bytes MeterFrame(uint8_t code, const Bytes& payload) {
  Bytes frame{0x50, static_cast<uint8_t>(payload.size() + 3), code};
  frame.insert(frame.end(), payload.begin(), payload.end());
  frame.push_back(protocol::Checksum(frame.data(), frame.size()));
  frame.push_back(0x01);
  return frame;
}

inline void PutFloat(Bytes& payload, size_t at, float value) {
  std::memcpy(&payload[at], &value, sizeof value);
}

// A result frame; payload index i sits at frame index i + 3.
inline Bytes ResultFrame(bool dual, uint8_t wavelengthCode, float a, float b, float c, float d,
                         bool record) {
  Bytes payload(19, 0);
  payload[0] = dual ? 1 : 0;
  payload[1] = wavelengthCode;
  PutFloat(payload, 2, a);
  PutFloat(payload, 6, b);
  PutFloat(payload, 10, c);
  PutFloat(payload, 14, d);
  payload[18] = record ? 1 : 0;
  return MeterFrame(protocol::CMD_RESULT, payload);
}

inline Bytes RecordHeader(int year, int month, int day, int hour, int minute) {
  return MeterFrame(protocol::CMD_READ_RECORD,
                    {0, static_cast<uint8_t>(year), static_cast<uint8_t>(month),
                     static_cast<uint8_t>(day), static_cast<uint8_t>(hour),
                     static_cast<uint8_t>(minute)});
}

inline Bytes RecordEvent(int8_t number, int16_t distance, float loss, float refl, float total,
                         uint8_t type) {
  Bytes payload(16, 0);
  payload[0] = static_cast<uint8_t>(number);
  std::memcpy(&payload[1], &distance, sizeof distance);
  PutFloat(payload, 3, loss);
  PutFloat(payload, 7, refl);
  PutFloat(payload, 11, total);
  payload[15] = type;
  return MeterFrame(protocol::CMD_RECORD_EVENT, payload);
}

class StationTest : public ::testing::Test {
 protected:
  StationTest()
      : folder(std::filesystem::temp_directory_path() /
               ("orvana-station-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name())),
        clock(common::LocalTime{2017, 5, 3, 12, 34, 56}) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    texts.conok = "connected";
    texts.dellallok = "erased";
    texts.dellallts = "sure?";
    texts.nocom = "no port";
    texts.comnotopen = "cannot open";
    station = std::make_unique<app::Station>(app::StationEnvironment{
        transport, ui, clock, table, texts, (folder / "Savetemp").string(),
        [this] { return ports; }});
  }
  ~StationTest() override {
    station.reset();
    std::filesystem::remove_all(folder);
  }

  void Feed(const Bytes& bytes) {
    for (uint8_t b : bytes) station->OnReceiveByte(b);
  }
  void Connect() {
    ports = {link::PortEntry{"ftdi_sio", "/dev/ttyUSB0"}};
    station->RefreshPortList(true);
    ASSERT_TRUE(station->OnConnect(0));
    Feed(MeterFrame(protocol::CMD_CONNECT_OK, {}));
    ASSERT_TRUE(station->Connected());
    ui.messages.clear();
    transport.purgingWrites.clear();
  }
  std::string LogFile(const char* name) const {
    std::ifstream in(folder / "Savetemp" / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path folder;
  common::FixedClock clock;
  app::MessageTexts texts;
  RecordingTransport transport;
  ScriptedUi ui;
  results::ResultsTable table;
  std::vector<link::PortEntry> ports;
  std::unique_ptr<app::Station> station;
};

inline Bytes Command(uint8_t code) {
  const auto frame = protocol::BuildCommand(code);
  return Bytes(frame.begin(), frame.end());
}

}  // namespace orvana::testing
