// A workbook written to a name the user gave, in process, on every platform
// the program is built for: what may take the name, a folder whose name is
// not ASCII, and a replace over a file that another program holds open.
// orvana-cli's own tests (test_report_cli) run it as a program on Linux.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "records/report_content.h"
#include "records/workbook_file.h"
#include "results/results_table.h"
#include "results/settings_record.h"
#include "support/temp_folder.h"
#include "support/workbook_reader.h"

namespace orvana::records {
namespace {

using testing::PathOf;
using testing::ReadFile;
using testing::TempFolder;

ReportContent OneRow() {
  results::ResultsTable table;
  const int row = table.AppendRow("A17050301");
  table.SetText(row, results::Column::Value1, "-0.12");
  ReportContent content;
  content.rows = ReportRows::FromTable(table);
  content.columnTitles = {"Distance", "Loss", "Refl", "Total", "Event", "Time"};
  content.settings = results::TestSettings::StartValues();
  return content;
}

// What the folder holds besides `keep`: a scratch folder or a partial file
// left behind.
std::vector<std::string> LeftBeside(const std::string& folder, const std::string& keep) {
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(PathOf(folder))) {
    const std::string name = testing::Utf8Of(entry.path().filename());
    if (name != keep) left.push_back(name);
  }
  return left;
}

std::string SerialIn(const std::string& workbook) {
  const auto sheets = testing::ReadWorkbook(workbook);
  if (!sheets || sheets->empty()) return "<not a workbook>";
  const testing::SheetCell* cell = sheets->front().At("B3");
  return cell == nullptr ? "<none>" : cell->text;
}

TEST(WorkbookFile, AFolderWhoseNameIsNotAsciiTakesTheWorkbookWithNothingLeftBeside) {
  TempFolder folder;
  const std::string reports = folder / "报告 2017";
  std::filesystem::create_directory(PathOf(reports));
  const std::string name = reports + "/检测报告.xlsx";
  const WorkbookResult result = WriteWorkbookAs(name, OneRow(), {});
  ASSERT_TRUE(result.Written()) << result.error;
  EXPECT_EQ(SerialIn(name), "A17050301");
  EXPECT_EQ(LeftBeside(reports, "检测报告.xlsx"), std::vector<std::string>{});
}

TEST(WorkbookFile, ALogOrADeviceIsRefusedAndLeftAsItIs) {
  TempFolder folder;
  std::filesystem::create_directory(PathOf(folder / "Savetemp"));
  const std::string log = folder.Write("Savetemp/20170503.txt", "a day's lines\r\r\n");
  const std::vector<FileId> protect = FilesToProtectIn(folder.Path());
  const WorkbookResult refused = WriteWorkbookAs(log, OneRow(), protect);
  EXPECT_EQ(refused.status, WorkbookResult::Status::Failed);
  EXPECT_NE(refused.error.find("it is one of the logs"), std::string::npos) << refused.error;
  EXPECT_EQ(ReadFile(log), "a day's lines\r\r\n");
  EXPECT_EQ(LeftBeside(folder / "Savetemp", "20170503.txt"), std::vector<std::string>{});

  // A file beside the logs is no log, and takes the workbook.
  const std::string other = folder.Write("Savetemp/old.xlsx", "an earlier report");
  EXPECT_TRUE(WriteWorkbookAs(other, OneRow(), protect).Written());
  EXPECT_EQ(SerialIn(other), "A17050301");

#ifdef _WIN32
  const std::string device = "NUL";
#else
  const std::string device = "/dev/null";
#endif
  const WorkbookResult notAFile = WriteWorkbookAs(device, OneRow(), protect);
  EXPECT_EQ(notAFile.status, WorkbookResult::Status::Failed);
  EXPECT_NE(notAFile.error.find("not a regular file"), std::string::npos) << notAFile.error;
}

// A spreadsheet that shows the old report holds it open. Linux replaces the
// name all the same (the spreadsheet keeps the old file it has open);
// Windows replaces no file that another program holds open without letting
// it be deleted, which the C library's own opening does not allow: the old
// report stays as it was, and the user is told why.
TEST(WorkbookFile, AReplaceOverAFileHeldOpenElsewhere) {
  TempFolder folder;
  const std::string name = folder.Write("report.xlsx", "an earlier report");
  std::ifstream holder(PathOf(name), std::ios::binary);
  ASSERT_TRUE(holder.is_open());
  const WorkbookResult result = WriteWorkbookAs(name, OneRow(), {});
#ifdef _WIN32
  EXPECT_EQ(result.status, WorkbookResult::Status::Failed);
  EXPECT_NE(result.error.find("cannot write " + name + ": another program has the file open"),
            std::string::npos)
      << result.error;
  EXPECT_EQ(ReadFile(name), "an earlier report");
#else
  EXPECT_TRUE(result.Written()) << result.error;
  EXPECT_EQ(SerialIn(name), "A17050301");
#endif
  EXPECT_EQ(LeftBeside(folder.Path(), "report.xlsx"), std::vector<std::string>{});
  holder.close();
  // Once it is closed there, the report takes the name.
  EXPECT_TRUE(WriteWorkbookAs(name, OneRow(), {}).Written());
  EXPECT_EQ(SerialIn(name), "A17050301");
}

// A report someone made read-only. Linux replaces it (the folder's rights
// decide) and the new one is read-only too; Windows replaces no read-only
// file, and the user is told that is why (Wine replaces it).
TEST(WorkbookFile, AReadOnlyOldReport) {
  TempFolder folder;
  const std::string name = folder.Write("report.xlsx", "an earlier report");
  namespace fs = std::filesystem;
  const auto writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(PathOf(name), writable, fs::perm_options::remove);
  const WorkbookResult result = WriteWorkbookAs(name, OneRow(), {});
#ifdef _WIN32
  if (result.Written()) {
    // Wine's MoveFileExW replaces a read-only file, as Windows does not.
    EXPECT_EQ(SerialIn(name), "A17050301");
  } else {
    EXPECT_EQ(result.error, "cannot write " + name + ": the file there is read-only");
    EXPECT_EQ(ReadFile(name), "an earlier report");
  }
#else
  EXPECT_TRUE(result.Written()) << result.error;
  EXPECT_EQ(SerialIn(name), "A17050301");
  EXPECT_EQ(fs::status(PathOf(name)).permissions() & fs::perms::owner_write, fs::perms::none);
#endif
  EXPECT_EQ(LeftBeside(folder.Path(), "report.xlsx"), std::vector<std::string>{});
  fs::permissions(PathOf(name), fs::perms::owner_write, fs::perm_options::add);
}

}  // namespace
}  // namespace orvana::records
