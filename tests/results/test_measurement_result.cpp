#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <utility>
#include <vector>

#include "results/colors.h"
#include "results/measurement_result.h"
#include "results/settings_record.h"
#include "support/sim_frames.h"

namespace orvana::results {
namespace {

using testing::DualResult;
using testing::ResultFrame;

using Texts = std::array<std::string, 4>;

TEST(DecodeResult, DualResultKeepsColumnOrderAndDecimals) {
  const auto result = MeasurementResult::Decode(DualResult(-0.21f, 56.3f, -0.35f, 54.0f));
  EXPECT_TRUE(result.dual);
  EXPECT_TRUE(result.record);
  EXPECT_EQ(result.texts, (Texts{"-0.21", "56.3", "-0.35", "54.0"}));
  EXPECT_EQ(result.judged, (std::array<float, 4>{-0.21f, 56.3f, -0.35f, 54.0f}));
}

TEST(DecodeResult, SecondWavelengthOnlyFillsTheRightHalf) {
  const auto result = MeasurementResult::Decode(ResultFrame({false, 5, 1.5f, 57.0f, 9.0f, -0.12f}));
  EXPECT_EQ(result.texts, (Texts{"", "", "-0.12", "57.0"}));
  // Value 1 is judged on A even though nothing shows it.
  EXPECT_EQ(result.judged, (std::array<float, 4>{1.5f, 57.0f, -0.12f, 57.0f}));
}

TEST(DecodeResult, AnyOtherCodeIsTheFirstWavelength) {
  for (uint8_t code : std::array<uint8_t, 5>{0, 1, 4, 6, 255}) {
    const auto result =
        MeasurementResult::Decode(ResultFrame({false, code, 1.5f, 57.0f, 9.0f, -0.12f}));
    EXPECT_EQ(result.texts, (Texts{"-0.12", "57.0", "", ""})) << "code " << int{code};
    EXPECT_EQ(result.judged, (std::array<float, 4>{-0.12f, 57.0f, -0.12f, 57.0f}));
  }
}

TEST(DecodeResult, RecordFlagAndDualAreAnyNonZeroByte) {
  auto frame = DualResult(0, 0, 0, 0, false);
  EXPECT_FALSE(MeasurementResult::Decode(frame).record);
  frame.bytes[21] = 0x80;
  frame.bytes[3] = 0x02;
  const auto result = MeasurementResult::Decode(frame);
  EXPECT_TRUE(result.record);
  EXPECT_TRUE(result.dual);
}

TEST(FormatValues, PrintsTheStoredFloatNotTheTypedNumber) {
  EXPECT_EQ(FormatIl(-0.3f), "-0.30");
  EXPECT_EQ(FormatRl(55.0f), "55.0");
  // Rounded from the stored value: 1.005f is 1.00499999..., 0.115f is
  // 0.11500000208...
  EXPECT_EQ(FormatIl(1.005f), "1.00");
  EXPECT_EQ(FormatIl(0.115f), "0.12");
  // The widest float still prints whole.
  const std::string widest = FormatRl(-std::numeric_limits<float>::max());
  EXPECT_EQ(widest.substr(0, 8), "-3402823");
  EXPECT_EQ(widest.substr(widest.size() - 2), ".0");
}

// Stored logs and reports hold these texts, so they must stay exactly what
// glibc's printf "%.2f" and "%.1f" wrote: every rounding tie, nan, inf and
// -0. The texts that are not numbers are spelt out: C libraries differ there
// (another one writes a negative NaN "nan"), and a log must read the same
// whichever platform wrote it.
TEST(FormatValues, WriteExactlyWhatPrintfWrote) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (const auto& [value, text] : {std::pair{nan, "nan"}, std::pair{-nan, "-nan"},
                                    std::pair{inf, "inf"}, std::pair{-inf, "-inf"}}) {
    EXPECT_EQ(FormatIl(value), text);
    EXPECT_EQ(FormatRl(value), text);
  }
  std::vector<float> values = {0.0f, -0.0f, 0.005f, -0.125f, 0.375f, 2.675f, 1e-7f, 99.95f};
  uint32_t bits = 12345;
  for (int i = 0; i < 20000; ++i) {
    bits = bits * 1664525u + 1013904223u;  // every exponent, every sign
    if (const float any = std::bit_cast<float>(bits); std::isfinite(any)) values.push_back(any);
    values.push_back(static_cast<float>(static_cast<int>(bits % 20001) - 10000) / 1000.0f);
  }
  for (const float value : values) {
    char il[64];
    char rl[64];
    std::snprintf(il, sizeof il, "%.2f", static_cast<double>(value));
    std::snprintf(rl, sizeof rl, "%.1f", static_cast<double>(value));
    ASSERT_EQ(FormatIl(value), il) << std::bit_cast<uint32_t>(value);
    ASSERT_EQ(FormatRl(value), rl) << std::bit_cast<uint32_t>(value);
  }
}

TEST(JudgeValue, BelowFailsEqualAndAbovePass) {
  EXPECT_EQ(Judge(-0.5f, -0.3f), OUTCOME_FAIL);
  EXPECT_EQ(Judge(-0.2f, -0.3f), OUTCOME_PASS);
  EXPECT_EQ(Judge(55.0f, 55.0f), OUTCOME_PASS);
  EXPECT_EQ(Judge(50.0f, 55.0f), OUTCOME_FAIL);
  EXPECT_EQ(Judge(60.0f, 55.0f), OUTCOME_PASS);
  // The stored threshold is the float nearest -0.3; the same float passes.
  EXPECT_EQ(Judge(std::bit_cast<float>(0xBE99999Au), -0.3f), OUTCOME_PASS);
}

TEST(JudgeValue, ValueThatIsNotANumberFails) {
  EXPECT_EQ(Judge(std::nanf(""), -0.3f), OUTCOME_FAIL);
  EXPECT_EQ(Judge(-std::nanf(""), 55.0f), OUTCOME_FAIL);
  EXPECT_EQ(Judge(-std::numeric_limits<float>::infinity(), -0.3f), OUTCOME_FAIL);
  EXPECT_EQ(Judge(std::numeric_limits<float>::infinity(), 55.0f), OUTCOME_PASS);
}

TEST(TestSettingsRecord, StartValuesAreTheMetersDefaults) {
  const TestSettings settings = TestSettings::StartValues();
  EXPECT_EQ(std::bit_cast<uint32_t>(settings.ilThreshold1), 0xBE99999Au);
  EXPECT_EQ(std::bit_cast<uint32_t>(settings.rlThreshold1), 0x425C0000u);
  EXPECT_EQ(std::bit_cast<uint32_t>(settings.ilThreshold2), 0xBE99999Au);
  EXPECT_EQ(std::bit_cast<uint32_t>(settings.rlThreshold2), 0x425C0000u);
  EXPECT_FALSE(settings.multiMode);
  EXPECT_EQ(settings.portIndexA, 1);
  EXPECT_EQ(settings.portIndexB, 1);
  EXPECT_TRUE(settings.deviceName.empty());
  EXPECT_NE(settings, TestSettings{}) << "a fresh record is all zero until start-up";
}

TEST(TestSettingsRecord, PortCountsAndWavelengthNames) {
  EXPECT_EQ(PortCountAt(0), 0);
  EXPECT_EQ(PortCountAt(3), 4);
  EXPECT_EQ(PortCountAt(10), 64);
  EXPECT_EQ(PortCountAt(11), std::nullopt);
  EXPECT_EQ(PortCountAt(-1), std::nullopt);
  EXPECT_EQ(WavelengthNamesFor(false).first, "1310nm");
  EXPECT_EQ(WavelengthNamesFor(false).second, "1625nm");
  EXPECT_EQ(WavelengthNamesFor(true).first, "850nm");
  EXPECT_EQ(WavelengthNamesFor(true).second, "1300nm");
}

TEST(ResultColors, HexTextAndValues) {
  EXPECT_EQ(COLOR_FAIL.Hex(), "#FF0000");
  EXPECT_EQ(COLOR_PASS_LATEST.Hex(), "#66FFFF");
  EXPECT_EQ(COLOR_PASS.Hex(), "#33CC33");
  EXPECT_EQ((Rgb{0x0A, 0xB0, 0x01}).Hex(), "#0AB001");
  EXPECT_NE(COLOR_PASS, COLOR_PASS_LATEST);
}

}  // namespace
}  // namespace orvana::results
