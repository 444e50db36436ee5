// orvana-sim on a pseudo-terminal, orvana-cli against it: the whole road from
// the meter's bytes to JSON lines and the daily log file on disk.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>

#include "app/message_texts.h"
#include "common/child_process.h"
#include "sim/sim_harness.h"

namespace orvana::e2e {
namespace {

using json = nlohmann::json;
using simtest::SimProcess;
using simtest::TempDir;
using std::chrono::milliseconds;
using testing::ChildProcess;

constexpr milliseconds kPatience{10000};

class CliEndToEnd : public ::testing::Test {
 protected:
  CliEndToEnd() {
    std::filesystem::copy_file(ORVANA_SOURCE_DIR "/lang/en/language.ini",
                               work.Path() + "/language.ini");
    texts = app::LoadMessageTexts(work.Path());
  }

  static bool IsMessage(const std::string& line, const std::string& caption,
                        const std::string& text) {
    const json j = json::parse(line);
    return j.contains("message") && j["message"]["caption"] == caption &&
           j["message"]["text"] == text;
  }
  static bool IsRow(const std::string& line) { return json::parse(line).contains("row"); }

  std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  TempDir work;
  app::MessageTexts texts;
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

TEST_F(CliEndToEnd, PortThatCannotBeOpenedExitsWithTwo) {
  ChildProcess cli(ORVANA_CLI_PATH, {"listen", work.Path() + "/no-such-port", "--seconds", "5"},
                   work.Path());
  EXPECT_EQ(cli.WaitExit(kPatience), 2);
  EXPECT_NE(cli.ErrorText().find(texts.comnotopen), std::string::npos);
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

TEST_F(CliEndToEnd, ImportOfAMissingFileSaysWhyAndExitsWithTwo) {
  ChildProcess cli(ORVANA_CLI_PATH, {"import", work.Path() + "/missing.txt"}, work.Path());
  EXPECT_EQ(cli.WaitExit(kPatience), 2);
  EXPECT_NE(cli.ErrorText().find("missing.txt"), std::string::npos);
}

}  // namespace
}  // namespace orvana::e2e
