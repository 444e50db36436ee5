// orvana-sim on a pseudo-terminal, orvana-cli against it: the whole road from
// the meter's bytes to JSON lines and the daily log file on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <thread>

#include "cli/json_text.h"
#include "records/log_import.h"
#include "results/results_table.h"
#include "support/child_process.h"
#include "support/pty_pair.h"
#include "support/sim_harness.h"
#include "support/temp_folder.h"
#include "texts/message_texts.h"

namespace orvana::e2e {
namespace {

using json = nlohmann::json;
using simtest::SimProcess;
using simtest::TempDir;
using std::chrono::milliseconds;
using testing::ChildProcess;
using testing::ReadFile;

constexpr milliseconds kPatience{10000};

class CliEndToEnd : public ::testing::Test {
 protected:
  CliEndToEnd() {
    std::filesystem::copy_file(ORVANA_SOURCE_DIR "/lang/en/language.ini",
                               work.Path() + "/language.ini");
    texts = texts::LoadMessageTexts(work.Path());
  }

  static bool IsMessage(const std::string& line, const std::string& caption,
                        const std::string& text) {
    const json j = json::parse(line);
    return j.contains("message") && j["message"]["caption"] == caption &&
           j["message"]["text"] == text;
  }
  static bool IsRow(const std::string& line) { return json::parse(line).contains("row"); }

  // Every line of the daily logs, oldest file first (a run may cross midnight).
  std::vector<std::string> LogLines() {
    std::set<std::string> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(work.Path() + "/Savetemp", error), end;
         !error && it != end; it.increment(error)) {
      if (it->path().extension() == ".txt") files.insert(it->path().string());
    }
    std::vector<std::string> lines;
    for (const std::string& file : files) {
      const std::string text = ReadFile(file);
      for (size_t start = 0, end; (end = text.find("\r\r\n", start)) != std::string::npos;
           start = end + 3) {
        lines.push_back(text.substr(start, end - start));
      }
    }
    return lines;
  }
  bool WaitForLogLines(size_t count, milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (LogLines().size() < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(milliseconds(50));
    }
    return true;
  }

  // Results told apart by their first RL value, as sent and as logged.
  static std::string DistinctRl(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 50.0 + 0.1 * n);
    return text;
  }
  static std::string DistinctResults(int count, int pauseMs) {
    std::string script;
    for (int n = 0; n < count; ++n) {
      script += "result dual -0.21 " + DistinctRl(n) + " -0.35 54.0 record\n";
      if (pauseMs > 0) script += "wait " + std::to_string(pauseMs) + "\n";
    }
    return script;
  }
  static std::string LoggedRl(const std::string& line) {
    const size_t at = line.find("   -0.21   ");
    if (at == std::string::npos) return {};
    const size_t start = at + 11;
    return line.substr(start, line.find(' ', start) - start);
  }

  TempDir work;
  texts::MessageTexts texts;
};

TEST_F(CliEndToEnd, ResultsBecomeRowsColoursAndTheDailyLogByteForByte) {
  SimProcess sim({"--stdin"});
  sim.Input("store-record 17 3 5 9 7\nstore-event 0 150 0.5 -45.0 0.5 2\n");
  const std::string port = sim.FirstLine();
  ASSERT_FALSE(port.empty());

  ChildProcess cli(ORVANA_CLI_PATH, {"listen", port, "--seconds", "60", "--upload"}, work.Path());
  ASSERT_TRUE(cli.WaitFor([&](const std::string& l) { return IsMessage(l, "OTDR", texts.conok); },
                          kPatience))
      << cli.ErrorText();
  const auto eventRow = cli.WaitFor(IsRow, kPatience);
  ASSERT_TRUE(eventRow);
  EXPECT_EQ(json::parse(*eventRow)["cells"][0], "1--0");
  EXPECT_EQ(json::parse(*eventRow)["cells"][6], "2017-03-05 09:07 ");

  sim.Input(
      "result dual -0.21 56.3 -0.35 54.0 record\n"
      "result single 1 57.0 -0.12 record\n"
      "result dual -0.2 56 -0.2 56 show\n");
  ASSERT_TRUE(cli.WaitFor(
      [](const std::string& l) {
        const json j = json::parse(l);
        return j.contains("values") && j["values"][0] == "-0.20";
      },
      kPatience));
  cli.Signal(SIGTERM);
  ASSERT_EQ(cli.WaitExit(kPatience), 0);

  // The last state of every row, as the window would show it.
  std::map<int, json> rows;
  for (const std::string& line : cli.Lines()) {
    const json j = json::parse(line);
    if (j.contains("row")) rows[j["row"].get<int>()] = j;
  }
  ASSERT_EQ(rows.size(), 3u);
  const json& first = rows[1];
  const json& second = rows[2];
  EXPECT_EQ(first["cells"][0], "****");
  EXPECT_EQ(first["cells"][1], "-0.21");
  EXPECT_EQ(first["colors"],
            json::parse(R"([null,"#33CC33","#33CC33","#FF0000","#FF0000",null,null])"));
  EXPECT_EQ(second["cells"][1], "-0.12");
  EXPECT_EQ(second["cells"][3], "");
  EXPECT_EQ(second["colors"][1], "#66FFFF");
  EXPECT_EQ(second["colors"][2], "#66FFFF");

  const std::regex stamp(R"((\d{4})/(\d\d)/(\d\d) \d\d:\d\d:\d\d)");
  std::smatch date;
  const std::string time1 = first["cells"][5];
  const std::string time2 = second["cells"][5];
  ASSERT_TRUE(std::regex_match(time1, date, stamp)) << time1;
  const std::string file =
      work.Path() + "/Savetemp/" + date[1].str() + date[2].str() + date[3].str() + ".txt";
  EXPECT_EQ(ReadFile(file), "****   -0.21   56.3   -0.35   54.0   " + time1 + "\r\r\n" +
                                "****   -0.12   57.0         " + time2 + "\r\r\n");

  // The same file read back by the import lands in the same columns.
  ChildProcess import(ORVANA_CLI_PATH, {"import", file}, work.Path());
  ASSERT_EQ(import.WaitExit(kPatience), 0);
  ASSERT_EQ(import.Lines().size(), 2u);
  const json back = json::parse(import.Lines()[1]);
  EXPECT_EQ(back, json::parse(R"({"row":1,"cells":["****","-0.12","57.0","","",")" + time2 +
                              R"(",""]})"));
}

// A barcode scanner on standard input: each line is the next part's serial.
// A part recorded with no scan since keeps the serial before, and is told as
// reused; the end of the input ends nothing.
TEST_F(CliEndToEnd, EachLineOnStandardInputIsTheSerialOfTheNextPartRecorded) {
  SimProcess sim({"--stdin"});
  const std::string port = sim.FirstLine();
  ChildProcess cli(ORVANA_CLI_PATH, {"listen", port, "--seconds", "60", "--serials-from-stdin"},
                   work.Path());
  ASSERT_TRUE(cli.WaitFor([&](const std::string& l) { return IsMessage(l, "OTDR", texts.conok); },
                          kPatience))
      << cli.ErrorText();
  const auto line = [](const std::string& key, const std::string& value) {
    return [=](const std::string& l) { return json::parse(l).value(key, "") == value; };
  };
  const auto rowOf = [](const std::string& serial) {
    return [=](const std::string& l) {
      const json j = json::parse(l);
      return j.contains("row") && j["cells"][0] == serial;
    };
  };
  const std::string result = "result dual -0.21 56.3 -0.35 54.0 record\n";
  cli.Input("SN-A\n");
  ASSERT_TRUE(cli.WaitFor(line("scanned", "SN-A"), kPatience));
  sim.Input(result);
  ASSERT_TRUE(cli.WaitFor(rowOf("SN-A"), kPatience));
  // A stray Enter is no serial; a scanner set up for Windows ends with CR LF.
  cli.Input("\n  SN-B \r\n");
  ASSERT_TRUE(cli.WaitFor(line("scanned", "SN-B"), kPatience));
  sim.Input(result);
  ASSERT_TRUE(cli.WaitFor(rowOf("SN-B"), kPatience));
  cli.CloseInput();
  sim.Input(result);
  ASSERT_TRUE(cli.WaitFor(line("reused", "SN-B"), kPatience)) << cli.ErrorText();
  ASSERT_TRUE(WaitForLogLines(3, kPatience));
  cli.Signal(SIGTERM);
  ASSERT_EQ(cli.WaitExit(kPatience), 0) << cli.ErrorText();

  std::map<int, std::string> serials;
  size_t scans = 0;
  for (const std::string& l : cli.Lines()) {
    const json j = json::parse(l);
    if (j.contains("row")) serials[j["row"].get<int>()] = j["cells"][0];
    if (j.contains("scanned")) ++scans;
  }
  EXPECT_EQ(serials, (std::map<int, std::string>{{0, "SN-A"}, {1, "SN-B"}, {2, "SN-B"}}));
  EXPECT_EQ(scans, 2u);
  std::vector<std::string> logged;
  for (const std::string& l : LogLines()) logged.push_back(l.substr(0, l.find("   ")));
  EXPECT_EQ(logged, (std::vector<std::string>{"SN-A", "SN-B", "SN-B"}));
}

// For a person at the terminal: a line per part with its verdict, in the
// language of the bench's texts, and the messages as lines of text.
TEST_F(CliEndToEnd, TextOutputShowsEachPartOnALineWithItsVerdict) {
  std::filesystem::copy_file(ORVANA_SOURCE_DIR "/lang/zh_CN/language.ini",
                             work.Path() + "/language.ini",
                             std::filesystem::copy_options::overwrite_existing);
  const texts::MessageTexts chinese = texts::LoadMessageTexts(work.Path());
  SimProcess sim({"--stdin"});
  const std::string port = sim.FirstLine();
  ChildProcess cli(ORVANA_CLI_PATH, {"listen", port, "--seconds", "60", "--text", "--serial", "P7"},
                   work.Path());
  ASSERT_TRUE(
      cli.WaitFor([&](const std::string& l) { return l == "[OTDR] " + chinese.conok; }, kPatience))
      << cli.ErrorText();
  sim.Input(
      "result dual -0.21 56.3 -0.35 54.0 record\n"
      "result single 1 57.0 -0.12 record\n"
      "result dual -0.2 56 -0.2 56 show\n");
  ASSERT_TRUE(WaitForLogLines(2, kPatience));
  cli.Signal(SIGTERM);
  ASSERT_EQ(cli.WaitExit(kPatience), 0) << cli.ErrorText();

  const std::string time = R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d)";
  const std::vector<std::regex> expected = {
      std::regex(R"(#1  P7   -0\.21   56\.3  -0\.35   54\.0  )" + time + "  不合格"),
      std::regex(R"(#2  P7   -0\.12   57\.0                )" + time + "  合格"),
  };
  std::vector<std::string> parts;
  for (const std::string& l : cli.Lines()) {
    ASSERT_FALSE(l.empty());
    EXPECT_NE(l.front(), '{') << l;
    if (l.front() == '#') parts.push_back(l);
  }
  ASSERT_EQ(parts.size(), expected.size()) << cli.ErrorText();
  for (size_t n = 0; n < parts.size(); ++n) {
    EXPECT_TRUE(std::regex_match(parts[n], expected[n])) << parts[n];
  }
}

TEST_F(CliEndToEnd, EraseIsAskedClearsTheTableAndTheMeterConfirms) {
  SimProcess sim({"--stdin"});
  const std::string port = sim.FirstLine();
  ChildProcess cli(ORVANA_CLI_PATH, {"listen", port, "--seconds", "60", "--erase"}, work.Path());
  const auto question = cli.WaitFor(
      [](const std::string& l) { return json::parse(l)["message"].contains("answer"); }, kPatience);
  ASSERT_TRUE(question) << cli.ErrorText();
  EXPECT_EQ(json::parse(*question)["message"]["caption"], "IL&RL");
  EXPECT_EQ(json::parse(*question)["message"]["answer"], "ok");
  EXPECT_EQ(json::parse(*cli.NextLine(kPatience)), json::parse(R"({"cleared":true})"));
  ASSERT_TRUE(cli.WaitFor(
      [&](const std::string& l) { return IsMessage(l, "OTDR", texts.dellallok); }, kPatience));
  cli.Signal(SIGTERM);
  EXPECT_EQ(cli.WaitExit(kPatience), 0);
}

TEST_F(CliEndToEnd, UploadedRecordsAreKeptOnDiskAndTheEraseWaitsOnlyForThemNotForResults) {
  SimProcess sim({"--stdin"});
  const std::string port = sim.FirstLine();
  sim.Input(simtest::kThreeStoredEvents);
  ChildProcess cli(ORVANA_CLI_PATH, {"listen", port, "--upload", "--erase", "--seconds", "60"},
                   work.Path());
  // A meter in use: a result every 300 ms all the while, never a second of
  // quiet on the line.
  sim.Input(DistinctResults(60, 300));
  ASSERT_TRUE(cli.WaitFor(
      [&](const std::string& l) { return IsMessage(l, "OTDR", texts.dellallok); }, kPatience))
      << cli.ErrorText();
  cli.Signal(SIGTERM);
  ASSERT_EQ(cli.WaitExit(kPatience), 0) << cli.ErrorText();

  // The erase cleared the table and the meter; the records are on disk, and
  // the import reads them back as the event rows the upload showed.
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(work.Path() + "/Savetemp")) {
    if (entry.path().extension() == ".records") files.push_back(entry.path().string());
  }
  ASSERT_EQ(files.size(), 1u);
  ChildProcess import(ORVANA_CLI_PATH, {"import", files[0]}, work.Path());
  ASSERT_EQ(import.WaitExit(kPatience), 0) << import.ErrorText();
  std::vector<json> cells;
  for (const std::string& line : import.Lines()) cells.push_back(json::parse(line)["cells"]);
  EXPECT_EQ(cells,
            (std::vector<json>{
                json::parse(R"(["1--1","120","0.5","-45.0","0.2","Loss","2026-12-09 10:30 "])"),
                json::parse(R"(["1--2","2400","0.3","-50.5","0.8","Reflect","2026-12-09 10:30 "])"),
                json::parse(R"(["2--1","300","0.1","-40.0","0.1","Loss","2026-12-09 11:05 "])"),
            }));
}

TEST_F(CliEndToEnd, APortWhereNothingAnswersIsToldAndTheRunEndsWithStatusesOfItsOwn) {
  testing::PtyPair silent;
  ChildProcess cli(ORVANA_CLI_PATH, {"listen", silent.SlavePath(), "--erase", "--seconds", "5"},
                   work.Path());
  // As the window tells it: the text and the port, 3 s after the greeting.
  EXPECT_TRUE(cli.WaitFor(
      [&](const std::string& l) {
        return IsMessage(l, "Orvana", texts.noanswer + "\n\n" + silent.SlavePath());
      },
      kPatience));
  EXPECT_EQ(cli.WaitExit(kPatience), 5) << cli.ErrorText();
  EXPECT_NE(std::find(cli.Lines().begin(), cli.Lines().end(),
                      R"({"erase":"not-done","reason":"the meter never answered"})"),
            cli.Lines().end());
}

TEST_F(CliEndToEnd, ReaderThatStopsReadingCostsNoResultAndHangUpEndsTheRunInOrder) {
  SimProcess sim({"--stdin"});
  const std::string port = sim.FirstLine();
  ChildProcess cli(ORVANA_CLI_PATH, {"listen", port, "--seconds", "300"}, work.Path());
  ASSERT_TRUE(cli.WaitFor([&](const std::string& l) { return IsMessage(l, "OTDR", texts.conok); },
                          kPatience))
      << cli.ErrorText();

  // Nobody reads the station's output from here on: far more than a pipe
  // holds is written while the meter sends its results, a little faster
  // than a real one would.
  constexpr int kResults = 400;
  sim.Input(DistinctResults(kResults, 10));
  ASSERT_TRUE(WaitForLogLines(kResults, milliseconds(60000))) << LogLines().size() << " logged";
  const std::vector<std::string> logged = LogLines();
  ASSERT_EQ(logged.size(), static_cast<size_t>(kResults));
  for (int n = 0; n < kResults; ++n) ASSERT_EQ(LoggedRl(logged[n]), DistinctRl(n)) << n;

  // The output resumes once read; the last result's row comes through.
  EXPECT_TRUE(cli.WaitFor(
      [&](const std::string& l) {
        const json j = json::parse(l);
        return j.contains("row") && j["cells"][2] == DistinctRl(kResults - 1);
      },
      kPatience));
  cli.Signal(SIGHUP);
  EXPECT_EQ(cli.WaitExit(kPatience), 0);
}

TEST_F(CliEndToEnd, ClosedOutputEndsTheStationWithFourAndEveryReceivedResultIsLogged) {
  SimProcess sim({"--stdin"});
  const std::string port = sim.FirstLine();
  // The station's status is kept in a file: the pipeline's is head's.
  ChildProcess shell("/bin/sh",
                     {"-c", R"({ "$0" listen "$1" --seconds 60; echo $? > status; } | head -n 1)",
                      ORVANA_CLI_PATH, port},
                     work.Path());
  sim.Input(DistinctResults(200, 5));
  ASSERT_EQ(shell.WaitExit(kPatience), 0) << shell.ErrorText();
  ASSERT_EQ(shell.Lines().size(), 1u);
  EXPECT_EQ(ReadFile(work.Path() + "/status"), "4\n") << shell.ErrorText();
  // What was received is in the log, in order, with no gap. Results sent
  // before the station opened the port are lost to its purge.
  const std::vector<std::string> logged = LogLines();
  int first = 0;
  while (!logged.empty() && first < 200 && DistinctRl(first) != LoggedRl(logged[0])) ++first;
  for (size_t n = 0; n < logged.size(); ++n) {
    EXPECT_EQ(LoggedRl(logged[n]), DistinctRl(first + static_cast<int>(n)));
  }
}

// The meter's adapter is pulled: without --reconnect the run ends with 3; with
// it the station waits for the same port and greets the meter again.
TEST_F(CliEndToEnd, ALostMeterEndsTheRunWithThreeOrIsReconnected) {
  const std::string link = work.Path() + "/ports/ttySIM0";
  const auto isLink = [](const std::string& state) {
    return [state](const std::string& l) { return json::parse(l).value("link", "") == state; };
  };
  const auto greeted = [&](const std::string& l) { return IsMessage(l, "OTDR", texts.conok); };
  for (const bool reconnect : {false, true}) {
    SCOPED_TRACE(reconnect ? "--reconnect" : "plain");
    auto sim = std::make_unique<SimProcess>(std::vector<std::string>{"--stdin", "--link", link});
    ASSERT_FALSE(sim->FirstLine().empty());
    std::vector<std::string> args = {"listen", link, "--seconds", "60"};
    if (reconnect) args.push_back("--reconnect");
    ChildProcess cli(ORVANA_CLI_PATH, args, work.Path());
    ASSERT_TRUE(cli.WaitFor(greeted, kPatience)) << cli.ErrorText();

    sim->Input("hangup\n");
    const auto lost = cli.WaitFor(isLink("lost"), kPatience);
    ASSERT_TRUE(lost) << cli.ErrorText();
    EXPECT_EQ(json::parse(*lost)["reason"], "the meter's port has gone");
    if (!reconnect) {
      EXPECT_EQ(cli.WaitExit(kPatience), 3);
      continue;
    }
    ASSERT_EQ(sim->WaitExit(kPatience), 0);
    sim = std::make_unique<SimProcess>(std::vector<std::string>{"--stdin", "--link", link});
    ASSERT_FALSE(sim->FirstLine().empty());
    ASSERT_TRUE(cli.WaitFor(isLink("restored"), kPatience));
    ASSERT_TRUE(cli.WaitFor(greeted, kPatience));
    sim->Input("result dual -0.21 56.3 -0.35 54.0 record\n");
    ASSERT_TRUE(cli.WaitFor(IsRow, kPatience));
    cli.Signal(SIGTERM);
    EXPECT_EQ(cli.WaitExit(kPatience), 0) << "the link was back when the run ended";
  }
}

// Savetemp is blocked by a file of that name: the results are kept in
// memory, the output says so once, and at the end they go where it says.
TEST_F(CliEndToEnd, ADayLogThatCannotBeWrittenIsToldOnceAndSavedAtTheEnd) {
  testing::WriteFile(work.Path() + "/Savetemp", "not a folder");
  const std::string data = work.Path() + "/data";
  SimProcess sim({"--stdin"});
  const std::string port = sim.FirstLine();
  ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  ChildProcess cli(ORVANA_CLI_PATH, {"listen", port, "--seconds", "60"}, work.Path());
  ::unsetenv("XDG_DATA_HOME");
  ASSERT_TRUE(cli.WaitFor([&](const std::string& l) { return IsMessage(l, "OTDR", texts.conok); },
                          kPatience))
      << cli.ErrorText();
  sim.Input(DistinctResults(2, 0));
  ASSERT_TRUE(cli.WaitFor(
      [](const std::string& l) {
        const json j = json::parse(l);
        return j.contains("row") && j["cells"][2] == DistinctRl(1);
      },
      kPatience));
  cli.Signal(SIGTERM);
  ASSERT_EQ(cli.WaitExit(kPatience), 0);

  std::vector<json> told;
  for (const std::string& line : cli.Lines()) {
    const json j = json::parse(line);
    if (j.contains("log")) told.push_back(j);
  }
  ASSERT_EQ(told.size(), 2u) << cli.ErrorText();
  EXPECT_EQ(told[0], json::parse(R"({"log":"failing","reason":")" +
                                 std::string(std::strerror(ENOTDIR)) + R"(","pending":1})"));
  EXPECT_EQ(told[1]["log"], "saved");
  EXPECT_EQ(told[1]["lines"], 2);
  const std::string saved = told[1].value("path", "");
  EXPECT_EQ(saved.rfind(data + "/orvana/unsaved/", 0), 0u) << saved;
  const std::string text = ReadFile(saved);
  EXPECT_EQ(LoggedRl(text), DistinctRl(0)) << text;
  EXPECT_EQ(LoggedRl(text.substr(text.find("\r\r\n") + 3)), DistinctRl(1)) << text;
}

TEST_F(CliEndToEnd, PortThatCannotBeOpenedExitsWithTwo) {
  ChildProcess cli(ORVANA_CLI_PATH, {"listen", work.Path() + "/no-such-port", "--seconds", "5"},
                   work.Path());
  EXPECT_EQ(cli.WaitExit(kPatience), 2);
  EXPECT_NE(cli.ErrorText().find(texts.comnotopen), std::string::npos);
}

// Started where nobody set up a bench, orvana-cli speaks the language asked
// for from the files installed beside it (here: the build tree's copy).
TEST_F(CliEndToEnd, WithoutItsOwnLanguageIniTheFolderGetsTheInstalledTextsOfTheLanguage) {
  std::filesystem::remove(work.Path() + "/language.ini");
  const auto comnotopenIn = [&](const char* language) {
    setenv("ORVANA_LANG", language, 1);
    ChildProcess cli(ORVANA_CLI_PATH, {"listen", work.Path() + "/no-such-port"}, work.Path());
    unsetenv("ORVANA_LANG");
    EXPECT_EQ(cli.WaitExit(kPatience), 2);
    return cli.ErrorText();
  };
  const auto installed = [](const char* language) {
    return texts::LoadMessageTexts(std::string(ORVANA_SOURCE_DIR "/lang/") + language).comnotopen;
  };
  EXPECT_NE(comnotopenIn("zh_CN").find(installed("zh_CN")), std::string::npos);
  EXPECT_NE(comnotopenIn("en").find(installed("en")), std::string::npos);

  // The folder's own file still wins, whatever the language.
  std::ofstream(work.Path() + "/language.ini") << "[Section1]\ncomnotopen=Port zu\n";
  EXPECT_NE(comnotopenIn("zh_CN").find("Port zu"), std::string::npos);
}

TEST_F(CliEndToEnd, SecondsIsAWholeNumberWithinItsBoundOrAUsageError) {
  const std::string noPort = work.Path() + "/no-such-port";
  for (const std::string bad : {"inf", "1e10", "1e300", "-1", "-0", "1.5", "+5", "5s", "", "abc",
                                "1000000001", "99999999999999999999999"}) {
    ChildProcess cli(ORVANA_CLI_PATH, {"listen", noPort, "--seconds", bad}, work.Path());
    EXPECT_EQ(cli.WaitExit(kPatience), 64) << "--seconds '" << bad << "'";
    EXPECT_NE(cli.ErrorText().find("usage: orvana-cli"), std::string::npos) << bad;
  }
  // Accepted: the run goes on to the port, which is not there.
  for (const std::string good : {"0", "7", "1000000000"}) {
    ChildProcess cli(ORVANA_CLI_PATH, {"listen", noPort, "--seconds", good}, work.Path());
    EXPECT_EQ(cli.WaitExit(kPatience), 2) << "--seconds " << good;
  }
}

TEST_F(CliEndToEnd, PortsListsTheSimulatorsLink) {
  const std::string linkFolder = work.Path() + "/ports";
  SimProcess sim({"--stdin", "--link", linkFolder + "/ttySIM7"});
  ASSERT_FALSE(sim.FirstLine().empty());
  ::setenv("ORVANA_PORT_DIR", linkFolder.c_str(), 1);
  ChildProcess cli(ORVANA_CLI_PATH, {"ports"}, work.Path());
  EXPECT_EQ(cli.WaitExit(kPatience), 0);
  ::unsetenv("ORVANA_PORT_DIR");
  bool listed = false;
  for (const std::string& line : cli.Lines()) {
    listed = listed || line == linkFolder + "/ttySIM7\tpty";
  }
  EXPECT_TRUE(listed);
}

TEST_F(CliEndToEnd, ImportListsExactlyTheRowsAnImportIntoAnEmptyTablePlaces) {
  // Lines of every shape a log holds or an old or damaged one might.
  const std::string longLine(5000, 'x');
  const std::string log =
      "A1   -0.21   56.3   -0.35   54.0   2017/05/03 12:34:56\r\r\n"
      "\r\r\n"
      "****   -0.12   57.0         2017/05/03 12:35:01\r\r\n" +
      longLine +
      "\r\n"
      "serial with   three   spaces   -0.1   55.0   -0.2   56.0   2017/05/03 12:36:00\n"
      "   \t  \n"
      "S\"\\\xff\x01   -0.3\n" +
      std::string("N1\0N2   -0.4   55.0   -0.2   56.0   2017/05/03 12:37:00\r\r\n", 58) +
      std::string(5000, '\0') +
      "after a crash   -0.5   55.0   -0.2   56.0   2017/05/03 12:38:00\r\r\n"
      "last line without an end";
  const std::string file = work.Path() + "/20170503.txt";
  testing::WriteFile(file, log);

  results::ResultsTable table;
  std::string error;
  ASSERT_TRUE(records::ImportLogFile(table, file, error)) << error;
  std::vector<std::string> expected;
  for (int row = 0; row < table.RowCount(); ++row) {
    std::string line;
    cli::AppendRowJson(line, table, row, false);
    expected.push_back(line);
  }

  ChildProcess cli(ORVANA_CLI_PATH, {"import", file}, work.Path());
  ASSERT_EQ(cli.WaitExit(kPatience), 0);
  EXPECT_EQ(cli.Lines(), expected);
  EXPECT_EQ(expected.size(), 7u);
  // A NUL ends its line, so no value moves out of its column; the torn
  // piece before it ("N1") is counted as damaged, not shown as a row.
  ASSERT_GE(expected.size(), 6u);
  EXPECT_EQ(json::parse(expected[4])["cells"][0], "N2");
  EXPECT_EQ(json::parse(expected[4])["cells"][1], "-0.4");
  EXPECT_EQ(json::parse(expected[5])["cells"][0], "after a crash");
  const std::string errors = cli.ErrorText();
  EXPECT_NE(errors.find("1 lines skipped"), std::string::npos) << errors;
  EXPECT_NE(errors.find("1 damaged lines skipped"), std::string::npos) << errors;
}

TEST_F(CliEndToEnd, ImportOfAMissingFileSaysWhyAndExitsWithTwo) {
  ChildProcess cli(ORVANA_CLI_PATH, {"import", work.Path() + "/missing.txt"}, work.Path());
  EXPECT_EQ(cli.WaitExit(kPatience), 2);
  EXPECT_NE(cli.ErrorText().find("missing.txt"), std::string::npos);
}

}  // namespace
}  // namespace orvana::e2e
