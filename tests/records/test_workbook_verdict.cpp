#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "records/report_content.h"
#include "records/workbook_writer.h"
#include "results/table_operations.h"
#include "support/temp_folder.h"
#include "support/workbook_reader.h"

// The bench mode's verdict column: each part's verdict as the table decided
// it, after the columns that other programs read, which stay where they are.
namespace orvana::records {
namespace {

using results::Outcome;
using results::ResultsTable;
using testing::Sheet;
using testing::TempFolder;

const ColumnTitles kTitles{"Distance", "Loss", "Refl", "Total", "Event", "Time"};
const ReportWords kWords{"Time value", "Verdict", "PASS", "FAIL"};

// A result row with its values' verdicts, as the recorder leaves it.
void AppendJudged(ResultsTable& table, std::string_view serial,
                  const std::array<Outcome, 4>& outcomes) {
  results::RowContent row;
  row.texts = {serial, "-0.21", "55.3", "-0.20", "56.1", "2017/05/03 12:34:56", ""};
  for (size_t k = 0; k < outcomes.size(); ++k) {
    row.outcomes[static_cast<size_t>(
        results::ColumnIndex(results::ValueColumn(static_cast<int>(k))))] = outcomes[k];
  }
  table.AppendRow(row);
}

Sheet WriteFirstSheet(const TempFolder& folder, const std::string& name,
                      const ReportContent& content) {
  const std::string path = folder / name;
  const WorkbookResult result = WriteWorkbook(path, content);
  EXPECT_TRUE(result.Written()) << result.error;
  const auto sheets = testing::ReadWorkbook(path);
  EXPECT_TRUE(sheets.has_value() && !sheets->empty());
  return sheets && !sheets->empty() ? sheets->front() : Sheet{};
}

std::string Text(const Sheet& sheet, const std::string& reference) {
  const testing::SheetCell* cell = sheet.At(reference);
  return cell == nullptr ? "<none>" : cell->text;
}

TEST(WorkbookVerdict, TheBenchModeAddsEachPartsVerdictInJAndMovesNothing) {
  constexpr Outcome P = results::OUTCOME_PASS;
  constexpr Outcome F = results::OUTCOME_FAIL;
  TempFolder folder;
  ResultsTable table;
  results::ApplySettings(table, results::TestSettings::StartValues());  // judged by nobody
  AppendJudged(table, "P1", {P, P, P, P});
  AppendJudged(table, "gone", {F, F, F, F});
  AppendJudged(table, "P2", {P, P, P, P});
  AppendJudged(table, "F1", {P, P, F, P});
  table.AppendRow("1--2");  // an uploaded event: no verdict
  results::BlankRow(table, 2);
  const results::TestSettings settings = results::TestSettings::StartValues();
  const common::LocalTime time{2026, 12, 8, 9, 15, 30};

  const Sheet plain = WriteFirstSheet(
      folder, "plain.xlsx", BuildReportContent(table, {}, settings, kTitles, time, kWords));
  const Sheet bench = WriteFirstSheet(
      folder, "bench.xlsx", BuildReportContent(table, {}, settings, kTitles, time, kWords, true));

  // Off unless asked for: no cell and no width of J.
  for (const auto& [reference, cell] : plain.cells) {
    EXPECT_NE(reference[0], 'J') << reference;
  }
  EXPECT_EQ(plain.columnWidths.count(10), 0u);
  EXPECT_EQ(Text(plain, "K1"), "Time value");

  EXPECT_EQ(Text(bench, "J1"), "Verdict");
  EXPECT_TRUE(bench.At("J1")->bold);
  const std::vector<std::pair<std::string, std::string>> verdicts{
      {"B3", "<none>"}, {"B4", "PASS"}, {"B5", "PASS"}, {"B6", "FAIL"}, {"B7", "<none>"}};
  for (const auto& [serialCell, verdict] : verdicts) {
    const std::string row = serialCell.substr(1);
    EXPECT_EQ(Text(bench, "J" + row), verdict) << Text(bench, serialCell);
  }
  EXPECT_EQ(Text(bench, "B5"), "P2");  // the blanked row closed up, with its verdict
  EXPECT_NEAR(bench.columnWidths.at(10) - 5.0 / 7, 10, 0.01);

  // Everything else is the plain report's, cell for cell.
  EXPECT_EQ(bench.cells.size(), plain.cells.size() + 4);
  for (const auto& [reference, cell] : plain.cells) {
    const testing::SheetCell* same = bench.At(reference);
    ASSERT_NE(same, nullptr) << reference;
    EXPECT_EQ(same->type + same->text + same->value + same->numberFormat,
              cell.type + cell.text + cell.value + cell.numberFormat)
        << reference;
  }
}

}  // namespace
}  // namespace orvana::records
