#include <gtest/gtest.h>

#include "results/verdict.h"
#include "station/station_fixture.h"

namespace orvana::testing {
namespace {

using results::OUTCOME_FAIL;
using results::OUTCOME_PASS;

TEST_F(StationTest, TheBenchsCountsAreThoseOfItsRowsAndStartAfreshOnANewDay) {
  MakeBenchStation();
  int fails = 0;
  for (int n = 0; n < 100; ++n) {
    ui.orderEdit = n < 60 ? "ORD-1" : "ORD-2";
    // Every seventh part fails on one value only; every fifth is measured
    // at one wavelength, whose hidden value is judged but is not the part's.
    const bool fail = n % 7 == 3;
    fails += fail;
    if (n % 5 == 0) {
      Feed(sim::BuildResultFrame({false, 5, -9.0f, fail ? 50.0f : 57.0f, 0, -0.12f}));
    } else {
      Feed(DualResultBytes(-0.1f, 56.0f, -0.2f, fail ? 54.9f : 56.0f));
    }
    // Shown but not recorded: no part.
    Feed(DualResultBytes(-0.9f, 40.0f, -0.9f, 40.0f, false));
  }
  ASSERT_EQ(table.RowCount(), 100);
  ASSERT_EQ(ui.parts.size(), 100u);
  int failedRows = 0;
  for (int row = 0; row < table.RowCount(); ++row) failedRows += RowVerdict(table, row) == OUTCOME_FAIL;
  EXPECT_EQ(failedRows, fails);

  const station::BenchCounts& last = ui.parts.back().counts;
  EXPECT_EQ(last.today, (station::PartCounts{100, static_cast<uint64_t>(100 - fails),
                                             static_cast<uint64_t>(fails)}));
  EXPECT_EQ(last.today.YieldPercent(), 86.0) << "86 of 100 passed";
  EXPECT_EQ(last.order, "ORD-2");
  EXPECT_EQ(last.ofOrder.tested, 40u);
  EXPECT_EQ(ui.parts[59].counts.ofOrder.tested, 60u);
  EXPECT_EQ(ui.parts.back().verdict, RowVerdict(table, 99));

  clock.Set(common::LocalTime{2017, 5, 4, 7, 0, 0});
  Feed(DualResultBytes(-0.1f, 56.0f, -0.2f, 56.0f));
  EXPECT_EQ(ui.parts.back().counts.today, (station::PartCounts{1, 1, 0})) << "a new day";
  EXPECT_EQ(ui.parts.back().verdict, OUTCOME_PASS);
}

TEST_F(StationTest, TheBenchTellsASerialReusedAndReadiesTheFieldForTheNextScan) {
  MakeBenchStation();
  ui.serialEdit = "SN-A0003";
  Feed(DualResultBytes(-0.1f, 56.0f, -0.2f, 56.0f));
  const int selections = ui.selections;
  EXPECT_GE(selections, 1) << "the next scan replaces the serial";
  EXPECT_EQ(ui.parts.back().reusedSerial, "");
  Feed(DualResultBytes(-0.1f, 56.0f, -0.2f, 56.0f));
  EXPECT_EQ(ui.parts.back().reusedSerial, "SN-A0003");
  EXPECT_GT(ui.selections, selections);
  ui.serialEdit = "SN-A0004";
  Feed(DualResultBytes(-0.1f, 56.0f, -0.2f, 56.0f));
  EXPECT_EQ(ui.parts.back().reusedSerial, "");
  // Parts without a serial are not one serial reused.
  ui.serialEdit = "";
  Feed(DualResultBytes(-0.1f, 56.0f, -0.2f, 56.0f));
  Feed(DualResultBytes(-0.1f, 56.0f, -0.2f, 56.0f));
  EXPECT_EQ(ui.parts.back().reusedSerial, "");
}

TEST_F(StationTest, OutsideTheBenchModeNoPartIsToldAndTheFieldIsLeftAlone) {
  ui.serialEdit = "SN-A0003";
  Feed(DualResultBytes(-0.1f, 56.0f, -0.2f, 56.0f));
  Feed(DualResultBytes(-0.1f, 56.0f, -0.2f, 56.0f));
  EXPECT_TRUE(ui.parts.empty());
  EXPECT_EQ(ui.selections, 0);
}

}  // namespace
}  // namespace orvana::testing
