// orvana-cli report run for real: daily logs in, a workbook out.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "common/child_process.h"
#include "common/temp_folder.h"
#include "records/workbook_reader.h"

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
  // Each import goes in right after the first row of the table, as in the
  // window: the second log's rows land between the first log's.
  const std::vector<std::string> serials{"0012345", "B1", "B2", "A2"};
  EXPECT_EQ(sheet.Rows(), (std::vector<int>{1, 3, 4, 5, 6}));
  for (size_t i = 0; i < serials.size(); ++i) {
    const std::string row = std::to_string(i + 3);
    ASSERT_NE(sheet.At("B" + row), nullptr);
    EXPECT_EQ(sheet.At("B" + row)->text, serials[i]);
    EXPECT_EQ(sheet.At("A" + row)->value, std::to_string(i + 2));
  }
  EXPECT_EQ(sheet.At("C3")->value, "-0.21");
  EXPECT_EQ(sheet.At("C6")->numberFormat, "\\-0.00");
  EXPECT_EQ(sheet.At("G3")->numberFormat, "yyyy\\/mm\\/dd hh:mm:ss");
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
}

}  // namespace
}  // namespace orvana::testing
