#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/trace.h"
#include "records/daily_log.h"
#include "records/log_import.h"
#include "results/colors.h"
#ifndef _WIN32
#include "support/fifo_trap.h"
#endif
#include "support/temp_folder.h"

namespace orvana::records {
namespace {

using results::Column;
using results::RowTexts;
using testing::TempFolder;
using testing::WriteFile;
using Fields = std::vector<std::string>;
using namespace std::string_literals;

const std::string kTime = "2017/05/03 12:34:56";

// The fields the import cuts from one line, copied out: as many as it gave.
Fields SplitLine(const std::string& line) {
  RowFields fields;
  const size_t count = SplitLineFields(line, fields);
  return Fields(fields.begin(), fields.begin() + static_cast<long>(std::min(count, fields.size())));
}

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

TEST(SplitStoredLine, FieldsGoToTheirColumnsAndNothingOfTheLineBeforeStays) {
  // The import cuts every line into the same fields, one line after another.
  RowFields fields;
  const std::string complete = "S   1   2   3   4   " + kTime + "\r";
  ASSERT_EQ(SplitLineFields(complete, fields), 6u);
  EXPECT_EQ(fields, (RowFields{"S", "1", "2", "3", "4", kTime, ""}));
  const std::string shorter = "A17   -0.12";
  ASSERT_EQ(SplitLineFields(shorter, fields), 2u);
  EXPECT_EQ(fields, (RowFields{"A17", "-0.12", "", "", "", "", ""}));
  ASSERT_EQ(SplitLineFields("  \r", fields), 0u);
  EXPECT_EQ(fields, RowFields{});
}

// The file is read in pieces that end anywhere; the lines must not depend on
// where.
TEST(LogLines, SameLinesWhereverAReadEnds) {
  const std::string content =
      "A1   1\r\r\nB2\0\0\0C3\n"s + std::string(kLongestLogLine + 1, 'x') + "\nD4\0\0\0\0E5"s;
  const Fields expected{"A1   1\r\r", "B2", "C3", "D4", "E5"};
  for (size_t first = 0; first <= content.size(); ++first) {
    Fields lines;
    const auto onLine = [&](std::string_view line, bool) {
      if (!line.empty()) lines.emplace_back(line);
    };
    LogLineReader reader;
    reader.Feed(std::string_view(content).substr(0, first), onLine);
    reader.Feed(std::string_view(content).substr(first), onLine);
    reader.Finish(onLine);
    ASSERT_EQ(lines, expected) << "the first read ends after " << first << " bytes";
    ASSERT_EQ(reader.Skipped(), 1u) << "the first read ends after " << first << " bytes";
  }
}

TEST(ReadLogFileFromDisk, LineEndsAndEmptyLines) {
  const std::string content = "A   1   2   3   4   " + kTime + "\r\r\n" +  // as stored
                              "\r\r\n" +                                   // an empty stored line
                              "B   1   2   3   4   " + kTime + "\r\n" +    // CR LF
                              "\n" +                                       // an empty plain line
                              "C   1   2   3   4   " + kTime + "\n" +      // lone LF
                              "D   1   2   3   4   " + kTime;              // no end at all
  TempFolder folder;
  const std::string path = folder.Write("20170503.txt", content);
  std::string error;
  const auto rows = ReadLogFile(path, error);
  ASSERT_TRUE(rows) << error;
  ASSERT_EQ(rows->size(), 4u);
  const char* serials[] = {"A", "B", "C", "D"};
  for (size_t i = 0; i < rows->size(); ++i) {
    EXPECT_EQ((*rows)[i], (RowTexts{serials[i], "1", "2", "3", "4", kTime, ""}));
  }
  const auto none = ReadLogFile(folder.Write("20170504.txt", "\r\n\n\r\r\n"), error);
  ASSERT_TRUE(none) << error;
  EXPECT_TRUE(none->empty());
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

#ifndef _WIN32  // a FIFO and /dev/zero; the Windows build tries its NUL device below
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
#else
// Windows has no FIFOs among its files; its devices answer to names that
// look like files, in any folder.
TEST(ReadLogFileFromDisk, WhatIsNotARegularFileImportsNothingAndSaysWhy) {
  results::ResultsTable table;
  table.AppendRow(" ");
  for (const std::string path : {"NUL", "nul.txt"}) {
    std::string error;
    EXPECT_FALSE(ImportLogFile(table, path, error)) << path;
    EXPECT_EQ(error, "Cannot open " + path + ": not a regular file");
    EXPECT_EQ(table.RowCount(), 1);
  }
}
#endif

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
  // The piece before the NUL is no whole line: counted, not shown. The
  // whole lines after NULs are rows as written.
  EXPECT_EQ(imported->damaged, 1u);
  ASSERT_EQ(table.RowCount(), 2);
  EXPECT_EQ(table.Text(0, Column::Serial), "B1");
  EXPECT_EQ(table.Text(0, Column::Value1), "-0.21");
  EXPECT_EQ(table.Text(0, Column::Time), kTime);
  EXPECT_EQ(table.Text(1, Column::Serial), "C1");
  EXPECT_EQ(table.Text(1, Column::Time), kTime);
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

// Three stored lines, an empty one between the first two, imported into
// `table` from a day's file.
std::optional<ImportSummary> ImportThreeLines(results::ResultsTable& table) {
  TempFolder folder;
  const std::string path = folder.Write(
      "20170503.txt", "i1   1   1   1   1   " + kTime + "\r\r\n\r\r\ni2   2   2   2   2   " +
                          kTime + "\r\r\ni3   3   3   3   3   " + kTime + "\r\r\n");
  std::string error;
  auto imported = ImportLogFile(table, path, error);
  EXPECT_TRUE(imported) << error;
  return imported;
}

TEST(ImportIntoTable, AfterTheWavelengthRowInFileOrder) {
  results::ResultsTable table;
  table.AppendRow(" ");
  const auto imported = ImportThreeLines(table);
  ASSERT_TRUE(imported);
  EXPECT_EQ(imported->rows, 3u);
  ASSERT_EQ(table.RowCount(), 4);
  EXPECT_EQ(table.Text(0, Column::Serial), " ");
  for (int row = 1; row <= 3; ++row) {
    EXPECT_EQ(table.Text(row, Column::Serial), "i" + std::to_string(row));
    EXPECT_EQ(table.Text(row, Column::Value4), std::to_string(row));
    EXPECT_EQ(table.Text(row, Column::Time), kTime);
    EXPECT_EQ(table.Text(row, Column::Extra), "");
  }
}

TEST(ImportIntoTable, EmptyTableStartsAtRowZero) {
  results::ResultsTable table;
  ASSERT_TRUE(ImportThreeLines(table));
  ASSERT_EQ(table.RowCount(), 3);
  EXPECT_EQ(table.Text(0, Column::Serial), "i1");
  EXPECT_EQ(table.Text(2, Column::Time), kTime);
}

TEST(ImportIntoTable, EarlierResultsMoveDownWithTheirColours) {
  results::ResultsTable table;
  table.AppendRow(" ");
  const int result = table.AppendRow("R1");
  table.SetCellTextColor(Column::Value1, result, results::COLOR_FAIL);
  table.SetCellTextColor(Column::Value2, result, results::COLOR_PASS_LATEST);
  ASSERT_TRUE(ImportThreeLines(table));
  ASSERT_EQ(table.RowCount(), 5);
  EXPECT_EQ(table.Text(1, Column::Serial), "i1");
  EXPECT_EQ(table.Text(4, Column::Serial), "R1");
  EXPECT_EQ(table.CellTextColor(4, Column::Value1), results::COLOR_FAIL);
  EXPECT_EQ(table.CellTextColor(4, Column::Value2), results::COLOR_PASS_LATEST);
  for (int row = 0; row <= 3; ++row) {
    for (int column = 0; column < results::kColumnCount; ++column) {
      EXPECT_EQ(table.CellTextColor(row, column), std::nullopt) << row << "," << column;
    }
  }
}

}  // namespace
}  // namespace orvana::records
