// The whole road, measured on the real programs: result frames written into a
// pseudo-terminal, read by `orvana-cli listen`, turned into rows on its
// standard output and lines in the day's log. Run by hand:
//
//   bench_road flood [--results N] [--runs K] [--cli PATH]
//       N results (20,000) as fast as orvana-cli takes them: results/s from
//       the first row to the last, CPU time and context switches per result
//       (the child's own rusage), and whether every result became a row and a
//       log line. K runs (3), each reported, then the medians.
//   bench_road pace [--seconds S] [--cli PATH]
//       The meter's real rate for S seconds (30) in each of two ways: one
//       byte every 1.04 ms (9600 baud), then whole frames every 25 ms. The
//       same bytes go at the same moments to `cat` on a second
//       pseudo-terminal, and both CPU times are reported side by side.
//   --database CONNINFO (either mode)
//       orvana-cli also forwards every result to that database; its CPU
//       time then includes the store's (bench_store runs both ways).
//
// Exit status 1 when a result went missing, 2 for a setup failure.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "protocol/frame.h"

extern char** environ;

namespace {

using namespace orvana::bench;
using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A result as the meter sends it: both wavelengths, recorded.
Bytes ResultFrame(int n) {
  Bytes frame(24, 0);
  frame[0] = orvana::protocol::kFrameHeader;
  frame[1] = 22;
  frame[2] = orvana::protocol::CMD_RESULT;
  frame[3] = 1;
  const float values[4] = {-0.21f - 0.01f * static_cast<float>(n % 20), 56.3f, -0.35f, 54.0f};
  for (int v = 0; v < 4; ++v) {
    const auto bits = std::bit_cast<uint32_t>(values[v]);
    for (int b = 0; b < 4; ++b) frame[5 + 4 * v + b] = static_cast<uint8_t>(bits >> (8 * b));
  }
  frame[21] = 1;
  frame[22] = orvana::protocol::Checksum(frame.data(), 22);
  frame[23] = orvana::protocol::kFrameTrailer;
  return frame;
}

struct Child {
  pid_t pid = -1;
  int output = -1;  // its stdout, when captured

  // Ends it with SIGTERM and returns what it used.
  rusage Stop() {
    kill(pid, SIGTERM);
    rusage usage{};
    int status = 0;
    wait4(pid, &status, 0, &usage);
    pid = -1;
    return usage;
  }
};

// `input` -1 keeps ours; the output is captured in a pipe when `capture`.
Child Spawn(const std::vector<std::string>& args, const std::string& folder, int input,
            bool capture) {
  int out[2] = {-1, -1};
  if (capture && pipe2(out, O_CLOEXEC) != 0) Fail("pipe2");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input >= 0) posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  if (capture) {
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (std::string& arg : copy) argv.push_back(arg.data());
  argv.push_back(nullptr);
  Child child;
  const int error = posix_spawnp(&child.pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (capture) close(out[1]);
  if (error != 0) {
    errno = error;
    Fail("cannot start " + args[0]);
  }
  child.output = out[0];
  return child;
}

// Reads orvana-cli's JSON lines on a thread of its own, fast enough never to
// be the reason the station drops output, and notes when rows appear.
class RowWatcher {
 public:
  RowWatcher(int fd, int expected) : m_fd(fd), m_seen(static_cast<size_t>(expected), false) {
    m_thread = std::thread([this] { Run(); });
  }
  ~RowWatcher() {
    Finish();
    close(m_fd);
  }
  RowWatcher(const RowWatcher&) = delete;
  RowWatcher& operator=(const RowWatcher&) = delete;

  bool WaitForMessage(std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [this] { return m_messages.load() > 0; });
  }
  bool WaitForRows(int count, std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [&] { return m_distinct.load() >= count; });
  }
  // Once the station is stopped: everything it wrote has been read.
  void Finish() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
  }
  int Distinct() const { return m_distinct; }
  long Dropped() const { return m_dropped; }
  Clock::time_point FirstRow() const { return m_firstRow; }
  Clock::time_point LastNewRow() const { return m_lastNewRow; }

 private:
  template <typename Done>
  static bool WaitUntil(std::chrono::milliseconds timeout, Done done) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }

  void Line(std::string_view line) {
    constexpr std::string_view kRow = "{\"row\":";
    constexpr std::string_view kDropped = "{\"dropped\":";
    if (line.substr(0, kRow.size()) == kRow) {
      const long row = std::strtol(line.data() + kRow.size(), nullptr, 10);
      if (row >= 0 && static_cast<size_t>(row) < m_seen.size() && !m_seen[row]) {
        m_seen[row] = true;
        const auto now = Clock::now();
        if (m_distinct == 0) m_firstRow = now;
        m_lastNewRow = now;
        ++m_distinct;
      }
    } else if (line.substr(0, kDropped.size()) == kDropped) {
      m_dropped += std::strtol(line.data() + kDropped.size(), nullptr, 10);
    } else if (line.find("\"message\"") != std::string_view::npos) {
      ++m_messages;
    }
  }

  void Run() {
    std::string pending;
    char chunk[65536];
    for (;;) {
      pollfd p{m_fd, POLLIN, 0};
      const int ready = poll(&p, 1, 20);
      if (ready == 0) {
        if (m_stop) return;
        continue;
      }
      const ssize_t n = read(m_fd, chunk, sizeof chunk);
      if (n <= 0) return;
      pending.append(chunk, static_cast<size_t>(n));
      size_t start = 0;
      for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
        Line(std::string_view(pending).substr(start, end - start));
      }
      pending.erase(0, start);
    }
  }

  int m_fd;
  std::vector<bool> m_seen;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_distinct{0};
  std::atomic<int> m_messages{0};
  std::atomic<long> m_dropped{0};
  Clock::time_point m_firstRow{};
  Clock::time_point m_lastNewRow{};
  std::thread m_thread;
};

class WorkFolder {
 public:
  WorkFolder() {
    std::string pattern = (fs::temp_directory_path() / "orvana-road-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) Fail("mkdtemp");
    m_path = pattern;
  }
  ~WorkFolder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  const std::string& Path() const { return m_path; }

  size_t LogLines() const {
    size_t lines = 0;
    std::error_code error;
    for (fs::directory_iterator it(m_path + "/Savetemp", error), end; !error && it != end;
         it.increment(error)) {
      if (!it->is_regular_file()) continue;  // the store's outbox folder
      std::ifstream in(it->path(), std::ios::binary);
      const std::string text{std::istreambuf_iterator<char>(in), {}};
      for (size_t at = text.find("\r\r\n"); at != std::string::npos;
           at = text.find("\r\r\n", at + 3)) {
        ++lines;
      }
    }
    return lines;
  }

 private:
  std::string m_path;
};

struct FloodRun {
  double resultsPerSecond = 0;
  double cpuMicrosPerResult = 0;
  double switchesPerResult = 0;
  bool complete = false;
};

// orvana-cli listen on `port`, with the database when one is given.
std::vector<std::string> ListenArgs(const std::string& cli, const std::string& port,
                                    const std::string& database) {
  std::vector<std::string> args = {cli, "listen", port, "--seconds", "3600"};
  if (!database.empty()) args.insert(args.end(), {"--database", database});
  return args;
}

FloodRun Flood(const std::string& cli, int results, const std::string& database) {
  WorkFolder work;
  Pty pty;
  Child station = Spawn(ListenArgs(cli, pty.SlavePath(), database), work.Path(), -1, true);
  RowWatcher rows(station.output, results);
  if (!pty.AnswerGreeting(10s)) Fail("no greeting from orvana-cli");
  if (!rows.WaitForMessage(10s)) Fail("orvana-cli did not confirm the connection");

  Bytes stream;
  stream.reserve(static_cast<size_t>(results) * 24);
  for (int n = 0; n < results; ++n) {
    const Bytes frame = ResultFrame(n);
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  // The pseudo-terminal pushes back when orvana-cli falls behind, so nothing
  // is lost on the way in; the writer goes as fast as it is let.
  std::thread writer([&] { pty.WriteAll(stream.data(), stream.size()); });
  const bool allRows = rows.WaitForRows(results, std::chrono::milliseconds(5000 + results * 10));
  writer.join();
  const rusage usage = station.Stop();
  rows.Finish();

  FloodRun run;
  const double span = Seconds(rows.LastNewRow() - rows.FirstRow());
  run.resultsPerSecond = span > 0 ? (rows.Distinct() - 1) / span : 0;
  run.cpuMicrosPerResult = CpuSeconds(usage) * 1e6 / results;
  run.switchesPerResult = static_cast<double>(usage.ru_nvcsw + usage.ru_nivcsw) / results;
  const size_t logged = work.LogLines();
  run.complete = allRows && rows.Distinct() == results && logged == static_cast<size_t>(results);
  std::printf(
      "flood: %d results, %.0f results/s, %.1f us CPU/result, %.2f context switches/result; "
      "%d rows, %zu log lines, %ld output lines dropped%s\n",
      results, run.resultsPerSecond, run.cpuMicrosPerResult, run.switchesPerResult, rows.Distinct(),
      logged, rows.Dropped(), run.complete ? "" : "  << RESULTS MISSING");
  return run;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// One paced run: `piece` bytes every `period`, the same bytes to both lines.
bool Pace(const std::string& cli, const char* name, size_t piece, Clock::duration period,
          std::chrono::seconds duration, const std::string& database) {
  WorkFolder work;
  Pty stationLine;
  Pty catLine;
  Child station = Spawn(ListenArgs(cli, stationLine.SlavePath(), database), work.Path(), -1, true);
  Child cat = Spawn({"cat"}, {}, catLine.RawSlave(), false);
  RowWatcher rows(station.output, 1 << 20);
  if (!stationLine.AnswerGreeting(10s)) Fail("no greeting from orvana-cli");
  if (!rows.WaitForMessage(10s)) Fail("orvana-cli did not confirm the connection");

  Bytes stream;
  const size_t frames = static_cast<size_t>(
      std::chrono::duration_cast<Clock::duration>(duration) / period * piece / 24 + 1);
  for (size_t n = 0; n < frames; ++n) {
    const Bytes frame = ResultFrame(static_cast<int>(n));
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  const auto start = Clock::now();
  size_t sent = 0;
  for (auto next = start; next < start + duration && sent < stream.size(); next += period) {
    SleepUntil(next);
    const size_t length = std::min(piece, stream.size() - sent);
    stationLine.WriteAll(stream.data() + sent, length);
    catLine.WriteAll(stream.data() + sent, length);
    sent += length;
  }
  const int whole = static_cast<int>(sent / 24);
  rows.WaitForRows(whole, 5s);
  const rusage stationUsage = station.Stop();
  const rusage catUsage = cat.Stop();
  rows.Finish();

  const double elapsed = Seconds(Clock::now() - start);
  const double stationCpu = CpuSeconds(stationUsage);
  const double catCpu = CpuSeconds(catUsage);
  const size_t logged = work.LogLines();
  const bool complete = rows.Distinct() == whole && logged == static_cast<size_t>(whole);
  std::printf(
      "pace %s: %zu bytes, %d results in %.1f s; orvana-cli %.3f s CPU (%.2f %% of a core; "
      "user %.3f, system %.3f), cat %.3f s (%.2f %%), ratio %.1f; %d rows, %zu log lines%s\n",
      name, sent, whole, elapsed, stationCpu, 100 * stationCpu / elapsed,
      Seconds(stationUsage.ru_utime), Seconds(stationUsage.ru_stime), catCpu,
      100 * catCpu / elapsed, catCpu > 0 ? stationCpu / catCpu : 0.0, rows.Distinct(), logged,
      complete ? "" : "  << RESULTS MISSING");
  return complete;
}

int Usage() {
  std::fputs(
      "usage: bench_road flood [--results N] [--runs K] [--cli PATH] [--database CONNINFO]\n"
      "       bench_road pace [--seconds S] [--cli PATH] [--database CONNINFO]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string mode = argv[1];
  std::string cli = ORVANA_CLI_PATH;
  int results = 20000;
  int runs = 3;
  int seconds = 30;
  std::string database;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--cli") {
      cli = argv[i + 1];
    } else if (option == "--database") {
      database = argv[i + 1];
    } else if (option == "--results") {
      results = std::max(2, std::atoi(argv[i + 1]));
    } else if (option == "--runs") {
      runs = std::max(1, std::atoi(argv[i + 1]));
    } else if (option == "--seconds") {
      seconds = std::max(1, std::atoi(argv[i + 1]));
    } else {
      return Usage();
    }
  }
  if (argc % 2 != 0) return Usage();
  setenv("ORVANA_TRACE", "off", 1);
  signal(SIGPIPE, SIG_IGN);

  try {
    if (mode == "flood") {
      std::vector<double> rate, cpu, switches;
      bool complete = true;
      for (int run = 0; run < runs; ++run) {
        const FloodRun r = Flood(cli, results, database);
        rate.push_back(r.resultsPerSecond);
        cpu.push_back(r.cpuMicrosPerResult);
        switches.push_back(r.switchesPerResult);
        complete = complete && r.complete;
      }
      std::printf("flood medians of %d: %.0f results/s, %.1f us CPU/result, %.2f switches/result\n",
                  runs, Median(rate), Median(cpu), Median(switches));
      return complete ? 0 : 1;
    }
    if (mode == "pace") {
      const auto duration = std::chrono::seconds(seconds);
      const bool bytes =
          Pace(cli, "bytes", 1, std::chrono::microseconds(1042), duration, database);
      const bool frames = Pace(cli, "frames", 24, 25ms, duration, database);
      return bytes && frames ? 0 : 1;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_road: %s\n", error.what());
    return 2;
  }
  return Usage();
}
