#include <gtest/gtest.h>

#include <string>

#include "results/settings_input.h"

namespace orvana::results {
namespace {

TEST(ThresholdText, ShowsShortestGeneralNotationWithSixDigits) {
  EXPECT_EQ(FormatThreshold(-0.3f), "-0.3") << "the float is -0.300000012";
  EXPECT_EQ(FormatThreshold(55.0f), "55");
  EXPECT_EQ(FormatThreshold(0.0f), "0");
  EXPECT_EQ(FormatThreshold(123456789.0f), "1.23457e+08");
  EXPECT_EQ(FormatThreshold(0.00001f), "1e-05");
  EXPECT_EQ(FormatThreshold(-12.3456789f), "-12.3457");
}

TEST(ThresholdText, ReadsWhatAUserTypesAsANumber) {
  const std::pair<const char*, float> accepted[] = {
      {"-0.3", -0.3f},   {"  55  ", 55.0f}, {"\t-0.25\t", -0.25f}, {"+1.5", 1.5f},
      {"1.", 1.0f},      {".5", 0.5f},      {"-.5", -0.5f},        {"1e2", 100.0f},
      {"2.5E-1", 0.25f}, {"-3e+1", -30.0f}, {"007", 7.0f},
  };
  for (const auto& [text, value] : accepted) {
    const auto parsed = ParseThreshold(text);
    ASSERT_TRUE(parsed.has_value()) << '"' << text << '"';
    EXPECT_EQ(*parsed, value) << '"' << text << '"';
  }
  // What the edit shows reads back as the same float.
  for (const float value : {-0.3f, 55.0f, 0.00001f, -12.3457f}) {
    EXPECT_EQ(ParseThreshold(FormatThreshold(value)), value) << FormatThreshold(value);
  }
}

TEST(ThresholdText, RefusesEverythingElse) {
  for (const char* text :
       {"",         "   ", "abc",  "1.5x", "nan",   "NaN",  "-nan",  "inf",   "-inf",
        "infinity", "1,5", "0x10", "1e",   "1e+",   "e5",   ".",     "+",     "-",
        "--1",      "+-1", "1 2",  "1..2", "1e2.5", "1e39", "-1e39", "1e400", "５"}) {
    EXPECT_FALSE(ParseThreshold(text).has_value()) << '"' << text << '"';
  }
}

TEST(PortCountRule, SideANeverEndsAtZero) {
  EXPECT_EQ(ResolvePortIndices(0, 0), (PortIndices{1, 0}));
  EXPECT_EQ(ResolvePortIndices(0, 3), (PortIndices{3, 0})) << "B's \"4\" moves to A";
  EXPECT_EQ(ResolvePortIndices(2, 0), (PortIndices{2, 0}));
  EXPECT_EQ(ResolvePortIndices(1, 1), (PortIndices{1, 1}));
  EXPECT_EQ(ResolvePortIndices(10, 10), (PortIndices{10, 10}));
  // No selection (-1) or an index past the list stores an item of the list.
  EXPECT_EQ(ResolvePortIndices(-1, 4), (PortIndices{4, 0}));
  EXPECT_EQ(ResolvePortIndices(11, -1), (PortIndices{1, 0}));
}

}  // namespace
}  // namespace orvana::results
