#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/fifo_trap.h"
#include "common/temp_folder.h"
#include "common/trace.h"
#include "records/daily_log.h"
#include "records/log_import.h"
#include "results/colors.h"

namespace orvana::records {
namespace {

using results::Column;
using results::RowTexts;
using testing::TempFolder;
using testing::WriteFile;
using Fields = std::vector<std::string>;

const std::string kTime = "2017/05/03 12:34:56";

TEST(SplitStoredLine, CompleteLineGivesSixFieldsWithTheTimeWhole) {
  EXPECT_EQ(SplitLine("A17050301   -0.12   55.3   -0.20   56.1   2017/05/03 12:34:56\r"),
            (Fields{"A17050301", "-0.12", "55.3", "-0.20", "56.1", kTime}));
}

TEST(SplitStoredLine, EmptyValueFieldsKeepTheirColumns) {
  EXPECT_EQ(SplitLine("****   -0.12   57.0         2017/05/03 12:34:56\r"),
            (Fields{"****", "-0.12", "57.0", "", "", kTime}));
  EXPECT_EQ(SplitLine("****         -0.12   57.0   2017/05/03 12:34:56"),
            (Fields{"****", "", "", "-0.12", "57.0", kTime}));
}

TEST(SplitStoredLine, EveryTrailingCrIsDropped) {
  const Fields expected{"S", "1", "2", "3", "4", kTime};
  EXPECT_EQ(SplitLine("S   1   2   3   4   " + kTime), expected);
  EXPECT_EQ(SplitLine("S   1   2   3   4   " + kTime + "\r"), expected);
  EXPECT_EQ(SplitLine("S   1   2   3   4   " + kTime + "\r\r"), expected);
}

TEST(SplitStoredLine, SerialWithSpacesStaysWhole) {
  EXPECT_EQ(SplitLine("LOT 7 #12   1   2   3   4   " + kTime),
            (Fields{"LOT 7 #12", "1", "2", "3", "4", kTime}));
  EXPECT_EQ(SplitLine("A   B   1   2   3   4   " + kTime),
            (Fields{"A   B", "1", "2", "3", "4", kTime}));
  EXPECT_EQ(SplitLine(" lead and trail    1      3   4   " + kTime),
            (Fields{" lead and trail ", "1", "", "3", "4", kTime}));
}

TEST(SplitStoredLine, WhatTheWriterWritesComesBackUnchanged) {
  const std::vector<std::string> serials{"****", "A17050301", "A B", "A   B", "x  ", "  x", " "};
  const std::vector<std::array<std::string, 4>> values{{"-0.12", "55.3", "-0.20", "56.1"},
                                                       {"-0.12", "57.0", "", ""},
                                                       {"", "", "-0.12", "57.0"},
                                                       {"", "", "", ""},
                                                       {"nan", "-nan", "inf", "-inf"}};
  for (const std::string& serial : serials) {
    for (const auto& texts : values) {
      const std::string line = FormatLogLine(serial, texts, kTime);
      EXPECT_EQ(SplitLine(line + "\r"),
                (Fields{serial, texts[0], texts[1], texts[2], texts[3], kTime}))
          << "[" << line << "]";
    }
  }
}

TEST(SplitStoredLine, BlankLineGivesNoField) {
  EXPECT_TRUE(SplitLine("").empty());
  EXPECT_TRUE(SplitLine("\r").empty());
  EXPECT_TRUE(SplitLine("         \r").empty());
}

TEST(SplitStoredLine, ShortLineIsCutFromTheLeft) {
  EXPECT_EQ(SplitLine("A17   -0.12   55.3\r"), (Fields{"A17", "-0.12", "55.3"}));
  EXPECT_EQ(SplitLine("only a serial"), (Fields{"only a serial"}));
  EXPECT_EQ(SplitLine("A      B"), (Fields{"A", "", "B"}));
}

TEST(SplitStoredLine, FieldsGoToTheirColumns) {
  const RowTexts row = FieldsToRow({"S", "1", "2", "3", "4", kTime});
  EXPECT_EQ(row, (RowTexts{"S", "1", "2", "3", "4", kTime, ""}));
  EXPECT_EQ(FieldsToRow({"a", "b", "c", "d", "e", "f", "g", "h"})[6], "g");
}

TEST(ParseContent, LineEndsAndEmptyLines) {
  const std::string content = "A   1   2   3   4   " + kTime + "\r\r\n" +  // as stored
                              "\r\r\n" +                                   // an empty stored line
                              "B   1   2   3   4   " + kTime + "\r\n" +    // CR LF
                              "\n" +                                       // an empty plain line
                              "C   1   2   3   4   " + kTime + "\n" +      // lone LF
                              "D   1   2   3   4   " + kTime;              // no end at all
  const auto rows = ParseLogContent(content);
  ASSERT_EQ(rows.size(), 4u);
  const char* serials[] = {"A", "B", "C", "D"};
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i], (RowTexts{serials[i], "1", "2", "3", "4", kTime, ""}));
  }
  EXPECT_TRUE(ParseLogContent("").empty());
  EXPECT_TRUE(ParseLogContent("\r\n\n\r\r\n").empty());
}

TEST(ReadLogFileFromDisk, ReadsWhatTheDailyLogWrote) {
  TempFolder folder;
  {
    DailyLog log(folder.Path());
    log.Append({2017, 5, 3, 12, 34, 56}, "A1", {"-0.12", "55.3", "-0.20", "56.1"}, kTime);
    log.Append({2017, 5, 3, 12, 34, 56}, "****", {"-0.12", "57.0", "", ""}, kTime);
    log.Append({2017, 5, 3, 12, 34, 56}, "LOT 7", {"", "", "-0.12", "57.0"}, kTime);
  }
  std::string error;
  const auto rows = ReadLogFile(folder / "20170503.txt", error);
  ASSERT_TRUE(rows) << error;
  ASSERT_EQ(rows->size(), 3u);
  EXPECT_EQ((*rows)[0], (RowTexts{"A1", "-0.12", "55.3", "-0.20", "56.1", kTime, ""}));
  EXPECT_EQ((*rows)[1], (RowTexts{"****", "-0.12", "57.0", "", "", kTime, ""}));
  EXPECT_EQ((*rows)[2], (RowTexts{"LOT 7", "", "", "-0.12", "57.0", kTime, ""}));
}

TEST(ReadLogFileFromDisk, UnreadableFileSaysWhy) {
  TempFolder folder;
  std::string error;
  EXPECT_FALSE(ReadLogFile(folder / "missing.txt", error));
  EXPECT_NE(error.find(folder / "missing.txt"), std::string::npos) << error;
  EXPECT_NE(error.find(std::strerror(ENOENT)), std::string::npos) << error;

  error.clear();
  EXPECT_FALSE(ReadLogFile(folder.Path(), error)) << "a folder is not a log";
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
}

TEST(ReadLogFileFromDisk, WhatIsNotARegularFileImportsNothingAndSaysWhy) {
  TempFolder folder;
  results::ResultsTable table;
  table.AppendRow(" ");
  testing::FifoTrap fifo(folder / "20170503.txt");
  for (const std::string& path : {fifo.Path(), std::string("/dev/zero")}) {
    std::string error;
    std::optional<ImportSummary> imported;
    EXPECT_FALSE(fifo.Run([&] { imported = ImportLogFile(table, path, error); }))
        << "opening " << path << " blocked";
    EXPECT_FALSE(imported) << path;
    EXPECT_EQ(error, "Cannot open " + path + ": not a regular file");
    EXPECT_EQ(table.RowCount(), 1);
  }
}

TEST(ReadLogFileFromDisk, OverlongLinesAreSkippedAndCounted) {
  // Enough lines that pieces of lines, long and short, meet at every read.
  TempFolder folder;
  std::string content;
  std::vector<std::string> serials;
  const std::string overlong(kLongestLogLine + 1, 'x');
  for (int i = 0; i < 12000; ++i) {
    if (i % 997 == 0) content += overlong + "\r\r\n";
    serials.push_back("A" + std::to_string(i));
    content += serials.back() + "   1   2   3   4   " + kTime + "\r\r\n";
  }
  const std::string longest(kLongestLogLine - 2, 'y');  // with its "\r\r": just taken
  content += longest + "\r\r\n" + overlong;             // the last line needs no end
  const std::string path = folder.Write("20170503.txt", content);

  results::ResultsTable table;
  std::string error;
  common::TraceCapture trace;
  const auto imported = ImportLogFile(table, path, error);
  ASSERT_TRUE(imported) << error;
  EXPECT_EQ(imported->skippedTooLong, 14u);
  EXPECT_EQ(imported->rows, serials.size() + 1);
  EXPECT_TRUE(trace.Contains("14 lines skipped: too long")) << trace.Text();
  ASSERT_EQ(table.RowCount(), static_cast<int>(serials.size() + 1));
  for (size_t i = 0; i < serials.size(); ++i) {
    const int row = static_cast<int>(i);
    ASSERT_EQ(table.Text(row, Column::Serial), serials[i]) << "row " << i;
    ASSERT_EQ(table.Text(row, Column::Time), kTime) << "row " << i;
  }
  EXPECT_EQ(table.Text(table.RowCount() - 1, Column::Serial), longest);
}

TEST(ReadLogFileFromDisk, ARunOfNulsEndsALine) {
  // A NUL in a serial, and the block of NULs a crash leaves where a line was
  // being written, with the next run's line right behind it.
  TempFolder folder;
  const std::string path =
      folder.Write("20170503.txt", std::string("A1\0B1   -0.21   55.3   -0.20   56.1   ", 38) +
                                       kTime + "\r\r\n" + std::string(kLongestLogLine + 1, '\0') +
                                       "C1   1   2   3   4   " + kTime + "\r\r\n");
  results::ResultsTable table;
  std::string error;
  const auto imported = ImportLogFile(table, path, error);
  ASSERT_TRUE(imported) << error;
  EXPECT_EQ(imported->skippedTooLong, 0u);
  ASSERT_EQ(table.RowCount(), 3);
  EXPECT_EQ(table.Text(0, Column::Serial), "A1");
  EXPECT_EQ(table.Text(0, Column::Value1), "");
  EXPECT_EQ(table.Text(1, Column::Serial), "B1");
  EXPECT_EQ(table.Text(1, Column::Value1), "-0.21");
  EXPECT_EQ(table.Text(1, Column::Time), kTime);
  EXPECT_EQ(table.Text(2, Column::Serial), "C1");
  EXPECT_EQ(table.Text(2, Column::Time), kTime);
}

TEST(ReadLogFileFromDisk, EmptyFileIsNoRowsAndNoError) {
  TempFolder folder;
  WriteFile(folder / "empty.txt", "");
  std::string error;
  const auto rows = ReadLogFile(folder / "empty.txt", error);
  ASSERT_TRUE(rows);
  EXPECT_TRUE(rows->empty());
  EXPECT_TRUE(error.empty());
}

std::vector<RowTexts> ThreeImportedRows() {
  return {RowTexts{"i1", "1", "1", "1", "1", kTime, ""},
          RowTexts{"i2", "2", "2", "2", "2", kTime, ""},
          RowTexts{"i3", "3", "3", "3", "3", kTime, ""}};
}

TEST(PlaceImport, AfterTheWavelengthRowInFileOrder) {
  results::ResultsTable table;
  table.AppendRow(" ");
  EXPECT_EQ(PlaceImportedRows(table, ThreeImportedRows()), 1);
  ASSERT_EQ(table.RowCount(), 4);
  EXPECT_EQ(table.Text(0, Column::Serial), " ");
  for (int row = 1; row <= 3; ++row) {
    EXPECT_EQ(table.Text(row, Column::Serial), "i" + std::to_string(row));
    EXPECT_EQ(table.Text(row, Column::Value4), std::to_string(row));
    EXPECT_EQ(table.Text(row, Column::Time), kTime);
  }
}

TEST(PlaceImport, EmptyTableStartsAtRowZero) {
  results::ResultsTable table;
  EXPECT_EQ(PlaceImportedRows(table, ThreeImportedRows()), 0);
  ASSERT_EQ(table.RowCount(), 3);
  EXPECT_EQ(table.Text(0, Column::Serial), "i1");
  EXPECT_EQ(table.Text(2, Column::Time), kTime);
}

TEST(PlaceImport, StreamedImportPlacesLikeTheBlockInsert) {
  TempFolder folder;
  const std::string path = folder.Write(
      "20170503.txt", "i1   1   1   1   1   " + kTime + "\r\r\n\r\r\ni2   2   2   2   2   " +
                          kTime + "\r\r\ni3   3   3   3   3   " + kTime + "\r\r\n");
  results::ResultsTable streamed;
  results::ResultsTable placed;
  for (results::ResultsTable* table : {&streamed, &placed}) {
    table->AppendRow(" ");
    table->AppendRow("R1");
    table->SetCellTextColor(Column::Value1, 1, results::COLOR_FAIL);
  }
  std::string error;
  const auto imported = ImportLogFile(streamed, path, error);
  ASSERT_TRUE(imported) << error;
  EXPECT_EQ(imported->rows, 3u);
  PlaceImportedRows(placed, ThreeImportedRows());
  ASSERT_EQ(streamed.RowCount(), placed.RowCount());
  for (int row = 0; row < placed.RowCount(); ++row) {
    for (int column = 0; column < results::kColumnCount; ++column) {
      EXPECT_EQ(streamed.Text(row, column), placed.Text(row, column)) << row << "," << column;
      EXPECT_EQ(streamed.CellTextColor(row, column), placed.CellTextColor(row, column));
    }
  }
}

TEST(PlaceImport, EarlierResultsMoveDownWithTheirColours) {
  results::ResultsTable table;
  table.AppendRow(" ");
  const int result = table.AppendRow("R1");
  table.SetCellTextColor(Column::Value1, result, results::COLOR_FAIL);
  table.SetCellTextColor(Column::Value2, result, results::COLOR_PASS_LATEST);
  PlaceImportedRows(table, ThreeImportedRows());
  ASSERT_EQ(table.RowCount(), 5);
  EXPECT_EQ(table.Text(4, Column::Serial), "R1");
  EXPECT_EQ(table.CellTextColor(4, Column::Value1), results::COLOR_FAIL);
  EXPECT_EQ(table.CellTextColor(4, Column::Value2), results::COLOR_PASS_LATEST);
  for (int row = 1; row <= 3; ++row) {
    EXPECT_EQ(table.CellTextColor(row, Column::Value1), std::nullopt) << "row " << row;
    EXPECT_EQ(table.CellTextColor(row, Column::Value2), std::nullopt) << "row " << row;
  }
}

}  // namespace
}  // namespace orvana::records
