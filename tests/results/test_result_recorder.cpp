#include <gtest/gtest.h>

#include <cmath>

#include "results/result_recorder.h"
#include "results/table_operations.h"
#include "results/verdict.h"
#include "support/sim_frames.h"

namespace orvana::results {
namespace {

using testing::DualResult;
using testing::ResultFrame;

constexpr common::LocalTime kNoon{2017, 5, 3, 12, 34, 56};

class RecorderTest : public ::testing::Test {
 protected:
  std::optional<RecordedRow> Record(const protocol::Frame& frame, const std::string& serial = "") {
    return recorder.Record(MeasurementResult::Decode(frame), serial, settings, kNoon);
  }

  std::array<std::optional<Rgb>, 4> ValueColors(int row) const {
    return {table.CellTextColor(row, Column::Value1), table.CellTextColor(row, Column::Value2),
            table.CellTextColor(row, Column::Value3), table.CellTextColor(row, Column::Value4)};
  }

  std::array<std::string, 4> ValueTexts(int row) const {
    return {table.Text(row, Column::Value1), table.Text(row, Column::Value2),
            table.Text(row, Column::Value3), table.Text(row, Column::Value4)};
  }

  ResultsTable table;
  ResultRecorder recorder{table};
  TestSettings settings = TestSettings::StartValues();
};

using Colors = std::array<std::optional<Rgb>, 4>;
using Texts = std::array<std::string, 4>;

TEST_F(RecorderTest, DualResultIsJudgedColouredAndStamped) {
  const auto recorded = Record(DualResult(-0.21f, 56.3f, -0.35f, 54.0f), "A17050301");
  ASSERT_TRUE(recorded);
  ASSERT_EQ(table.RowCount(), 1);
  EXPECT_EQ(recorded->row, 0);
  EXPECT_EQ(recorder.CurrentRow(), 0);
  EXPECT_EQ(table.Text(0, Column::Serial), "A17050301");
  EXPECT_EQ(ValueTexts(0), (Texts{"-0.21", "56.3", "-0.35", "54.0"}));
  EXPECT_EQ(ValueColors(0), (Colors{COLOR_PASS_LATEST, COLOR_PASS_LATEST, COLOR_FAIL, COLOR_FAIL}));
  EXPECT_EQ(table.Text(0, Column::Time), "2017/05/03 12:34:56");
  EXPECT_EQ(table.Text(0, Column::Extra), "");
  EXPECT_EQ(recorded->serial, "A17050301");
  EXPECT_EQ(recorded->texts, (Texts{"-0.21", "56.3", "-0.35", "54.0"}));
  EXPECT_EQ(recorded->timeText, "2017/05/03 12:34:56");
}

TEST_F(RecorderTest, UnrecordedResultTouchesNothing) {
  Record(DualResult(-0.1f, 60, -0.1f, 60));
  EXPECT_FALSE(Record(DualResult(-0.9f, 40, -0.9f, 40, false)));
  EXPECT_EQ(table.RowCount(), 1);
  EXPECT_EQ(ValueColors(0)[0], COLOR_PASS_LATEST) << "not recoloured either";
}

TEST_F(RecorderTest, EmptySerialIsStars) {
  EXPECT_EQ(Record(DualResult(0, 60, 0, 60))->serial, "****");
  EXPECT_EQ(table.Text(0, Column::Serial), "****");
  // Taken as it is, spaces and all.
  EXPECT_EQ(Record(DualResult(0, 60, 0, 60), " A 1 ")->serial, " A 1 ");
}

TEST_F(RecorderTest, EqualToThresholdPassesAndNotANumberFails) {
  Record(DualResult(-0.3f, 55.0f, std::nanf(""), std::nanf("")));
  EXPECT_EQ(ValueColors(0), (Colors{COLOR_PASS_LATEST, COLOR_PASS_LATEST, COLOR_FAIL, COLOR_FAIL}));
  // The NaN stays red when the row is recoloured as an older row.
  Record(DualResult(0, 60, 0, 60));
  EXPECT_EQ(ValueColors(0), (Colors{COLOR_PASS, COLOR_PASS, COLOR_FAIL, COLOR_FAIL}));
}

TEST_F(RecorderTest, NewThresholdsJudgeOnlyTheNextResult) {
  Record(DualResult(-0.2f, 56, -0.2f, 56));
  settings.ilThreshold1 = -0.1f;
  Record(DualResult(-0.2f, 56, -0.2f, 56));
  EXPECT_EQ(ValueColors(0)[0], COLOR_PASS);
  EXPECT_EQ(ValueColors(1)[0], COLOR_FAIL);
}

TEST_F(RecorderTest, SingleWavelengthRowsAreJudgedOnTheirMapping) {
  // IL in D, RL in B; value 1 of a second-wavelength result is judged on A,
  // which nothing shows.
  // The part's verdict is of what was measured: the hidden value's fail is
  // not the part's.
  EXPECT_EQ(Record(ResultFrame({false, 5, -9.0f, 57.0f, 0, -0.12f}))->verdict, OUTCOME_PASS);
  EXPECT_EQ(ValueTexts(0), (Texts{"", "", "-0.12", "57.0"}));
  EXPECT_EQ(ValueColors(0),
            (Colors{COLOR_FAIL, COLOR_PASS_LATEST, COLOR_PASS_LATEST, COLOR_PASS_LATEST}));
  EXPECT_EQ(Record(ResultFrame({false, 1, 0, 50.0f, 0, -0.12f}))->verdict, OUTCOME_FAIL);
  EXPECT_EQ(ValueTexts(1), (Texts{"-0.12", "50.0", "", ""}));
  EXPECT_EQ(ValueColors(1), (Colors{COLOR_PASS_LATEST, COLOR_FAIL, COLOR_PASS_LATEST, COLOR_FAIL}));
  // The table's rows carry the same verdicts, after the recolouring too.
  EXPECT_EQ(RowVerdict(table, 0), OUTCOME_PASS);
  EXPECT_EQ(RowVerdict(table, 1), OUTCOME_FAIL);
  table.AppendRow("imported");
  EXPECT_EQ(RowVerdict(table, 2), OUTCOME_NONE) << "a row nobody judged has no verdict";
}

TEST_F(RecorderTest, NextResultTurnsThePreviousRowsPassesOlder) {
  Record(DualResult(-0.21f, 56.3f, -0.35f, 54.0f));
  table.SetText(0, Column::Value1, "edited");
  Record(DualResult(-0.1f, 60, -0.1f, 60));
  ASSERT_EQ(table.RowCount(), 2);
  EXPECT_EQ(ValueColors(0), (Colors{COLOR_PASS, COLOR_PASS, COLOR_FAIL, COLOR_FAIL}));
  EXPECT_EQ(ValueTexts(0), (Texts{"-0.21", "56.3", "-0.35", "54.0"})) << "texts rewritten";
  EXPECT_EQ(ValueColors(1),
            (Colors{COLOR_PASS_LATEST, COLOR_PASS_LATEST, COLOR_PASS_LATEST, COLOR_PASS_LATEST}));
  EXPECT_EQ(recorder.CurrentRow(), 1);
}

TEST_F(RecorderTest, BlankedRowIsNotRecoloured) {
  Record(DualResult(-0.1f, 60, -0.1f, 60));
  BlankRow(table, 0);
  Record(DualResult(-0.1f, 60, -0.1f, 60));
  EXPECT_EQ(ValueTexts(0), (Texts{" ", " ", " ", " "}));
  EXPECT_EQ(ValueColors(0)[0], COLOR_PASS_LATEST) << "left as it was";
  // The row after it is recoloured normally once the next result comes.
  Record(DualResult(-0.1f, 60, -0.1f, 60));
  EXPECT_EQ(ValueColors(1)[0], COLOR_PASS);
}

TEST_F(RecorderTest, ClearThenApplyThenResultLeavesTheWavelengthRowAlone) {
  ApplySettings(table, settings);
  Record(DualResult(-0.21f, 56.3f, -0.35f, 54.0f));
  ClearTable(table);
  recorder.ForgetPending();
  recorder.SetCurrentRow(ApplySettings(table, settings));
  Record(DualResult(-0.1f, 60, -0.1f, 60));
  ASSERT_EQ(table.RowCount(), 2);
  EXPECT_EQ(ValueTexts(0), (Texts{"1310nm", "1310nm", "1625nm", "1625nm"}));
  EXPECT_EQ(ValueColors(0), (Colors{}));
}

TEST_F(RecorderTest, ClearedRowIsNeverRecolouredEvenWithoutBeingTold) {
  Record(DualResult(-0.21f, 56.3f, -0.35f, 54.0f));
  ClearTable(table);
  ApplySettings(table, settings);
  Record(DualResult(-0.1f, 60, -0.1f, 60));
  EXPECT_EQ(ValueTexts(0), (Texts{"1310nm", "1310nm", "1625nm", "1625nm"}));
  EXPECT_EQ(ValueColors(0), (Colors{}));
}

TEST_F(RecorderTest, RowsAddedAfterTheResultDoNotTakeItsRecolouring) {
  Record(DualResult(-0.21f, 56.3f, -0.35f, 54.0f));
  // An uploaded event row below the result, and imported rows above it.
  const int event = table.AppendRow("1--0");
  table.SetText(event, Column::Value1, "1234");
  table.InsertRows(0, {RowTexts{"imported"}});
  Record(DualResult(-0.1f, 60, -0.1f, 60));
  ASSERT_EQ(table.RowCount(), 4);
  EXPECT_EQ(ValueColors(1), (Colors{COLOR_PASS, COLOR_PASS, COLOR_FAIL, COLOR_FAIL}));
  EXPECT_EQ(table.Text(2, Column::Value1), "1234");
  EXPECT_EQ(ValueColors(2), (Colors{}));
  EXPECT_EQ(ValueColors(0), (Colors{}));
  EXPECT_EQ(recorder.CurrentRow(), 3);
}

TEST(Timestamp, ZeroPaddedDateAndTime) {
  EXPECT_EQ(FormatTimestamp({2017, 5, 3, 12, 34, 56}), "2017/05/03 12:34:56");
  EXPECT_EQ(FormatTimestamp({2024, 12, 31, 0, 0, 5}), "2024/12/31 00:00:05");
}

}  // namespace
}  // namespace orvana::results
