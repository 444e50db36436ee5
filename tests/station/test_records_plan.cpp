#include <gtest/gtest.h>

#include <string>

#include "station/records_plan.h"

namespace orvana::station {
namespace {

using Step = RecordsPlan::Step;
using namespace std::chrono_literals;

const RecordsPlan::Clock::time_point kStart{std::chrono::seconds(100)};

TEST(RecordsPlan, WithBothTheEraseWaitsForTheUploadsRecordsToStopForASecond) {
  RecordsPlan plan(true, true);
  // Nothing goes to a meter that has not answered, and that is the reason.
  EXPECT_EQ(plan.Next(false, 0, kStart), Step::None);
  EXPECT_EQ(std::string(plan.EraseNotSentReason(false)), "the meter never answered");

  EXPECT_EQ(plan.Next(true, 0, kStart), Step::Upload);
  EXPECT_EQ(plan.Next(true, 0, kStart + 999ms), Step::None);
  // A record arriving at 0.9 s starts the quiet again.
  EXPECT_EQ(plan.Next(true, 3, kStart + 900ms), Step::None);
  EXPECT_EQ(plan.DueAt(true), kStart + 1900ms);
  EXPECT_EQ(plan.Next(true, 3, kStart + 1899ms), Step::None);
  EXPECT_EQ(std::string(plan.EraseNotSentReason(true)),
            "the upload's records were still arriving");
  EXPECT_EQ(plan.Next(true, 3, kStart + 1900ms), Step::Erase);
  // Once, and then nothing waits.
  EXPECT_EQ(plan.Next(true, 3, kStart + 5s), Step::None);
  EXPECT_EQ(plan.DueAt(true), RecordsPlan::Clock::time_point::max());
  EXPECT_EQ(plan.EraseNotSentReason(true), nullptr);
}

TEST(RecordsPlan, AnEraseAloneGoesAtOnceAndAnUploadAloneNeverErases) {
  RecordsPlan erase(false, true);
  EXPECT_EQ(erase.Next(true, 0, kStart), Step::Erase);
  EXPECT_TRUE(erase.EraseWanted());

  RecordsPlan upload(true, false);
  EXPECT_EQ(upload.Next(true, 0, kStart), Step::Upload);
  EXPECT_EQ(upload.Next(true, 0, kStart + 10s), Step::None);
  EXPECT_FALSE(upload.EraseWanted());
  EXPECT_EQ(upload.EraseNotSentReason(true), nullptr);
}

}  // namespace
}  // namespace orvana::station
