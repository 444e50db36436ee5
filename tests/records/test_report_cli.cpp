// orvana-cli report run for real: daily logs in, a workbook out.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/temp_folder.h"
#include "support/workbook_reader.h"

namespace orvana::testing {
namespace {

constexpr std::chrono::milliseconds kPatience{20000};

std::string Line(const std::string& serial, const std::string& il, const std::string& time) {
  return serial + "   " + il + "   55.3   -0.20   56.1   " + time + "\r\r\n";
}

std::vector<std::string> FilesIn(const TempFolder& folder, const std::string& extension) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
    if (entry.path().extension() == extension) names.push_back(entry.path().filename().string());
  }
  return names;
}

TEST(ReportCommand, LogsBecomeTheRowsTheirImportWouldGive) {
  TempFolder work;
  work.Write("language.ini", "[Section1]\ndisten=Dist\ntimedata=When\n");
  const std::string monday =
      work.Write("20170501.txt", Line("0012345", "-0.21", "2017/05/01 08:00:00") +
                                     Line("A2", "-0.00", "2017/05/01 09:00:00"));
  const std::string tuesday =
      work.Write("tuesday.txt", Line("B1", "-0.13", "2017/05/02 08:00:00") + "\r\r\n" +
                                    Line("B2", "-0.14", "2017/05/02 09:00:00"));
  ChildProcess cli(ORVANA_CLI_PATH, {"report", monday, tuesday}, work.Path());
  ASSERT_EQ(cli.WaitExit(kPatience), 0) << cli.ErrorText();
  ASSERT_EQ(cli.Lines(), std::vector<std::string>{"20170501.xlsx"});

  const auto sheets = ReadWorkbook(work / "20170501.xlsx");
  ASSERT_TRUE(sheets.has_value());
  ASSERT_EQ(sheets->size(), 2u);
  const Sheet& sheet = (*sheets)[0];
  EXPECT_EQ(sheet.At("C1")->text, "Dist");
  EXPECT_EQ(sheet.At("D1")->text, "Error");  // not in this language file
  EXPECT_EQ(sheet.At("H1")->text, "When");
  // The days in the order given, each in its own order.
  const std::vector<std::string> serials{"0012345", "A2", "B1", "B2"};
  EXPECT_EQ(sheet.Rows(), (std::vector<int>{1, 3, 4, 5, 6}));
  for (size_t i = 0; i < serials.size(); ++i) {
    const std::string row = std::to_string(i + 3);
    ASSERT_NE(sheet.At("B" + row), nullptr);
    EXPECT_EQ(sheet.At("B" + row)->text, serials[i]);
    EXPECT_EQ(sheet.At("A" + row)->value, std::to_string(i + 2));
  }
  EXPECT_EQ(sheet.At("C3")->value, "-0.21");
  EXPECT_EQ(sheet.At("C4")->numberFormat, "\\-0.00");
  // The time as text, and again as a date-time value under a title in the
  // bench's language.
  EXPECT_EQ(sheet.At("G3")->text, "2017/05/01 08:00:00");
  EXPECT_EQ(sheet.At("K1")->text, "Time (date-time value)");
  EXPECT_EQ(sheet.At("K3")->numberFormat, "yyyy\\/mm\\/dd hh:mm:ss");
  EXPECT_EQ((*sheets)[1].At("B9")->value, "-0.3");  // the start thresholds

  // A name of one's own; the date of the first row names a log that is not
  // named by its date.
  ChildProcess named(ORVANA_CLI_PATH, {"report", "-o", work / "mine.xlsx", monday}, work.Path());
  EXPECT_EQ(named.WaitExit(kPatience), 0) << named.ErrorText();
  EXPECT_TRUE(ReadWorkbook(work / "mine.xlsx").has_value());
  ChildProcess dated(ORVANA_CLI_PATH, {"report", tuesday}, work.Path());
  EXPECT_EQ(dated.WaitExit(kPatience), 0) << dated.ErrorText();
  EXPECT_EQ(dated.Lines(), std::vector<std::string>{"20170502.xlsx"});
}

TEST(ReportCommand, DamagedLinesAreCountedNeverShownChangedAndWholeOnesReadAsWritten) {
  // A serial torn by a NUL, a NUL inside a value (IL1 "-0.12" cut to
  // "-0.1", the rest of its line behind it), an overlong line, and the NULs
  // a crash leaves before the next run's line.
  TempFolder work;
  const std::string log = work.Write(
      "20170501.txt", std::string("A1\0", 3) + Line("B1", "-0.21", "2017/05/01 08:00:00") +
                          std::string("T1   -0.1\0", 10) + "2   55.3   -0.20   56.1   " +
                          "2017/05/01 08:30:00\r\r\n" + std::string(5000, 'x') + "\r\r\n" +
                          std::string(8192, '\0') + Line("C1", "-0.22", "2017/05/01 09:00:00"));
  ChildProcess cli(ORVANA_CLI_PATH, {"report", log}, work.Path());
  ASSERT_EQ(cli.WaitExit(kPatience), 0) << cli.ErrorText();
  const std::string errors = cli.ErrorText();
  EXPECT_NE(errors.find("1 lines skipped"), std::string::npos) << errors;
  EXPECT_NE(errors.find("3 damaged lines skipped"), std::string::npos) << errors;
  const auto sheets = ReadWorkbook(work / "20170501.xlsx");
  ASSERT_TRUE(sheets.has_value());
  const Sheet& sheet = (*sheets)[0];
  ASSERT_EQ(sheet.Rows(), (std::vector<int>{1, 3, 4}));
  EXPECT_EQ(sheet.At("B3")->text, "B1");
  EXPECT_EQ(sheet.At("C3")->value, "-0.21");
  EXPECT_EQ(sheet.At("B4")->text, "C1");
  EXPECT_EQ(sheet.At("C4")->value, "-0.22");
}

TEST(ReportCommand, AnUnreadableLogMeansNoWorkbook) {
  TempFolder work;
  const std::string log = work.Write("20170501.txt", Line("A1", "-0.21", "2017/05/01 08:00:00"));
  ChildProcess cli(ORVANA_CLI_PATH, {"report", log, work / "missing.txt"}, work.Path());
  EXPECT_EQ(cli.WaitExit(kPatience), 2);
  EXPECT_NE(cli.ErrorText().find("missing.txt"), std::string::npos) << cli.ErrorText();
  EXPECT_TRUE(FilesIn(work, ".xlsx").empty());

  ChildProcess folder(ORVANA_CLI_PATH, {"report", work.Path()}, work.Path());
  EXPECT_EQ(folder.WaitExit(kPatience), 2);
  EXPECT_TRUE(FilesIn(work, ".xlsx").empty());

  ChildProcess unwritable(ORVANA_CLI_PATH, {"report", "-o", work / "no/such/folder.xlsx", log},
                          work.Path());
  EXPECT_EQ(unwritable.WaitExit(kPatience), 1);
  EXPECT_NE(unwritable.ErrorText().find("no/such/folder.xlsx"), std::string::npos)
      << unwritable.ErrorText();

  ChildProcess usage(ORVANA_CLI_PATH, {"report", "-o"}, work.Path());
  EXPECT_EQ(usage.WaitExit(kPatience), 64);
  ChildProcess bogus(ORVANA_CLI_PATH, {"report", "--bogus", log}, work.Path());
  EXPECT_EQ(bogus.WaitExit(kPatience), 64);
  EXPECT_NE(bogus.ErrorText().find("usage:"), std::string::npos) << bogus.ErrorText();
}

std::set<std::string> Names(const TempFolder& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST(ReportOutput, OnlyANewNameOrAWorkbookThatIsNoneOfTheLogsIsWritten) {
  TempFolder work;
  const std::string logText = Line("A1", "-0.21", "2017/05/01 08:00:00");
  const std::string log = work.Write("20170501.txt", logText);
  std::filesystem::create_symlink(log, work / "link-to-log.xlsx");
  std::filesystem::create_symlink("/dev/stdout", work / "stdout.xlsx");
  ASSERT_EQ(::mkfifo((work / "fifo.xlsx").c_str(), 0644), 0);
  const std::set<std::string> before = Names(work);
  for (const std::string& output :
       {log, work / "link-to-log.xlsx", work / "stdout.xlsx", work / "fifo.xlsx"}) {
    ChildProcess cli(ORVANA_CLI_PATH, {"report", "-o", output, log}, work.Path());
    EXPECT_EQ(cli.WaitExit(kPatience), 1) << output;
    EXPECT_NE(cli.ErrorText().find(output), std::string::npos) << cli.ErrorText();
  }
  EXPECT_TRUE(ReadFile(log) == logText) << "the log was replaced";
  EXPECT_TRUE(std::filesystem::is_symlink(work / "link-to-log.xlsx"));
  EXPECT_TRUE(std::filesystem::is_symlink(work / "stdout.xlsx"));
  EXPECT_TRUE(std::filesystem::is_fifo(work / "fifo.xlsx"));
  EXPECT_EQ(Names(work), before);
}

TEST(ReportOutput, AReplacedWorkbookKeepsItsModeAndOwner) {
  TempFolder work;
  const std::string log = work.Write("20170501.txt", Line("A1", "-0.21", "2017/05/01 08:00:00"));
  const std::string workbook = work.Write("shared.xlsx", "last week's report");
  ASSERT_EQ(::chmod(workbook.c_str(), 0604), 0);
  // Only root may give a file away; an ordinary user checks the mode alone.
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(workbook.c_str(), 65534, 65534), 0);
  }
  ChildProcess cli(ORVANA_CLI_PATH, {"report", "-o", workbook, log}, work.Path());
  ASSERT_EQ(cli.WaitExit(kPatience), 0) << cli.ErrorText();
  struct stat info {};
  ASSERT_EQ(::stat(workbook.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0604u);
  if (root) {
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
  }
  EXPECT_TRUE(ReadWorkbook(workbook).has_value());
}

TEST(ReportOutput, ALongNameIsWrittenWithNothingLeftBesideIt) {
  TempFolder work;
  const std::string log = work.Write("20170501.txt", Line("A1", "-0.21", "2017/05/01 08:00:00"));
  const std::string longName = std::string(250 - 5, 'n') + ".xlsx";
  ChildProcess named(ORVANA_CLI_PATH, {"report", "-o", work / longName, log}, work.Path());
  ASSERT_EQ(named.WaitExit(kPatience), 0) << named.ErrorText();
  EXPECT_TRUE(ReadWorkbook(work / longName).has_value());
  EXPECT_EQ(Names(work), (std::set<std::string>{"20170501.txt", longName}));
}

TEST(ReportCommand, ALogGoneWhileTheReportIsWrittenMeansNoWorkbookAndKeepsTheOldOne) {
  TempFolder work;
  // Enough rows that the workbook is still being written when the second
  // day's log goes.
  std::string many;
  for (int i = 0; i < 200000; ++i) {
    many += Line("S" + std::to_string(i), "-0.21", "2017/05/01 08:00:00");
  }
  const std::string monday = work.Write("20170501.txt", many);
  const std::string tuesday =
      work.Write("20170502.txt", Line("B1", "-0.13", "2017/05/02 08:00:00"));
  const std::string workbook = work.Write("week.xlsx", "last week's report");
  const std::set<std::string> before = Names(work);
  ChildProcess cli(ORVANA_CLI_PATH, {"report", "-o", workbook, monday, tuesday}, work.Path());
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (Names(work) == before && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_NE(Names(work), before) << "the report never started writing";
  ASSERT_TRUE(std::filesystem::remove(tuesday));
  ASSERT_EQ(cli.WaitExit(kPatience), 2) << "it finished before the log went: " << cli.ErrorText();
  EXPECT_NE(cli.ErrorText().find("cannot read " + tuesday), std::string::npos) << cli.ErrorText();
  EXPECT_TRUE(cli.Lines().empty());
  EXPECT_EQ(ReadFile(workbook), "last week's report");
  EXPECT_EQ(Names(work), (std::set<std::string>{"20170501.txt", "week.xlsx"}));
}

TEST(ReportOutput, AStoppedReportLeavesNothingBehind) {
  TempFolder work;
  // Enough rows that the workbook is still being written when it is stopped.
  std::string many;
  for (int i = 0; i < 200000; ++i) {
    many += Line("S" + std::to_string(i), "-0.21", "2017/05/02 08:00:00");
  }
  work.Write("20170502.txt", many);
  const std::set<std::string> before = Names(work);
  ChildProcess cli(ORVANA_CLI_PATH, {"report", "-o", work / "big.xlsx", work / "20170502.txt"},
                   work.Path());
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (Names(work) == before && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_NE(Names(work), before) << "the report never started writing";
  cli.Signal(SIGTERM);
  EXPECT_EQ(cli.WaitExit(kPatience), 128 + SIGTERM) << "it finished before it was stopped";
  EXPECT_EQ(Names(work), before);
}

}  // namespace
}  // namespace orvana::testing
