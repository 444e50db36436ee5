// Result frames per second through the station: every byte through the
// receive step, the frame decoded, judged, recoloured, appended to the table
// and written to the day's log. The table already holds 10,000 or 1,000,000
// rows: the cost of one more row must not depend on how many there are.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "protocol/frame.h"
#include "results/results_table.h"
#include "station/station.h"

namespace {

using namespace orvana;

struct NullTransport final : link::ITransport {
  bool Open(const link::PortAddress&, const link::LineSettings&) override { return true; }
  bool StartMonitor() override { return true; }
  void Write(const uint8_t*, size_t) override {}
  void WriteKeepingInput(const uint8_t*, size_t) override {}
  void Stop() override {}
  std::string LastOpenError() const override { return {}; }
};

struct NullUi final : station::IStationUi {
  void ShowMessage(const std::string&, const std::string&) override {}
  station::Answer AskQuestion(const std::string&, const std::string&, station::Answer) override {
    return station::Answer::Ok;
  }
  void ShowValues(const std::array<std::string, 4>&) override {}
  void ReadBoundFields(station::BoundFields&) override {}
  void WriteBoundFields(const station::BoundFields&) override {}
  void SelectSerialText() override {}
  void ShowPortList(const std::vector<link::PortEntry>&) override {}
  void MakeRowVisible(int) override {}
};

std::vector<uint8_t> ResultFrame(float a, float b, float c, float d) {
  std::vector<uint8_t> frame(24, 0);
  frame[0] = 0x50;
  frame[1] = 22;
  frame[2] = protocol::CMD_RESULT;
  frame[3] = 1;  // both wavelengths
  const float values[4] = {a, b, c, d};
  std::memcpy(&frame[5], values, sizeof values);
  frame[21] = 1;  // record
  frame[22] = protocol::Checksum(frame.data(), 22);
  frame[23] = 0x01;
  return frame;
}

void ResultFramesThroughTheStation(benchmark::State& state) {
  const auto folder = std::filesystem::temp_directory_path() / "orvana-bench-station";
  std::filesystem::remove_all(folder);
  NullTransport transport;
  NullUi ui;
  common::FixedClock clock({2024, 3, 5, 9, 7, 0});
  results::ResultsTable table;
  std::vector<results::RowTexts> filler(static_cast<size_t>(state.range(0)));
  for (auto& row : filler)
    row = {"SN", "-0.20", "56.0", "-0.20", "56.0", "2024/03/05 09:07:00", ""};
  table.InsertRows(0, std::move(filler));
  {
    station::Station station(station::StationEnvironment{
        transport, ui, clock, table, texts::MessageTexts{}, (folder / "Savetemp").string(), {}});
    // Passes and fails alternate, so both colours and the recolouring run.
    const std::vector<uint8_t> frames[2] = {ResultFrame(-0.21f, 56.3f, -0.35f, 54.0f),
                                            ResultFrame(-0.10f, 58.0f, -0.12f, 57.5f)};
    size_t n = 0;
    for (auto _ : state) {
      for (uint8_t byte : frames[n++ & 1]) station.OnReceiveByte(byte);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["rows"] = table.RowCount();
  }
  std::filesystem::remove_all(folder);
}

BENCHMARK(ResultFramesThroughTheStation)
    ->Arg(10'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
