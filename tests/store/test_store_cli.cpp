// orvana-cli with the line's record: the headless station forwarding what it
// logs, killed and restarted; old day logs stored once however often; the
// line's report and status read back from the database.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <thread>

#include "records/daily_log.h"
#include "support/child_process.h"
#include "support/pg_cluster.h"
#include "support/sim_harness.h"
#include "support/temp_folder.h"
#include "support/workbook_reader.h"

namespace orvana::store {
namespace {

using std::chrono::milliseconds;
using testing::ChildProcess;
using testing::ReadFile;

constexpr milliseconds kPatience{30000};

class StoreCli : public ::testing::Test {
 protected:
  StoreCli() {
    std::filesystem::create_directories(m_bench);
    // Where a run saves what its files did not take: this test's own.
    ::setenv("XDG_DATA_HOME", (m_work.Path() + "/data").c_str(), 1);
  }
  ~StoreCli() override { ::unsetenv("XDG_DATA_HOME"); }

  // Every line of the bench's day logs, sorted.
  static std::vector<std::string> LogLines(const std::string& folder) {
    std::vector<std::string> lines;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder + "/Savetemp", error), end;
         !error && it != end; it.increment(error)) {
      if (it->path().extension() != ".txt") continue;
      const std::string text = ReadFile(it->path().string());
      for (size_t start = 0, at; (at = text.find("\r\r\n", start)) != std::string::npos;
           start = at + 3) {
        lines.push_back(text.substr(start, at - start));
      }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
  }
  // The bench's rows in the database, each written as its log line, sorted.
  // None before the first bench has made the tables.
  std::vector<std::string> RecordLines(const std::string& bench) {
    std::string text;
    try {
      text = m_server.Sql(
          "SELECT concat_ws('   ', serial, il1, rl1, il2, rl2, time_text) FROM orvana.results "
          "WHERE bench = '" +
          bench + "' ORDER BY 1");
    } catch (const std::exception&) {
      return {};
    }
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
      const size_t end = std::min(text.find('\n', start), text.size());
      lines.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    std::sort(lines.begin(), lines.end());
    return lines;
  }
  std::unique_ptr<ChildProcess> Cli(const std::vector<std::string>& args,
                                    const std::string& bench = "b1",
                                    const std::vector<std::string>& before = {}) {
    ::setenv("ORVANA_BENCH", bench.c_str(), 1);
    std::vector<std::string> command = before;
    command.push_back(ORVANA_CLI_PATH);
    command.insert(command.end(), args.begin(), args.end());
    auto cli = std::make_unique<ChildProcess>(
        command.front(), std::vector<std::string>(command.begin() + 1, command.end()), m_bench);
    ::unsetenv("ORVANA_BENCH");
    return cli;
  }
  // Waits until `done` holds, reading what `reading` prints meanwhile (a
  // reader that stops reading would have lines dropped); false when the
  // patience ran out.
  static bool Eventually(const std::function<bool()>& done, ChildProcess* reading = nullptr) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      if (reading != nullptr) {
        while (reading->NextLine(milliseconds(5))) {
        }
      } else {
        std::this_thread::sleep_for(milliseconds(20));
      }
    }
    return true;
  }
  std::vector<std::string> FilesIn(const std::string& folder, const std::string& extension) {
    std::vector<std::string> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
      if (it->path().extension() == extension) files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
  }
  // Stores the bench's day logs with `store`; its JSON lines.
  std::vector<std::string> StoreDayLogs() {
    std::vector<std::string> args = {"store", "--database", m_server.Conninfo()};
    for (const std::string& log : FilesIn(m_bench + "/Savetemp", ".txt")) args.push_back(log);
    auto store = Cli(args);
    EXPECT_EQ(store->WaitExit(kPatience), 0) << store->ErrorText();
    return store->Lines();
  }
  static bool Has(const ChildProcess& cli, const std::string& part) {
    return std::any_of(cli.Lines().begin(), cli.Lines().end(), [&](const std::string& line) {
      return line.find(part) != std::string::npos;
    });
  }
  // A listen run on `port` that has greeted the meter.
  std::unique_ptr<ChildProcess> Listen(const std::string& port,
                                       const std::vector<std::string>& before = {}) {
    auto listen = Cli({"listen", port, "--database", m_server.Conninfo()}, "b1", before);
    EXPECT_TRUE(listen->WaitFor(
        [](const std::string& line) { return line.find("\"message\"") != std::string::npos; },
        kPatience))
        << listen->ErrorText();
    return listen;
  }
  static std::string Results(int count, int pauseMs) {
    std::string script;
    for (int n = 0; n < count; ++n) {
      script += "result dual -0.21 " + std::to_string(50 + n % 10) + " -0.35 54.0 record\n";
      if (pauseMs > 0) script += "wait " + std::to_string(pauseMs) + "\n";
    }
    return script;
  }

  testing::PgCluster m_server;
  testing::TempFolder m_work;
  const std::string m_bench = m_work.Path() + "/bench";
};

TEST_F(StoreCli, ABenchKilledInTheMiddleOfABatchSendsEveryLoggedResultOnceAfterARestart) {
  simtest::SimProcess sim({"--stdin"});
  const std::string port = sim.FirstLine();
  ASSERT_FALSE(port.empty());
  const std::string database = m_server.Conninfo();
  {
    auto listen = Cli({"listen", port, "--database", database});
    ASSERT_TRUE(listen->WaitFor(
        [](const std::string& line) { return line.find("\"message\"") != std::string::npos; },
        kPatience));
    sim.Input(Results(1000, 3));
    // Killed while batches are going: one may be committed, its mark not.
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (LogLines(m_bench).size() < 200 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(5));
    }
    listen->Signal(SIGKILL);
    listen->WaitExit(kPatience);
  }
  auto listen = Cli({"listen", port, "--database", database});
  ASSERT_TRUE(listen->WaitFor(
      [](const std::string& line) { return line.find("\"caught-up\"") != std::string::npos; },
      kPatience))
      << listen->ErrorText();
  sim.Input(Results(40, 3));
  // The meter falls silent: the last results are logged.
  for (size_t seen = 0; seen != LogLines(m_bench).size();) {
    seen = LogLines(m_bench).size();
    std::this_thread::sleep_for(milliseconds(500));
  }
  listen->Signal(SIGTERM);
  ASSERT_EQ(listen->WaitExit(kPatience), 0);
  const std::vector<std::string> logged = LogLines(m_bench);
  EXPECT_GT(logged.size(), 240u);
  EXPECT_EQ(RecordLines("b1"), logged);
}

TEST_F(StoreCli, WithADatabaseTheDayLogIsAsWithoutAndTheRecordHoldsItLineForLine) {
  const std::string plain = m_work.Path() + "/plain";
  std::filesystem::create_directories(plain);
  const std::string script = Results(30, 10);
  std::vector<std::string> logs;
  for (const std::string& folder : {plain, m_bench}) {
    simtest::SimProcess sim({"--stdin"});
    const std::string port = sim.FirstLine();
    std::vector<std::string> args = {"listen",    port,  "--serial", "SN 7",
                                     "--product", "P-1", "--order",  "4711"};
    if (folder == m_bench) args.insert(args.end(), {"--database", m_server.Conninfo()});
    ::setenv("ORVANA_BENCH", "b1", 1);
    ChildProcess listen(ORVANA_CLI_PATH, args, folder);
    ::unsetenv("ORVANA_BENCH");
    ASSERT_TRUE(listen.WaitFor(
        [](const std::string& line) { return line.find("\"message\"") != std::string::npos; },
        kPatience));
    sim.Input(script);
    while (LogLines(folder).size() < 30) std::this_thread::sleep_for(milliseconds(20));
    listen.Signal(SIGTERM);
    ASSERT_EQ(listen.WaitExit(kPatience), 0);
    // The clock is the only thing that differs between the runs.
    std::string text;
    for (const std::string& line : LogLines(folder)) text += line + "\n";
    logs.push_back(std::regex_replace(text, std::regex(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d)"), "T"));
  }
  EXPECT_EQ(logs[0], logs[1]);
  EXPECT_EQ(logs[0].rfind("SN 7   ", 0), 0u) << logs[0];
  EXPECT_EQ(RecordLines("b1"), LogLines(m_bench));
  // The bench's numbers go with every part, and its verdict with them (the
  // second IL fails every one of them).
  EXPECT_EQ(m_server.Sql("SELECT DISTINCT concat_ws('|', serial, product_number, order_number, "
                         "pass) FROM orvana.results"),
            "SN 7|P-1|4711|f");
}

TEST_F(StoreCli, OldLogsAreStoredOnceHoweverOftenAndTheLinesReportNamesTheBench) {
  const auto log = [&](const std::string& day, const std::vector<std::string>& serials) {
    std::string text;
    for (const std::string& serial : serials) {
      text += records::FormatLogLine(serial, {"-0.21", "56.3", "-0.35", "54.0"},
                                     day.substr(0, 4) + "/" + day.substr(4, 2) + "/" +
                                         day.substr(6, 2) + " 08:00:00") +
              std::string(records::kLogLineEnd);
    }
    const std::string path = m_bench + "/" + day + ".txt";
    testing::WriteFile(path, text);
    return path;
  };
  const std::string first = log("20261201", {"SN 1 with spaces", "SN-2", "SN-2"});
  const std::string second = log("20261202", {"SN-3", "SN-4"});
  const std::string database = m_server.Conninfo();

  auto store = Cli({"store", "--database", database, first, second});
  ASSERT_EQ(store->WaitExit(kPatience), 0) << store->ErrorText();
  ASSERT_EQ(store->Lines().size(), 2u);
  EXPECT_NE(store->Lines()[0].find("\"lines\":3,\"stored\":3,\"present\":0"), std::string::npos)
      << store->Lines()[0];
  auto again = Cli({"store", "--database", database, first, second});
  ASSERT_EQ(again->WaitExit(kPatience), 0);
  EXPECT_NE(again->Lines()[0].find("\"stored\":0,\"present\":3"), std::string::npos);
  EXPECT_NE(again->Lines()[1].find("\"stored\":0,\"present\":2"), std::string::npos);
  // Another bench's log of the same name is another bench's record.
  auto other = Cli({"store", "--database", database, first}, "b2");
  ASSERT_EQ(other->WaitExit(kPatience), 0);

  auto status = Cli({"store", "--status", "--database", database});
  ASSERT_EQ(status->WaitExit(kPatience), 0);
  EXPECT_EQ(status->Lines(), (std::vector<std::string>{
                                 R"({"bench":"b1","results":5,"last":"2026-12-02T08:00:00Z"})",
                                 R"({"bench":"b2","results":3,"last":"2026-12-01T08:00:00Z"})"}));

  // The bench's column is titled from the bench's texts, as the others are.
  std::filesystem::copy_file(ORVANA_SOURCE_DIR "/lang/zh_CN/language.ini",
                             m_bench + "/language.ini");
  auto report = Cli({"report", "--from-database", "--database", database, "--since", "2026-12-01",
                     "--until", "2026-12-01", "-o", "line.xlsx"});
  ASSERT_EQ(report->WaitExit(kPatience), 0) << report->ErrorText();
  const auto sheets = testing::ReadWorkbook(m_bench + "/line.xlsx");
  ASSERT_TRUE(sheets);
  const testing::Sheet& rows = sheets->front();
  EXPECT_EQ(rows.At("I1")->text, "工位");
  std::multiset<std::string> seen;
  for (const int row : rows.Rows()) {
    if (row < 3) continue;
    seen.insert(rows.At("B" + std::to_string(row))->text + "@" +
                rows.At("I" + std::to_string(row))->text);
  }
  EXPECT_EQ(seen, (std::multiset<std::string>{"SN 1 with spaces@b1", "SN-2@b1", "SN-2@b1",
                                              "SN 1 with spaces@b2", "SN-2@b2", "SN-2@b2"}));

  auto wrong = Cli({"report", "--from-database", "--database", database, "--since", "2026-02-30"});
  EXPECT_EQ(wrong->WaitExit(kPatience), 64);
  EXPECT_NE(wrong->ErrorText().find("--since needs a day"), std::string::npos);
}

TEST_F(StoreCli, AnOutboxDeletedOrTruncatedUnderARunningBenchLosesNothingOnceStoreLogHasRun) {
  simtest::SimProcess sim({"--stdin"});
  const std::string port = sim.FirstLine();
  const std::string outbox = m_bench + "/Savetemp/outbox";
  auto listen = Listen(port);
  sim.Input(Results(300, 2));
  ASSERT_TRUE(Eventually([&] { return RecordLines("b1").size() == 300; }, listen.get()));
  // Deleted by a clean-up: the file made anew is read from its start.
  for (const std::string& file : FilesIn(outbox, ".outbox")) std::filesystem::remove(file);
  sim.Input(Results(300, 2));
  ASSERT_TRUE(Eventually([&] { return LogLines(m_bench).size() == 600; }, listen.get()));
  EXPECT_TRUE(Eventually([&] { return RecordLines("b1") == LogLines(m_bench); }, listen.get()))
      << RecordLines("b1").size() << " of 600 in the record";
  // Truncated in the middle of a flood: what it held unsent is only in the
  // day log now, and the bench says so. A flood the bench can follow even
  // under a sanitizer on a busy machine: a meter whose reader falls 2 KiB
  // behind drops what piled up, and the count below would never be reached.
  sim.Input(Results(3000, 3));
  ASSERT_TRUE(Eventually([&] { return LogLines(m_bench).size() >= 2000; }, listen.get()));
  for (const std::string& file : FilesIn(outbox, ".outbox")) std::filesystem::resize_file(file, 0);
  ASSERT_TRUE(Eventually([&] { return LogLines(m_bench).size() == 3600; }, listen.get()));
  listen->Signal(SIGTERM);
  ASSERT_EQ(listen->WaitExit(kPatience), 0) << listen->ErrorText();
  EXPECT_TRUE(Has(*listen, R"({"store":"outbox-changed","file":")"));

  // One store of the day log brings exactly what the record lacks, and a
  // second brings nothing.
  const size_t held = RecordLines("b1").size();
  const std::vector<std::string> stored = StoreDayLogs();
  ASSERT_EQ(stored.size(), 1u);
  const std::string missing = std::to_string(3600 - held);
  EXPECT_NE(stored[0].find("\"stored\":" + missing + ","), std::string::npos) << stored[0];
  EXPECT_NE(stored[0].find("\"missing\":" + missing + ","), std::string::npos) << stored[0];
  EXPECT_EQ(RecordLines("b1"), LogLines(m_bench));
  const std::vector<std::string> again = StoreDayLogs();
  ASSERT_EQ(again.size(), 1u);
  EXPECT_NE(again[0].find("\"stored\":0,\"present\":3600,"), std::string::npos) << again[0];
}

TEST_F(StoreCli, AnOutboxThatTakesNothingIsToldAndItsResultsAreSavedAndSentByTheNextRun) {
  simtest::SimProcess sim({"--stdin"});
  const std::string port = sim.FirstLine();
  std::filesystem::create_directories(m_bench + "/Savetemp");
  testing::WriteFile(m_bench + "/Savetemp/outbox", "a file where the outbox folder goes");
  {
    auto listen = Listen(port);
    sim.Input(Results(100, 2));
    ASSERT_TRUE(Eventually([&] { return LogLines(m_bench).size() == 100; }, listen.get()));
    listen->Signal(SIGTERM);
    ASSERT_EQ(listen->WaitExit(kPatience), 0) << listen->ErrorText();
    EXPECT_TRUE(Has(*listen, R"({"store":"failing","reason":")")) << listen->ErrorText();
    EXPECT_TRUE(Has(*listen, R"(","results":100})")) << listen->ErrorText();
    EXPECT_TRUE(
        Has(*listen, R"({"store":"saved","path":")" + m_work.Path() + "/data/orvana/unsaved/"));
  }
  EXPECT_TRUE(RecordLines("b1").empty());
  std::filesystem::remove(m_bench + "/Savetemp/outbox");
  auto next = Cli({"listen", port, "--database", m_server.Conninfo()});
  ASSERT_TRUE(next->WaitFor(
      [](const std::string& line) { return line.find(R"("sent":100)") != std::string::npos; },
      kPatience))
      << next->ErrorText();
  next->Signal(SIGTERM);
  ASSERT_EQ(next->WaitExit(kPatience), 0);
  EXPECT_EQ(RecordLines("b1"), LogLines(m_bench));
}

TEST_F(StoreCli, ADiskThatFillsUpIsToldAndNothingItHeldIsOutOfReach) {
  simtest::SimProcess sim({"--stdin"});
  const std::string port = sim.FirstLine();
  {
    // No file of the run may grow past 64 KiB: the day log's 600 lines fit,
    // the outbox's do not, and neither does the file it would save them in.
    auto listen = Listen(port, {"/usr/bin/prlimit", "--fsize=65536"});
    sim.Input(Results(600, 1));
    ASSERT_TRUE(Eventually([&] { return LogLines(m_bench).size() == 600; }, listen.get()));
    listen->Signal(SIGTERM);
    ASSERT_EQ(listen->WaitExit(kPatience), 0) << listen->ErrorText();
    EXPECT_TRUE(Has(*listen, std::string(R"({"store":"failing","reason":")")))
        << listen->ErrorText();
    if (Has(*listen, R"({"store":"lost")")) {
      EXPECT_NE(listen->ErrorText().find("orvana-cli store LOG"), std::string::npos);
    } else {
      EXPECT_TRUE(Has(*listen, R"({"store":"saved")"));
    }
  }
  StoreDayLogs();
  // What a run saved goes with the next one.
  auto next = Cli({"listen", port, "--database", m_server.Conninfo()});
  ASSERT_TRUE(next->WaitFor(
      [](const std::string& line) { return line.find("caught-up") != std::string::npos; },
      kPatience));
  next->Signal(SIGTERM);
  ASSERT_EQ(next->WaitExit(kPatience), 0);
  EXPECT_EQ(RecordLines("b1"), LogLines(m_bench));
}

TEST_F(StoreCli, StoringADamagedLogCountsWhatItSkipsAndNeverStoresAValueCutShort) {
  const std::string good1 =
      records::FormatLogLine("SN-1", {"-0.21", "56.3", "-0.35", "54.0"}, "2026/12/01 08:00:00");
  const std::string good2 =
      records::FormatLogLine("SN-2", {"-0.12", "51.0", "-0.30", "50.0"}, "2026/12/01 08:00:05");
  const std::string end(records::kLogLineEnd);
  const std::string log = m_bench + "/20261201.txt";
  testing::WriteFile(log, good1 + end + std::string(5000, 'x') + end +
                              std::string("T1   -0.1\0", 10) +
                              "2   55.3   -0.20   56.1   2026/12/01 08:00:03" + end + good2 + end);
  auto store = Cli({"store", "--database", m_server.Conninfo(), log});
  ASSERT_EQ(store->WaitExit(kPatience), 0) << store->ErrorText();
  ASSERT_EQ(store->Lines().size(), 1u);
  EXPECT_NE(store->Lines()[0].find(R"("lines":2,"stored":2,)"), std::string::npos)
      << store->Lines()[0];
  EXPECT_NE(store->Lines()[0].find(R"("skipped":1,"damaged":2})"), std::string::npos)
      << store->Lines()[0];
  std::vector<std::string> expected = {good1, good2};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(RecordLines("b1"), expected);
}

TEST_F(StoreCli, UploadedRecordsReachTheirTableOnceHoweverOftenTheyAreUploaded) {
  simtest::SimProcess sim({"--stdin"});
  const std::string port = sim.FirstLine();
  sim.Input(simtest::kThreeStoredEvents);
  for (size_t run = 1; run <= 2; ++run) {
    auto listen = Cli({"listen", port, "--upload", "--database", m_server.Conninfo()});
    ASSERT_TRUE(Eventually(
        [&] {
          const auto files = FilesIn(m_bench + "/Savetemp", ".records");
          if (files.size() != 1) return false;
          const std::string text = ReadFile(files[0]);
          return std::count(text.begin(), text.end(), '\n') == static_cast<long>(3 * run);
        },
        listen.get()));
    // With the database up, the end of the run waits for what is on its way.
    ASSERT_TRUE(Eventually([&] { return Has(*listen, "caught-up"); }, listen.get()));
    listen->Signal(SIGTERM);
    ASSERT_EQ(listen->WaitExit(kPatience), 0) << listen->ErrorText();
  }
  // Each event once, as the bench's own file has it.
  const std::string text = ReadFile(FilesIn(m_bench + "/Savetemp", ".records")[0]);
  std::set<std::string> kept;
  for (size_t start = 0, at; (at = text.find("\r\r\n", start)) != std::string::npos;
       start = at + 3) {
    kept.insert(text.substr(start, at - start));
  }
  const std::string rows = m_server.Sql(
      "SELECT concat_ws('   ', event, distance, loss, reflectance, total_loss, event_type, "
      "record_date) FROM orvana.records WHERE bench = 'b1' ORDER BY 1");
  std::vector<std::string> stored;
  for (size_t start = 0; start < rows.size();) {
    const size_t end = std::min(rows.find('\n', start), rows.size());
    stored.push_back(rows.substr(start, end - start));
    start = end + 1;
  }
  EXPECT_EQ(stored, std::vector<std::string>(kept.begin(), kept.end()));
  EXPECT_EQ(kept.size(), 3u);
  EXPECT_FALSE(std::filesystem::exists(m_bench + "/Savetemp/outbox/rejected.txt"));
}

}  // namespace
}  // namespace orvana::store
