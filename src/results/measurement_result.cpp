#include "results/measurement_result.h"

#include <charconv>
#include <system_error>

namespace orvana::results {
namespace {

// Frame positions of the result payload.
constexpr size_t kDualAt = 3;
constexpr size_t kWavelengthCodeAt = 4;
constexpr size_t kRawAAt = 5;
constexpr size_t kRawBAt = 9;
constexpr size_t kRawCAt = 13;
constexpr size_t kRawDAt = 17;
constexpr size_t kRecordAt = 21;

// Fixed notation with `decimals` places, exactly as glibc's printf "%.Nf"
// writes it, without printf's cost on every result. The texts of a NaN and an
// infinity ("nan", "-nan", "inf", "-inf") are the standard library's own, not
// the C library's, so a log reads the same on every platform.
std::string Format(int decimals, float value) {
  char text[64];
  const auto [end, error] = std::to_chars(text, text + sizeof text, static_cast<double>(value),
                                          std::chars_format::fixed, decimals);
  // Huge magnitudes print longer than the buffer; nothing real comes close.
  if (error != std::errc()) return {};
  return std::string(text, end);
}

}  // namespace

std::string FormatIl(float value) { return Format(2, value); }
std::string FormatRl(float value) { return Format(1, value); }

Outcome Judge(float value, float threshold) {
  return value >= threshold ? OUTCOME_PASS : OUTCOME_FAIL;
}

MeasurementResult MeasurementResult::Decode(const protocol::Frame& frame) {
  MeasurementResult result;
  result.dual = frame.At(kDualAt) != 0;
  result.wavelengthCode = frame.At(kWavelengthCodeAt);
  result.rawA = frame.FloatAt(kRawAAt);
  result.rawB = frame.FloatAt(kRawBAt);
  result.rawC = frame.FloatAt(kRawCAt);
  result.rawD = frame.FloatAt(kRawDAt);
  result.record = frame.At(kRecordAt) != 0;

  const float a = result.rawA;
  const float b = result.rawB;
  const float c = result.rawC;
  const float d = result.rawD;
  // A single-wavelength result carries its IL in D and its RL in B, whichever
  // wavelength it was measured at.
  if (result.dual) {
    result.texts = {FormatIl(a), FormatRl(b), FormatIl(c), FormatRl(d)};
    result.judged = {a, b, c, d};
  } else if (result.wavelengthCode == kSecondWavelengthCode) {
    result.texts = {"", "", FormatIl(d), FormatRl(b)};
    result.judged = {a, b, d, b};
  } else {
    result.texts = {FormatIl(d), FormatRl(b), "", ""};
    result.judged = {d, b, d, b};
  }
  return result;
}

}  // namespace orvana::results
