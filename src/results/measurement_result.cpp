#include "results/measurement_result.h"

#include <algorithm>
#include <cstdio>

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

std::string Format(const char* format, float value) {
  char text[64];
  const int length = std::snprintf(text, sizeof text, format, static_cast<double>(value));
  if (length <= 0) return {};
  // Huge magnitudes print longer than the buffer; nothing real comes close.
  return std::string(text, std::min(static_cast<size_t>(length), sizeof text - 1));
}

}  // namespace

std::string FormatIl(float value) { return Format("%.2f", value); }
std::string FormatRl(float value) { return Format("%.1f", value); }

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
