// How fast a backup import goes: splitting lines, reading a stored day's file,
// and placing its rows into tables that already hold many rows. Reported as
// lines per second (items_per_second).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "records/daily_log.h"
#include "records/log_import.h"
#include "results/results_table.h"

namespace {

using orvana::records::FormatLogLine;
using orvana::results::RowTexts;

constexpr int kFileLines = 10000;

std::string StoredLine(int index) {
  return FormatLogLine("A170503" + std::to_string(index), {"-0.12", "55.3", "-0.20", "56.1"},
                       "2017/05/03 12:34:56") +
         std::string(orvana::records::kLogLineEnd);
}

// A stored day's file of kFileLines lines, written once for all benchmarks.
class StoredFile {
 public:
  StoredFile() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvana-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    m_folder = pattern;
    m_path = m_folder + "/20170503.txt";
    std::ofstream out(m_path, std::ios::binary);
    for (int i = 0; i < kFileLines; ++i) out << StoredLine(i);
  }
  ~StoredFile() {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
  }
  const std::string& Path() const { return m_path; }

 private:
  std::string m_folder;
  std::string m_path;
};

const StoredFile& File() {
  static const StoredFile file;
  return file;
}

void FillTable(orvana::results::ResultsTable& table, int rows) {
  table.AppendRow(" ");
  std::vector<RowTexts> results(
      static_cast<size_t>(rows - 1),
      RowTexts{"****", "-0.12", "55.3", "-0.20", "56.1", "2017/05/03 12:34:56", ""});
  table.InsertRows(1, std::move(results));
}

void BM_SplitLine(benchmark::State& state) {
  std::string line = StoredLine(1);
  line.pop_back();  // the LF ends the line; the CR before it stays, as when read
  orvana::records::RowFields fields;
  for (auto _ : state) {
    benchmark::DoNotOptimize(orvana::records::SplitLineFields(line, fields));
    benchmark::DoNotOptimize(fields);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SplitLine);

void BM_ReadLogFile(benchmark::State& state) {
  const std::string& path = File().Path();
  for (auto _ : state) {
    std::string error;
    auto rows = orvana::records::ReadLogFile(path, error);
    if (!rows) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(rows);
  }
  state.SetItemsProcessed(state.iterations() * kFileLines);
}
BENCHMARK(BM_ReadLogFile)->Unit(benchmark::kMillisecond);

// Read and place a day's file into a table already holding state.range(0)
// rows: the rows go in behind the wavelength row, ahead of all the others.
void BM_ImportIntoFilledTable(benchmark::State& state) {
  const std::string& path = File().Path();
  for (auto _ : state) {
    state.PauseTiming();
    auto table = std::make_unique<orvana::results::ResultsTable>();
    FillTable(*table, static_cast<int>(state.range(0)));
    state.ResumeTiming();

    std::string error;
    if (!orvana::records::ImportLogFile(*table, path, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(table->RowCount());

    state.PauseTiming();
    table.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kFileLines);
}
BENCHMARK(BM_ImportIntoFilledTable)->Arg(10000)->Iterations(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportIntoFilledTable)->Arg(1000000)->Iterations(5)->Unit(benchmark::kMillisecond);

// Heap bytes each typical result row costs in a table of 100,000 rows: seven
// texts of about 40 characters in all and four colours, as the station
// leaves them. Reported as bytes_per_row (from mallinfo2, allocator overhead
// included).
void BM_TableBytesPerRow(benchmark::State& state) {
  constexpr int kRows = 100000;
  double bytesPerRow = 0;
  for (auto _ : state) {
    // Heap in use, counting the large blocks (the row vector) that the
    // allocator maps on their own.
    const auto inUse = [] {
      const struct mallinfo2 info = mallinfo2();
      return info.uordblks + info.hblkhd;
    };
    const size_t before = inUse();
    auto table = std::make_unique<orvana::results::ResultsTable>();
    for (int i = 0; i < kRows; ++i) {
      const int row = table->AppendRow("****");
      const char* values[] = {"-0.12", "55.3", "-0.20", "56.1"};
      for (int k = 0; k < 4; ++k) {
        const auto column = orvana::results::ValueColumn(k);
        table->SetText(row, column, values[k]);
        table->SetCellTextColor(column, row, orvana::results::COLOR_PASS);
      }
      table->SetText(row, orvana::results::Column::Time, "2017/05/03 12:34:56");
    }
    bytesPerRow = static_cast<double>(inUse() - before) / kRows;
    benchmark::DoNotOptimize(table->RowCount());
  }
  state.counters["bytes_per_row"] = bytesPerRow;
}
BENCHMARK(BM_TableBytesPerRow)->Iterations(1)->Unit(benchmark::kMillisecond);

// The streamed import of a day's file into an empty table, as the import
// command does.
void BM_ImportLogFile(benchmark::State& state) {
  const std::string& path = File().Path();
  for (auto _ : state) {
    orvana::results::ResultsTable table;
    std::string error;
    if (!orvana::records::ImportLogFile(table, path, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(table.RowCount());
  }
  state.SetItemsProcessed(state.iterations() * kFileLines);
}
BENCHMARK(BM_ImportLogFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
