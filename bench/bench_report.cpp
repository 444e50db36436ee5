// How the report export fares: writing a big table as a workbook, beside
// libxlsxwriter writing the very same cells with nothing of ours around it,
// and beside LibreOffice turning the same table (as CSV) into a workbook;
// and how much memory the export needs beyond the table itself. Then
// orvana-cli's report of a day log of as many lines: streamed from the log
// into the workbook as the command does it, and the former way (the log read
// whole into a table, then a snapshot of it written), each for its time and
// its peak memory.
//
//   bench_report [ROWS] [RUNS]     (default 100000 rows, 5 runs)
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "records/log_import.h"
#include "records/report_content.h"
#include "records/workbook_writer.h"
#include "results/results_table.h"
#include "results/settings_record.h"
#include "results/table_operations.h"

namespace {

using orvana::records::ReportContent;
using orvana::records::ReportRows;
using orvana::records::ReportRowSource;
using orvana::records::WriteWorkbook;
using orvana::results::Column;
using orvana::results::ResultsTable;
using orvana::results::RowTexts;
using Clock = std::chrono::steady_clock;

const std::array<std::string, 6> kTitles{"Distance", "Loss", "Refl", "Total", "Event", "Time"};

// One row as the meter's results give them, a little different each time.
RowTexts ResultRow(int i) {
  char il1[16], rl1[16], il2[16], rl2[16], time[32];
  std::snprintf(il1, sizeof il1, "%.2f", -0.10 - (i % 40) * 0.01);
  std::snprintf(rl1, sizeof rl1, "%.1f", 54.0 + (i % 50) * 0.1);
  std::snprintf(il2, sizeof il2, "%.2f", -0.15 - (i % 30) * 0.01);
  std::snprintf(rl2, sizeof rl2, "%.1f", 55.0 + (i % 45) * 0.1);
  std::snprintf(time, sizeof time, "2017/05/03 %02d:%02d:%02d", (i / 3600) % 24, (i / 60) % 60,
                i % 60);
  return {"A1705" + std::to_string(1000000 + i), il1, rl1, il2, rl2, time, ""};
}

void FillTable(ResultsTable& table, int rows) {
  orvana::results::ApplySettings(table, orvana::results::TestSettings::StartValues());
  std::vector<RowTexts> all;
  all.reserve(static_cast<size_t>(rows - 1));
  for (int i = 1; i < rows; ++i) all.push_back(ResultRow(i));
  table.InsertRows(table.RowCount(), std::move(all));
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Processor time of this process (user and system), which other programs on
// a shared machine disturb far less than the wall clock.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// kB from a line of /proc/self/status ("VmRSS", "VmHWM").
long StatusKb(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(key) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
  }
  return -1;
}

// Starts the peak (VmHWM) afresh from what is resident now.
bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  return static_cast<bool>(clear.flush());
}

double OurExport(const ResultsTable& table, const std::string& path, double* snapshotSeconds) {
  const auto start = Clock::now();
  ReportContent content;
  content.rows = ReportRows::FromTable(table);
  if (snapshotSeconds != nullptr) *snapshotSeconds = Seconds(start);
  content.columnTitles = kTitles;
  content.settings = orvana::results::TestSettings::StartValues();
  content.exportTime = {2026, 12, 8, 9, 0, 0};
  const auto result = WriteWorkbook(path, content);
  const double seconds = Seconds(start);
  if (!result.Written()) {
    std::fprintf(stderr, "export failed: %s\n", result.error.c_str());
    std::exit(1);
  }
  return seconds;
}

// The same cells, prepared beforehand, so that the timed part is only
// libxlsxwriter's: numbers with their formats, strings, the times as text and
// as date-times, the widths and the bold heading row, and the information
// sheet's fourteen lines.
struct RawCells {
  struct Row {
    std::string serial;
    std::array<double, 4> values;
    std::string timeText;
    lxw_datetime time;
  };
  std::vector<Row> rows;
  std::string wavelength1 = "1310nm", wavelength2 = "1625nm";
};

RawCells PrepareRaw(int rows) {
  RawCells cells;
  for (int i = 1; i < rows; ++i) {
    const RowTexts texts = ResultRow(i);
    RawCells::Row row;
    row.serial = texts[0];
    for (int k = 0; k < 4; ++k) row.values[k] = std::strtod(texts[k + 1].c_str(), nullptr);
    row.timeText = texts[5];
    row.time = {2017, 5, 3, (i / 3600) % 24, (i / 60) % 60, static_cast<double>(i % 60)};
    cells.rows.push_back(row);
  }
  return cells;
}

double RawExport(const RawCells& cells, const std::string& path) {
  const auto start = Clock::now();
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  lxw_workbook* workbook = workbook_new_opt(path.c_str(), &options);
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, "Sheet1");
  lxw_worksheet* info = workbook_add_worksheet(workbook, "Info");
  lxw_format* bold = workbook_add_format(workbook);
  format_set_bold(bold);
  lxw_format* integer = workbook_add_format(workbook);
  format_set_num_format(integer, "0");
  lxw_format* two = workbook_add_format(workbook);
  format_set_num_format(two, "0.00");
  lxw_format* one = workbook_add_format(workbook);
  format_set_num_format(one, "0.0");
  lxw_format* when = workbook_add_format(workbook);
  format_set_num_format(when, "yyyy\\/mm\\/dd hh:mm:ss");
  const double widths[9] = {5, 10, 10, 10, 15, 15, 10, 30, 20};
  for (lxw_col_t c = 0; c < 9; ++c) worksheet_set_column(sheet, c, c, widths[c], nullptr);
  worksheet_set_column(sheet, 10, 10, 20, nullptr);
  worksheet_write_blank(sheet, 0, 0, bold);
  worksheet_write_string(sheet, 0, 1, "NO.", bold);
  for (lxw_col_t c = 0; c < 6; ++c) {
    worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c + 2), kTitles[c].c_str(), bold);
  }
  worksheet_write_blank(sheet, 0, 8, bold);
  worksheet_write_string(sheet, 0, 10, kTitles[4].c_str(), bold);
  worksheet_write_number(sheet, 2, 0, 2, integer);
  worksheet_write_string(sheet, 2, 1, " ", nullptr);
  worksheet_write_string(sheet, 2, 2, cells.wavelength1.c_str(), nullptr);
  worksheet_write_string(sheet, 2, 3, cells.wavelength1.c_str(), nullptr);
  worksheet_write_string(sheet, 2, 4, cells.wavelength2.c_str(), nullptr);
  worksheet_write_string(sheet, 2, 5, cells.wavelength2.c_str(), nullptr);
  lxw_row_t r = 3;
  for (const RawCells::Row& row : cells.rows) {
    worksheet_write_number(sheet, r, 0, static_cast<double>(r), integer);
    worksheet_write_string(sheet, r, 1, row.serial.c_str(), nullptr);
    worksheet_write_number(sheet, r, 2, row.values[0], two);
    worksheet_write_number(sheet, r, 3, row.values[1], one);
    worksheet_write_number(sheet, r, 4, row.values[2], two);
    worksheet_write_number(sheet, r, 5, row.values[3], one);
    worksheet_write_string(sheet, r, 6, row.timeText.c_str(), nullptr);
    worksheet_write_datetime(sheet, r, 10, const_cast<lxw_datetime*>(&row.time), when);
    ++r;
  }
  for (lxw_row_t i = 0; i < 14; ++i) worksheet_write_string(info, i, 0, "label", nullptr);
  const lxw_error status = workbook_close(workbook);
  const double seconds = Seconds(start);
  if (status != LXW_NO_ERROR) {
    std::fprintf(stderr, "raw libxlsxwriter failed: %s\n", lxw_strerror(status));
    std::exit(1);
  }
  return seconds;
}

// The day log of `lines` results, as the day log writes them.
void WriteLog(const std::string& path, int lines) {
  std::ofstream out(path, std::ios::binary);
  for (int i = 1; i <= lines; ++i) {
    const RowTexts row = ResultRow(i);
    out << orvana::records::FormatLogLine(row[0], {row[1], row[2], row[3], row[4]}, row[5])
        << orvana::records::kLogLineEnd;
  }
}

void WriteOrExit(const std::string& path, const ReportContent& content) {
  const auto result = WriteWorkbook(path, content);
  if (!result.Written()) {
    std::fprintf(stderr, "report failed: %s\n", result.error.c_str());
    std::exit(1);
  }
}

ReportContent LogContent(ReportRowSource rows) {
  return orvana::records::BuildReportContent(std::move(rows), orvana::records::ReportInformation{},
                                             orvana::results::TestSettings::StartValues(), kTitles,
                                             {2026, 12, 8, 9, 0, 0});
}

// orvana-cli's report of `log`: its rows handed from the log to the workbook.
void StreamedReport(const std::string& log, const std::string& path) {
  const std::vector<std::string> logs{log};
  orvana::records::LogReading reading;
  WriteOrExit(path, LogContent(orvana::records::LogReportRows(logs, reading)));
}

// The report as orvana-cli made it before: the log read whole into a table,
// then a snapshot of the table written.
void FormerReport(const std::string& log, const std::string& path) {
  std::string error;
  auto rows = orvana::records::ReadLogFile(log, error);
  if (!rows) {
    std::fprintf(stderr, "cannot read %s: %s\n", log.c_str(), error.c_str());
    std::exit(1);
  }
  ResultsTable table;
  table.InsertRows(0, std::move(*rows));
  WriteOrExit(path, LogContent(ReportRows::FromTable(table)));
}

struct Measured {
  double seconds = 0;
  double cpuSeconds = 0;
  double peakMb = -1;  // above what the process held when the work began; -1: not measurable
};

// Runs `prepare`, then `work`, in a child process that measures the work, so
// that its peak memory is its own and what it leaves in the heap neither helps
// nor hinders whatever runs after it. Every run compared with another is made
// this way: a child's heap starts as its parent's and costs it page copies
// that a run in this process would not pay.
template <typename Prepare, typename Work>
Measured InChild(Prepare&& prepare, Work&& work) {
  int results[2];
  if (pipe(results) != 0) std::exit(1);
  std::fflush(nullptr);  // or the child would print what is buffered once more
  const pid_t child = fork();
  if (child < 0) std::exit(1);
  if (child == 0) {
    close(results[0]);
    prepare();
    Measured measured;
    const bool peakReset = ResetPeak();
    const long startKb = StatusKb("VmRSS");
    const double cpu = CpuSeconds();
    const auto start = Clock::now();
    work();
    measured.seconds = Seconds(start);
    measured.cpuSeconds = CpuSeconds() - cpu;
    if (peakReset) measured.peakMb = static_cast<double>(StatusKb("VmHWM") - startKb) / 1024.0;
    const bool sent = write(results[1], &measured, sizeof measured) == sizeof measured;
    _exit(sent ? 0 : 1);
  }
  close(results[1]);
  Measured measured;
  const bool got = read(results[0], &measured, sizeof measured) == sizeof measured;
  close(results[0]);
  int status = 0;
  if (waitpid(child, &status, 0) != child || !got || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    std::fputs("a measured run failed\n", stderr);
    std::exit(1);
  }
  return measured;
}

struct Medians {
  double seconds = 0;
  double cpuSeconds = 0;
  double peakMb = 0;
};

Medians MediansOf(const std::vector<Measured>& runs) {
  std::vector<double> seconds, cpu, peaks;
  for (const Measured& run : runs) {
    seconds.push_back(run.seconds);
    cpu.push_back(run.cpuSeconds);
    peaks.push_back(run.peakMb);
  }
  return {Median(seconds), Median(cpu), Median(peaks)};
}

std::string FindSoffice() {
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    const size_t end = std::min(folders.find(':', start), folders.size());
    const std::string candidate = folders.substr(start, end - start) + "/soffice";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// The table as LibreOffice would take it in: the same sheet layout as CSV.
void WriteCsv(const ResultsTable& table, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << ",NO.";
  for (const auto& title : kTitles) out << ',' << title;
  out << ",\n,,,,,,,,\n";
  for (int row = 0; row < table.RowCount(); ++row) {
    out << row + 2;
    for (int column = 0; column < orvana::results::kColumnCount; ++column) {
      out << ",\"" << table.Text(row, column) << '"';
    }
    out << ",\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  if (rows < 2 || runs < 1) {
    std::fputs("usage: bench_report [ROWS >= 2] [RUNS >= 1]\n", stderr);
    return 64;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "orvana-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  const std::string folder = pattern;
  const std::string ours = folder + "/ours.xlsx";

  // orvana-cli's report of a day log of as many lines, each way and
  // libxlsxwriter alone in a child process (see InChild), taking turns so
  // that all meet the same load on a shared machine; first, while this
  // process is still small.
  const std::string log = folder + "/20170503.txt";
  WriteLog(log, rows);
  std::vector<Measured> streamed, former, rawAlone;
  std::optional<RawCells> rawCells;  // made in each child, never here
  const auto nothing = [] {};
  for (int run = 0; run < runs; ++run) {
    streamed.push_back(InChild(nothing, [&] { StreamedReport(log, folder + "/streamed.xlsx"); }));
    former.push_back(InChild(nothing, [&] { FormerReport(log, folder + "/former.xlsx"); }));
    rawAlone.push_back(InChild([&] { rawCells = PrepareRaw(rows); },
                               [&] { RawExport(*rawCells, folder + "/raw-alone.xlsx"); }));
  }

  const long before = StatusKb("VmRSS");
  ResultsTable table;
  FillTable(table, rows);
  const long withTable = StatusKb("VmRSS");

  // Memory first, in a heap the timing runs have not spread yet.
  const bool peakReset = ResetPeak();
  OurExport(table, ours, nullptr);
  const long peak = StatusKb("VmHWM");

  const RawCells raw = PrepareRaw(rows);
  std::vector<double> ourTimes, rawTimes, snapshotTimes, ourCpu, rawCpu;
  for (int run = 0; run < runs; ++run) {
    double snapshot = 0;
    double cpu = CpuSeconds();
    ourTimes.push_back(OurExport(table, ours, &snapshot));
    ourCpu.push_back(CpuSeconds() - cpu);
    snapshotTimes.push_back(snapshot);
    cpu = CpuSeconds();
    rawTimes.push_back(RawExport(raw, folder + "/raw.xlsx"));
    rawCpu.push_back(CpuSeconds() - cpu);
  }
  const double ourMedian = Median(ourTimes);
  const double rawMedian = Median(rawTimes);

  std::printf("rows: %d, runs: %d (medians)\n", rows, runs);
  std::printf("our export (snapshot + write):   %.3f s (%.0f rows/s)\n", ourMedian,
              rows / ourMedian);
  std::printf("  of which the snapshot:         %.3f s\n", Median(snapshotTimes));
  std::printf("libxlsxwriter alone, same cells: %.3f s\n", rawMedian);
  std::printf(
      "ratio ours / libxlsxwriter:      %.2f wall, %.2f processor time (%.3f s / %.3f s)"
      " (target: at most 1.2)\n",
      ourMedian / rawMedian, Median(ourCpu) / Median(rawCpu), Median(ourCpu), Median(rawCpu));
  std::printf("workbook size:                   %.1f MB\n",
              static_cast<double>(std::filesystem::file_size(ours)) / 1e6);
  std::printf("table in memory:                 %.1f MB\n",
              static_cast<double>(withTable - before) / 1024.0);
  if (peakReset) {
    std::printf("export's peak above the table:   %.1f MB (target: under 10 MB)\n",
                static_cast<double>(peak - withTable) / 1024.0);
  } else {
    std::printf("export's peak above the table:   not measurable (no /proc/self/clear_refs)\n");
  }

  const Medians alone = MediansOf(rawAlone);
  std::printf(
      "report of a log of %d lines, as orvana-cli report makes it (each in a process"
      " of its own):\n",
      rows);
  std::printf("  libxlsxwriter alone, same cells: %.3f s, %.3f s processor\n", alone.seconds,
              alone.cpuSeconds);
  const auto tell = [&](const char* what, const std::vector<Measured>& measured) {
    const Medians way = MediansOf(measured);
    std::printf(
        "  %s %.3f s, %.3f s processor, peak %.1f MB above the start; ratio to"
        " libxlsxwriter %.2f wall, %.2f processor time\n",
        what, way.seconds, way.cpuSeconds, way.peakMb, way.seconds / alone.seconds,
        way.cpuSeconds / alone.cpuSeconds);
  };
  tell("streamed, log to workbook:      ", streamed);
  tell("former, log to table to sheet:  ", former);
  std::printf(
      "  (targets for the streamed: at most 1.1 of libxlsxwriter's time; memory that does not"
      " grow with the log)\n");

  const std::string soffice = FindSoffice();
  if (soffice.empty()) {
    std::printf("soffice --convert-to xlsx:       not installed\n");
  } else {
    WriteCsv(table, folder + "/table.csv");
    const std::string command = soffice + " -env:UserInstallation=file://" + folder +
                                "/profile --headless --norestore --convert-to xlsx --outdir " +
                                folder + "/lo " + folder + "/table.csv >/dev/null 2>&1";
    // Once to make its profile, then timed.
    (void)std::system(command.c_str());
    std::vector<double> times;
    for (int run = 0; run < std::min(runs, 3); ++run) {
      const auto start = Clock::now();
      if (std::system(command.c_str()) != 0) {
        std::printf("soffice --convert-to xlsx:       failed\n");
        break;
      }
      times.push_back(Seconds(start));
    }
    if (!times.empty()) {
      std::printf("soffice --convert-to xlsx (CSV): %.3f s, start-up included (%.1fx ours)\n",
                  Median(times), Median(times) / ourMedian);
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
