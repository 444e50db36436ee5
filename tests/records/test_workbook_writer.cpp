#include <gtest/gtest.h>
#include <locale.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "records/export_folders.h"
#include "records/log_import.h"
#include "records/report_content.h"
#include "records/workbook_writer.h"
#include "results/table_operations.h"
#include "support/temp_folder.h"
#include "support/workbook_reader.h"

namespace orvana::records {
namespace {

using results::Column;
using results::ResultsTable;
using results::RowTexts;
using testing::Sheet;
using testing::TempFolder;

const std::array<std::string, 6> kTitles{"Distance", "Loss", "Refl", "Total", "Event", "Time"};
const common::LocalTime kExportTime{2026, 12, 8, 9, 15, 30};

void Append(ResultsTable& table, const RowTexts& texts) {
  const int row = table.AppendRow(texts[0]);
  for (int column = 1; column < results::kColumnCount; ++column) {
    table.SetText(row, static_cast<Column>(column), texts[column]);
  }
}

ReportContent ContentOf(const ResultsTable& table) {
  ReportContent content;
  content.rows = ReportRows::FromTable(table);
  content.columnTitles = kTitles;
  content.settings = results::TestSettings::StartValues();
  content.exportTime = kExportTime;
  return content;
}

std::vector<Sheet> WriteAndRead(const TempFolder& folder, const ReportContent& content,
                                const WorkbookOptions& options = {}) {
  const std::string path = folder / "report.xlsx";
  const WorkbookResult result = WriteWorkbook(path, content, options);
  EXPECT_TRUE(result.Written()) << result.error;
  auto sheets = testing::ReadWorkbook(path);
  EXPECT_TRUE(sheets.has_value()) << "not a readable workbook";
  return sheets.value_or(std::vector<Sheet>{});
}

std::string Text(const Sheet& sheet, const std::string& reference) {
  const testing::SheetCell* cell = sheet.At(reference);
  if (cell == nullptr) return "<none>";
  return cell->type == "inlineStr" ? cell->text : "<" + cell->type + ">";
}

std::string Number(const Sheet& sheet, const std::string& reference) {
  const testing::SheetCell* cell = sheet.At(reference);
  if (cell == nullptr || cell->type != "n") return "<not a number>";
  return cell->value + " as " + cell->numberFormat;
}

// A to I as they have always been; K, after them, holds the times as
// date-time values, wide enough to show them.
void ExpectHeadings(const Sheet& sheet) {
  EXPECT_EQ(Text(sheet, "B1"), "NO.");
  const std::string columns = "CDEFGH";
  for (size_t i = 0; i < columns.size(); ++i) {
    EXPECT_EQ(Text(sheet, std::string(1, columns[i]) + "1"), kTitles[i]);
  }
  // Without words of its own, K is titled as the time column is.
  EXPECT_EQ(Text(sheet, "K1"), kTitles[4]);
  const std::map<int, double> widths{{1, 5},  {2, 10}, {3, 10}, {4, 10}, {5, 15},
                                     {6, 15}, {7, 10}, {8, 30}, {9, 20}, {11, 20}};
  ASSERT_EQ(sheet.columnWidths.size(), widths.size());
  for (const auto& [column, width] : widths) {
    // The file stores the width with the cell padding the spreadsheet adds
    // (5 pixels of a 7-pixel character); it reads back as the width set.
    ASSERT_EQ(sheet.columnWidths.count(column), 1u) << "column " << column;
    EXPECT_NEAR(sheet.columnWidths.at(column) - 5.0 / 7, width, 0.01) << "column " << column;
  }
}

TEST(CellTypes, OnlyPlainDecimalsAndRealTimesChangeType) {
  using Kind = CellValue::Kind;
  struct Case {
    std::string text;
    Kind kind;
    int decimals;
  };
  const std::vector<Case> cases{
      {"-0.21", Kind::Number, 2},
      {"56.3", Kind::Number, 1},
      {"2", Kind::Number, 0},
      {"1234", Kind::Number, 0},
      {"0", Kind::Number, 0},
      {"0.05", Kind::Number, 2},
      {"123456789012345", Kind::Number, 0},  // 15 digits: still exact
      {"1234567890123456", Kind::Text, 0},   // 16: a double would change it
      {"0012345", Kind::Text, 0},
      {"-01", Kind::Text, 0},
      {"+1", Kind::Text, 0},
      {".5", Kind::Text, 0},
      {"5.", Kind::Text, 0},
      {"1e3", Kind::Text, 0},
      {"1,5", Kind::Text, 0},
      {" 1", Kind::Text, 0},
      {"1 ", Kind::Text, 0},
      {"-", Kind::Text, 0},
      {"nan", Kind::Text, 0},
      {"inf", Kind::Text, 0},
      {"****", Kind::Text, 0},
      {"", Kind::Text, 0},
      {"1310nm", Kind::Text, 0},
      {"2017/05/03 12:34:56", Kind::DateTime, 0},
      {"2016/02/29 23:59:59", Kind::DateTime, 0},
      {"2017/02/29 12:00:00", Kind::Text, 0},  // no such day
      {"1900/02/29 12:00:00", Kind::Text, 0},  // the spreadsheet's phantom day
      {"2017/13/03 12:34:56", Kind::Text, 0},
      {"2017/05/03 24:00:00", Kind::Text, 0},
      {"2017/05/03 12:60:00", Kind::Text, 0},
      {"2017-05-03 12:34:56", Kind::Text, 0},
      {"2017/05/03 12:34:5", Kind::Text, 0},
      {"2017/05/03 12:34:56 ", Kind::Text, 0},
      {"2017/05/03", Kind::Text, 0},
  };
  for (const Case& c : cases) {
    const CellValue value = ClassifyCellText(c.text);
    EXPECT_EQ(value.kind, c.kind) << '"' << c.text << '"';
    if (c.kind == Kind::Number) {
      EXPECT_EQ(value.decimals, c.decimals) << c.text;
    }
  }
  EXPECT_DOUBLE_EQ(ClassifyCellText("-0.21").number, -0.21);
  EXPECT_TRUE(ClassifyCellText("-0.00").negativeZero);
  EXPECT_FALSE(ClassifyCellText("0.00").negativeZero);
  const CellValue time = ClassifyCellText("2017/05/03 12:34:56");
  EXPECT_EQ(time.time.year * 10000 + time.time.month * 100 + time.time.day, 20170503);
  EXPECT_EQ(time.time.hour * 10000 + time.time.minute * 100 + time.time.second, 123456);
}

TEST(WorkbookLayout, EmptyTableGivesHeadingsAndWidthsOnly) {
  TempFolder folder;
  ResultsTable table;
  const auto sheets = WriteAndRead(folder, ContentOf(table));
  ASSERT_EQ(sheets.size(), 2u);
  EXPECT_EQ(sheets[0].name, "Sheet1");
  ExpectHeadings(sheets[0]);
  EXPECT_EQ(sheets[0].Rows(), std::vector<int>{1});
}

TEST(WorkbookLayout, RowsAreNumberedFromTwoAndBlankedRowsCloseUp) {
  TempFolder folder;
  ResultsTable table;
  results::ApplySettings(table, results::TestSettings::StartValues());
  Append(table, {"A1", "-0.12", "55.3", "-0.20", "56.1", "2017/05/03 12:34:56", ""});
  Append(table, {"A2", "-0.13", "55.4", "-0.21", "56.2", "2017/05/03 12:35:00", ""});
  Append(table, {"A3", "-0.14", "55.5", "-0.22", "56.3", "2017/05/03 12:36:00", ""});
  Append(table, {"A4", "-0.15", "", "", "", "2017/05/03 12:37:00", ""});  // column 2 empty
  results::BlankRow(table, 2);
  const auto sheets = WriteAndRead(folder, ContentOf(table));
  ASSERT_FALSE(sheets.empty());
  const Sheet& sheet = sheets[0];
  ExpectHeadings(sheet);
  EXPECT_EQ(sheet.Rows(), (std::vector<int>{1, 3, 4, 5, 6}));
  EXPECT_EQ(Number(sheet, "A3"), "2 as 0");
  EXPECT_EQ(Number(sheet, "A4"), "3 as 0");
  EXPECT_EQ(Number(sheet, "A5"), "4 as 0");
  EXPECT_EQ(Number(sheet, "A6"), "5 as 0");
  // The wavelength row like any other.
  EXPECT_EQ(Text(sheet, "B3"), " ");
  EXPECT_EQ(Text(sheet, "C3"), "1310nm");
  EXPECT_EQ(Text(sheet, "F3"), "1625nm");
  EXPECT_EQ(Text(sheet, "B4"), "A1");
  EXPECT_EQ(Text(sheet, "B5"), "A3");  // A2 was blanked
  EXPECT_EQ(Text(sheet, "B6"), "A4");
  EXPECT_EQ(Number(sheet, "C6"), "-0.15 as 0.00");
  EXPECT_EQ(sheet.At("D6"), nullptr);  // empty stays empty
  EXPECT_EQ(sheet.At("I4"), nullptr);
}

TEST(WorkbookLayout, OnlyTheHeadingRowIsBold) {
  TempFolder folder;
  ResultsTable table;
  Append(table, {"A1", "-0.12", "55.3", "-0.20", "56.1", "2017/05/03 12:34:56", "x"});
  const auto sheets = WriteAndRead(folder, ContentOf(table));
  ASSERT_EQ(sheets.size(), 2u);
  for (const char column : std::string("ABCDEFGHI")) {
    const testing::SheetCell* cell = sheets[0].At(std::string(1, column) + "1");
    ASSERT_NE(cell, nullptr) << column;
    EXPECT_TRUE(cell->bold) << column;
    EXPECT_EQ(cell->numberFormat, "") << column;
  }
  for (const Sheet& sheet : sheets) {
    for (const auto& [reference, cell] : sheet.cells) {
      if (&sheet == &sheets[0] && reference.back() == '1' && reference.size() == 2) continue;
      EXPECT_FALSE(cell.bold) << sheet.name << " " << reference;
    }
  }
}

TEST(WorkbookCells, SerialsStayTextNumbersKeepTheirDigitsTimesStayTextWithTheirValueInK) {
  TempFolder folder;
  ResultsTable table;
  Append(table, {"0012345", "-0.21", "56.3", "-0.00", "2", "2017/05/03 12:34:56", "1234"});
  Append(table, {"12345", "****", "nan", "0012", "12.50", "2017/02/30 00:00:00", "x<&>"});
  // A float of the meter's gone astray: 11 characters, one more than D shows.
  Append(table, {"S", "-0.1", "123456789.0", "", "123456789.0", "2017/05/03 24:00:00", ""});
  const auto sheets = WriteAndRead(folder, ContentOf(table));
  ASSERT_FALSE(sheets.empty());
  const Sheet& sheet = sheets[0];
  EXPECT_EQ(Text(sheet, "B3"), "0012345");
  EXPECT_EQ(Text(sheet, "B4"), "12345");  // column B is text even when it reads as a number
  EXPECT_EQ(Number(sheet, "C3"), "-0.21 as 0.00");
  EXPECT_EQ(Number(sheet, "D3"), "56.3 as 0.0");
  // Zero that the meter printed with a minus keeps it on screen.
  EXPECT_EQ(Number(sheet, "E3"), "0 as \\-0.00");
  EXPECT_EQ(Number(sheet, "F3"), "2 as 0");
  EXPECT_EQ(Number(sheet, "H3"), "1234 as 0");
  EXPECT_EQ(Number(sheet, "F4"), "12.5 as 0.00");
  // The time as the table has it, which spills into the empty H; a
  // date-time there would be drawn as "###" in its 10 characters.
  EXPECT_EQ(Text(sheet, "G3"), "2017/05/03 12:34:56");
  EXPECT_FALSE(sheet.At("G3")->Styled());
  const testing::SheetCell* time = sheet.At("K3");
  ASSERT_NE(time, nullptr);
  EXPECT_EQ(time->type, "n");
  EXPECT_EQ(time->numberFormat, "yyyy\\/mm\\/dd hh:mm:ss");
  // Days since 1899-12-30 and the fraction of the day.
  EXPECT_NEAR(std::stod(time->value), 42858 + (12 * 3600 + 34 * 60 + 56) / 86400.0, 1e-9);
  for (const std::string reference : {"C4", "D4", "E4", "G4", "H4"}) {
    EXPECT_EQ(sheet.At(reference)->type, "inlineStr") << reference;
  }
  EXPECT_EQ(Text(sheet, "E4"), "0012");
  EXPECT_EQ(Text(sheet, "H4"), "x<&>");
  EXPECT_EQ(sheet.At("K4"), nullptr);  // no such moment: no value
  // Too long for D, the number stays its text; E is wide enough for it.
  EXPECT_EQ(Text(sheet, "D5"), "123456789.0");
  EXPECT_EQ(Number(sheet, "F5"), "123456789 as 0.0");
  EXPECT_EQ(sheet.At("K5"), nullptr);
}

TEST(WorkbookCells, TextTheFileCannotHoldIsMadeSafe) {
  TempFolder folder;
  ResultsTable table;
  // An old log written in another code page, and a runaway scanner.
  Append(table, {"\xB2\xE2\xCA\xD4", "\xE6\xB5\x8B\xE8\xAF\x95", "55.0", "\xC3", "", "", ""});
  const std::string longer = std::string(20000, 'y') + "\xE6\xB5\x8B" + std::string(20000, 'z');
  Append(table, {std::string(40000, 'x'), longer, "55.0", "", "", "", ""});
  const auto sheets = WriteAndRead(folder, ContentOf(table));
  ASSERT_FALSE(sheets.empty());
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(Text(sheets[0], "B3"), replacement + replacement + replacement + replacement);
  EXPECT_EQ(Text(sheets[0], "C3"), "\xE6\xB5\x8B\xE8\xAF\x95");  // valid: kept
  EXPECT_EQ(Text(sheets[0], "E3"), replacement);
  // Cut to what a cell holds, at a character's edge (the CJK one counts once).
  const std::string cutSerial = Text(sheets[0], "B4");
  EXPECT_TRUE(cutSerial == std::string(32767, 'x')) << cutSerial.size() << " bytes";
  const std::string cutValue = Text(sheets[0], "C4");
  EXPECT_TRUE(cutValue == longer.substr(0, 20000 + 3 + 12766)) << cutValue.size() << " bytes";
}

TEST(WorkbookLayout, RowsBeyondOneWorksheetContinueOnTheNext) {
  TempFolder folder;
  ResultsTable table;
  for (int i = 0; i < 7; ++i) Append(table, {"S" + std::to_string(i), "-0.1", "", "", "", "", ""});
  WorkbookOptions options;
  options.sheetRowLimit = 5;  // headings, the empty row, three rows
  const auto sheets = WriteAndRead(folder, ContentOf(table), options);
  ASSERT_EQ(sheets.size(), 4u);
  EXPECT_EQ(sheets[1].name, "Sheet2");
  EXPECT_EQ(sheets[2].name, "Sheet3");
  int serial = 0;
  for (int s = 0; s < 3; ++s) {
    ExpectHeadings(sheets[s]);
    for (int row = 3; row <= 5 && serial < 7; ++row, ++serial) {
      EXPECT_EQ(Text(sheets[s], "B" + std::to_string(row)), "S" + std::to_string(serial));
      EXPECT_EQ(Number(sheets[s], "A" + std::to_string(row)), std::to_string(serial + 2) + " as 0");
    }
  }
  EXPECT_EQ(serial, 7);
  EXPECT_EQ(sheets[2].Rows(), (std::vector<int>{1, 3}));
}

TEST(WorkbookInformation, SecondSheetHoldsTheReportInformationAndSettings) {
  TempFolder folder;
  ResultsTable table;
  ReportContent content = ContentOf(table);
  content.information = {"first", "second", "", "fourth <&>", "P-17", "000123", "lot 5"};
  content.settings.deviceName = "FC/APC-2.0";
  content.settings.multiMode = true;
  content.settings.rlThreshold2 = 57.5f;
  const auto sheets = WriteAndRead(folder, content);
  ASSERT_EQ(sheets.size(), 2u);
  const Sheet& info = sheets[1];
  EXPECT_EQ(info.name, "信息");
  const std::vector<std::pair<std::string, std::string>> expected{
      {"产品号 Product number", "P-17"},
      {"订单号 Order number", "000123"},
      {"保存文件名 Save-file name", "lot 5"},
      {"信息 1 Information 1", "first"},
      {"信息 2 Information 2", "second"},
      {"信息 3 Information 3", "<none>"},
      {"信息 4 Information 4", "fourth <&>"},
      {"器件名称 Device name", "FC/APC-2.0"},
      {"λ1 IL 阈值 Threshold (dB)", "-0.3 as 0.0"},
      {"λ1 RL 阈值 Threshold (dB)", "55 as 0"},
      {"λ2 IL 阈值 Threshold (dB)", "-0.3 as 0.0"},
      {"λ2 RL 阈值 Threshold (dB)", "57.5 as 0.0"},
      {"测试波长 Wavelengths", "多模850nm/1300nm"},
  };
  for (size_t i = 0; i < expected.size(); ++i) {
    const std::string row = std::to_string(i + 1);
    EXPECT_EQ(Text(info, "A" + row), expected[i].first);
    const std::string value = info.At("B" + row) && info.At("B" + row)->type == "n"
                                  ? Number(info, "B" + row)
                                  : Text(info, "B" + row);
    EXPECT_EQ(value, expected[i].second) << expected[i].first;
  }
  EXPECT_EQ(Text(info, "A14"), "导出时间 Exported");
  ASSERT_NE(info.At("B14"), nullptr);
  EXPECT_NEAR(std::stod(info.At("B14")->value), 46364 + (9 * 3600 + 15 * 60 + 30) / 86400.0, 1e-9);
}

TEST(WorkbookWriting, SnapshotIsIndependentOfTheTable) {
  TempFolder folder;
  ResultsTable table;
  Append(table, {"before", "-0.1", "", "", "", "", ""});
  const ReportContent content = ContentOf(table);
  table.SetText(0, Column::Serial, "after");
  Append(table, {"later", "-0.2", "", "", "", "", ""});
  const auto sheets = WriteAndRead(folder, content);
  ASSERT_FALSE(sheets.empty());
  EXPECT_EQ(Text(sheets[0], "B3"), "before");
  EXPECT_EQ(sheets[0].Rows(), (std::vector<int>{1, 3}));
}

TEST(WorkbookWriting, FailureOrCancelLeavesNoFileAndKeepsTheOldOne) {
  TempFolder folder;
  ResultsTable table;
  for (int i = 0; i < 5000; ++i) Append(table, {"S", "-0.1", "", "", "", "", ""});
  const ReportContent content = ContentOf(table);

  const WorkbookResult missing = WriteWorkbook(folder / "no-folder/report.xlsx", content);
  EXPECT_EQ(missing.status, WorkbookResult::Status::Failed);
  EXPECT_NE(missing.error.find(folder / "no-folder/report.xlsx"), std::string::npos)
      << missing.error;
  EXPECT_NE(missing.error.find("No such file"), std::string::npos) << missing.error;

  const std::string path = folder.Write("report.xlsx", "an earlier report");
  std::vector<size_t> seen;
  WorkbookOptions options;
  options.progress = [&](size_t written, size_t total) {
    EXPECT_EQ(total, 5000u);
    seen.push_back(written);
    return written < 4000;
  };
  EXPECT_EQ(WriteWorkbook(path, content, options).status, WorkbookResult::Status::Cancelled);
  EXPECT_EQ(testing::ReadFile(path), "an earlier report");
  EXPECT_EQ(seen, (std::vector<size_t>{2048, 4096}));

  seen.clear();
  options.progress = [&](size_t written, size_t) {
    seen.push_back(written);
    return true;
  };
  EXPECT_TRUE(WriteWorkbook(path, content, options).Written());
  EXPECT_EQ(seen, (std::vector<size_t>{2048, 4096, 5000}));
  EXPECT_TRUE(testing::ReadWorkbook(path).has_value());
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
    ++files;
  }
  EXPECT_EQ(files, 1u) << "a partial file was left behind";
}

// Sheet for sheet and cell for cell.
void ExpectSameWorkbook(const std::vector<Sheet>& actual, const std::vector<Sheet>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t s = 0; s < expected.size(); ++s) {
    const Sheet& sheet = expected[s];
    EXPECT_EQ(actual[s].name, sheet.name);
    EXPECT_EQ(actual[s].columnWidths, sheet.columnWidths) << sheet.name;
    EXPECT_EQ(actual[s].cells.size(), sheet.cells.size()) << sheet.name;
    for (const auto& [reference, cell] : sheet.cells) {
      const testing::SheetCell* other = actual[s].At(reference);
      ASSERT_NE(other, nullptr) << sheet.name << " " << reference;
      EXPECT_EQ(other->type, cell.type) << sheet.name << " " << reference;
      EXPECT_EQ(other->text, cell.text) << sheet.name << " " << reference;
      EXPECT_EQ(other->value, cell.value) << sheet.name << " " << reference;
      EXPECT_EQ(other->numberFormat, cell.numberFormat) << sheet.name << " " << reference;
      EXPECT_EQ(other->bold, cell.bold) << sheet.name << " " << reference;
    }
  }
}

std::string LogLine(const std::string& serial, const std::array<std::string, 4>& values,
                    const std::string& time) {
  return FormatLogLine(serial, values, time) + std::string(kLogLineEnd);
}

ReportContent ContentOf(ReportRowSource rows) {
  return BuildReportContent(std::move(rows), ReportInformation{},
                            results::TestSettings::StartValues(), kTitles, kExportTime);
}

TEST(WorkbookFromLogs, StreamedLogsGiveTheWorkbookTheirImportIntoATableWould) {
  TempFolder folder;
  std::string monday;
  for (int i = 0; i < 6; ++i) {
    monday += LogLine("M" + std::to_string(i), {"-0.21", "55.3", "-0.00", "56.1"},
                      "2017/05/01 08:00:0" + std::to_string(i));
  }
  // A blank line, a line torn by a crash and the rest of it, odd values.
  const std::string tuesday =
      LogLine("0012345 b", {"-0.13", "nan", "", "12.50"}, "2017/05/02 09:00:00") + "\r\r\n" +
      std::string("T1   -0.1\0", 10) + "x\r\r\n" +
      LogLine("T2", {"-0.10", "57.0", "-0.11", "56.0"}, "2017/05/02 10:00:00");
  const std::vector<std::string> logs{folder.Write("20170501.txt", monday),
                                      folder.Write("20170502.txt", tuesday)};
  WorkbookOptions options;
  options.sheetRowLimit = 5;  // three rows a sheet, so the rows run over three sheets

  // The table's way: each log read whole, after the rows before it.
  ResultsTable table;
  for (const std::string& log : logs) {
    std::string error;
    auto rows = ReadLogFile(log, error);
    ASSERT_TRUE(rows.has_value()) << error;
    table.InsertRows(table.RowCount(), std::move(*rows));
  }
  const auto fromTable = WriteAndRead(folder, ContentOf(table), options);

  LogReading reading;
  const auto streamed = WriteAndRead(folder, ContentOf(LogReportRows(logs, reading)), options);
  ASSERT_EQ(streamed.size(), 4u);
  EXPECT_EQ(Text(streamed[2], "B3"), "0012345 b");
  EXPECT_EQ(Number(streamed[2], "A4"), "9 as 0");
  ExpectSameWorkbook(streamed, fromTable);
  ASSERT_EQ(reading.summaries.size(), 2u);
  EXPECT_EQ(reading.summaries[1].damaged, 2u);
  EXPECT_TRUE(reading.failedLog.empty());
}

TEST(WorkbookFromLogs, ALogThatCannotBeReadPartWayLeavesNoFileAndKeepsTheOldOne) {
  TempFolder folder;
  std::string monday;
  for (int i = 0; i < 5000; ++i) {
    monday +=
        LogLine("M" + std::to_string(i), {"-0.21", "55.3", "-0.20", "56.1"}, "2017/05/01 08:00:00");
  }
  const std::vector<std::string> logs{folder.Write("20170501.txt", monday),
                                      folder / "20170502.txt"};
  const std::string path = folder.Write("report.xlsx", "an earlier report");
  LogReading reading;
  size_t written = 0;
  WorkbookOptions options;
  options.progress = [&](size_t rows, size_t) {
    written = rows;
    return true;
  };
  const WorkbookResult result =
      WriteWorkbook(path, ContentOf(LogReportRows(logs, reading)), options);
  EXPECT_EQ(result.status, WorkbookResult::Status::Failed);
  EXPECT_GE(written, 4096u) << "the first day was not written before the second was missed";
  EXPECT_EQ(reading.failedLog, logs[1]);
  EXPECT_NE(result.error.find("cannot read " + logs[1]), std::string::npos) << result.error;
  EXPECT_NE(reading.error.find("No such file"), std::string::npos) << reading.error;
  EXPECT_EQ(testing::ReadFile(path), "an earlier report");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"20170501.txt", "report.xlsx"}));
}

// A decimal-comma locale, built into the scratch folder, or nothing.
bool UseCommaLocale([[maybe_unused]] const TempFolder& folder) {
#ifdef _WIN32
  // Windows has its locales built in, under either kind of name.
  return setlocale(LC_NUMERIC, "de-DE") != nullptr ||
         setlocale(LC_NUMERIC, "German_Germany.1252") != nullptr;
#else
  const std::string command =
      "localedef -i de_DE -f UTF-8 " + (folder / "de_DE.UTF-8") + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  setenv("LOCPATH", folder.Path().c_str(), 1);
  return setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
#endif
}

TEST(WorkbookWriting, NumbersAreWrittenWithAPointUnderAnyLocale) {
  TempFolder folder;
  ResultsTable table;
  Append(table, {"S", "-0.21", "", "", "", "2017/05/03 12:34:56", ""});
  const ReportContent content = ContentOf(table);
  if (!UseCommaLocale(folder)) GTEST_SKIP() << "no de_DE locale source (package locales)";
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%.2f", 0.5);
  const std::string shown = buffer;
  const WorkbookResult result = WriteWorkbook(folder / "report.xlsx", content);
  setlocale(LC_NUMERIC, "C");
#ifndef _WIN32
  unsetenv("LOCPATH");
#endif
  ASSERT_EQ(shown, "0,50") << "the locale did not take";
#ifdef _WIN32
  // msvcrt.dll gives no thread a locale of its own: with the whole process
  // under a decimal comma the writer refuses, and leaves nothing.
  if (!result.Written()) {
    EXPECT_EQ(result.error, "cannot select the C number format");
    EXPECT_FALSE(std::filesystem::exists(folder / "report.xlsx"));
    return;
  }
#endif
  ASSERT_TRUE(result.Written()) << result.error;
  const auto sheet = testing::ReadZipEntry(folder / "report.xlsx", "xl/worksheets/sheet1.xml");
  ASSERT_TRUE(sheet.has_value());
  EXPECT_NE(sheet->find("<v>-0.21</v>"), std::string::npos);
  EXPECT_NE(sheet->find("width=\"5.7109375\""), std::string::npos);
  EXPECT_EQ(sheet->find(",5"), std::string::npos);
}

// LibreOffice is the spreadsheet the workbook is handed to: what it shows
// must be the table's texts exactly.
#ifndef _WIN32  // LibreOffice is run as a Linux program
TEST(WorkbookInLibreOffice, ShowsExactlyTheTableTexts) {
  const auto soffice = testing::FindSoffice();
  if (!soffice) GTEST_SKIP() << "LibreOffice is not installed";
  TempFolder folder;
  ResultsTable table;
  results::ApplySettings(table, results::TestSettings::StartValues());
  const std::vector<RowTexts> rows{
      {"0012345", "-0.21", "56.3", "-0.00", "55.0", "2017/05/03 12:34:56", ""},
      {"****", "-0.12", "57.0", "", "", "2017/12/31 23:59:59", ""},
      {"测试 \"A,B\"", "nan", "", "-0.20", "56.1", "2017/05/03", "12:34:56"},
      {"12345678901234567", "1234567890123456", "0.05", "100", "-3", "x", "y"},
  };
  for (const RowTexts& row : rows) Append(table, row);
  ReportContent content = ContentOf(table);
  content.information.productNumber = "000123";
  const std::string path = folder / "report.xlsx";
  ASSERT_TRUE(WriteWorkbook(path, content).Written());

  const auto sheets = testing::ConvertWithLibreOffice(*soffice, path, folder.Path());
  ASSERT_TRUE(sheets.has_value()) << "LibreOffice could not convert the workbook";
  ASSERT_EQ(sheets->size(), 2u);
  const auto& shown = (*sheets)[0];
  ASSERT_EQ(shown.size(), 2 + 1 + rows.size());
  // Columns I and J are empty everywhere; K shows the real times again.
  EXPECT_EQ(shown[0], (std::vector<std::string>{"", "NO.", "Distance", "Loss", "Refl", "Total",
                                                "Event", "Time", "", "", "Event"}));
  EXPECT_EQ(shown[1], std::vector<std::string>(11, ""));
  const std::vector<std::string> timeValues{"", "2017/05/03 12:34:56", "2017/12/31 23:59:59", "",
                                            ""};
  for (int row = 0; row < table.RowCount(); ++row) {
    std::vector<std::string> expected{std::to_string(row + 2)};
    for (int column = 0; column < results::kColumnCount; ++column) {
      expected.push_back(table.Text(row, column));
    }
    expected.insert(expected.end(), {"", "", timeValues[static_cast<size_t>(row)]});
    EXPECT_EQ(shown[2 + row], expected) << "table row " << row;
  }
  const auto& info = (*sheets)[1];
  ASSERT_GE(info.size(), 14u);
  EXPECT_EQ(info[0], (std::vector<std::string>{"产品号 Product number", "000123"}));
  EXPECT_EQ(info[8][1], "-0.3");
  EXPECT_EQ(info[9][1], "55");
  EXPECT_EQ(info[13][1], "2026/12/08 09:15:30");
}

// What the technician sees as the report opens, drawn by LibreOffice itself:
// each time whole, in G and again in K, and no "###" in any cell, with the
// bench mode's verdict column in as well.
TEST(WorkbookInLibreOffice, DrawsEveryTimeWholeAndNoCellAsHashes) {
  const auto soffice = testing::FindSoffice();
  if (!soffice) GTEST_SKIP() << "LibreOffice is not installed";
  const auto pdftotext = testing::FindProgram("pdftotext");
  if (!pdftotext) GTEST_SKIP() << "pdftotext is not installed (poppler-utils)";
  TempFolder folder;
  ResultsTable table;
  results::ApplySettings(table, results::TestSettings::StartValues());
  const std::vector<std::string> times{"2017/05/03 08:04:05", "2017/05/03 12:34:56",
                                       "2017/12/31 23:59:59"};
  Append(table, {"A1", "-0.21", "56.3", "-0.20", "55.0", times[0], ""});
  // A float of the meter's gone astray, one character wider than D.
  Append(table, {"A2", "-0.12", "123456789.0", "", "", times[1], ""});
  Append(table, {"1--2", "1234", "-0.3", "55.2", "0.5", "Loss", "2017-05-03 12:34 "});
  Append(table, {"A3", "-0.13", "57.0", "-0.22", "56.1", times[2], ""});
  ReportContent content = ContentOf(table);
  content.words = {"Time value", "Verdict", "PASS", "FAIL"};
  content.verdictColumn = true;
  const std::string path = folder / "report.xlsx";
  ASSERT_TRUE(WriteWorkbook(path, content).Written());

  const auto printed =
      testing::PrintedTextWithLibreOffice(*soffice, *pdftotext, path, folder.Path());
  ASSERT_TRUE(printed.has_value()) << "LibreOffice could not print the workbook";
  EXPECT_EQ(printed->find("###"), std::string::npos) << *printed;
  for (const std::string& time : times) {
    size_t seen = 0;
    for (size_t at = printed->find(time); at != std::string::npos;
         at = printed->find(time, at + 1)) {
      ++seen;
    }
    EXPECT_EQ(seen, 2u) << time << " in\n" << *printed;
  }
  EXPECT_NE(printed->find("123456789.0"), std::string::npos) << *printed;
  EXPECT_NE(printed->find("Verdict"), std::string::npos) << *printed;
}
#endif

// libstdc++ cannot set a folder's time on Windows (its _wutime opens no
// folder): the system's own call does it there.
void SetModified(const std::string& path, std::filesystem::file_time_type time) {
#ifdef _WIN32
  const auto since1970 =
      std::chrono::duration_cast<std::chrono::duration<long long, std::ratio<1, 10000000>>>(
          std::chrono::file_clock::to_sys(time).time_since_epoch());
  const unsigned long long steps =
      116444736000000000ULL + static_cast<unsigned long long>(since1970.count());
  FILETIME written{static_cast<DWORD>(steps), static_cast<DWORD>(steps >> 32)};
  HANDLE file = CreateFileW(testing::PathOf(path).c_str(), FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &written)) << path;
  CloseHandle(file);
#else
  std::filesystem::last_write_time(path, time);
#endif
}

// An export folder holding its workbook, last touched `age` before `now`.
void ExportFolder(const TempFolder& base, const std::string& name,
                  std::filesystem::file_time_type now, std::chrono::hours age) {
  std::filesystem::create_directory(base / name);
  const std::string workbook = base.Write(name + "/report.xlsx", "PK");
  SetModified(workbook, now - age);
  SetModified(base / name, now - age);
}

std::vector<std::string> Entries(const TempFolder& base) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(base.Path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ExportFolders, ThoseUntouchedForADayGoButNeverTheLastOne) {
  using std::chrono::hours;
  const auto now = std::filesystem::file_time_type::clock::now();
  const auto systemNow = std::chrono::file_clock::to_sys(now);
  {
    TempFolder base;
    ExportFolder(base, "orvana-report-aaaaaa", now, hours(72));
    ExportFolder(base, "orvana-report-bbbbbb", now, hours(30));
    ExportFolder(base, "orvana-report-cccccc", now, hours(2));
    // Opened again in the spreadsheet an hour ago: its lock file is new.
    ExportFolder(base, "orvana-report-dddddd", now, hours(50));
    SetModified(base.Write("orvana-report-dddddd/.~lock.report.xlsx#", ""), now - hours(1));
    ExportFolder(base, "orvana-report-old", now, hours(72));  // not an export's name
    ExportFolder(base, "saved-by-hand", now, hours(72));
    EXPECT_EQ(RemoveOldExportFolders(base.Path(), systemNow), 2u);
    EXPECT_EQ(Entries(base),
              (std::vector<std::string>{"orvana-report-cccccc", "orvana-report-dddddd",
                                        "orvana-report-old", "saved-by-hand"}));
  }
  {
    // After a long pause the last export is old too; the spreadsheet may
    // still hold it.
    TempFolder base;
    ExportFolder(base, "orvana-report-aaaaaa", now, hours(72));
    ExportFolder(base, "orvana-report-bbbbbb", now, hours(48));
    EXPECT_EQ(RemoveOldExportFolders(base.Path(), systemNow), 1u);
    EXPECT_EQ(Entries(base), (std::vector<std::string>{"orvana-report-bbbbbb"}));
  }
}

}  // namespace
}  // namespace orvana::records
