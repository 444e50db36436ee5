#include "results/settings_input.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "results/settings_record.h"

namespace orvana::results {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Counts the digits at `pos` and moves past them.
size_t SkipDigits(std::string_view text, size_t& pos) {
  const size_t start = pos;
  while (pos < text.size() && IsDigit(text[pos])) ++pos;
  return pos - start;
}

// [sign] (digits [. digits] | . digits) [(e|E) [sign] digits], nothing more.
// from_chars alone would take "nan", "inf" and hexadecimal forms.
bool IsDecimalNumber(std::string_view text) {
  size_t pos = 0;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
  size_t mantissaDigits = SkipDigits(text, pos);
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    mantissaDigits += SkipDigits(text, pos);
  }
  if (mantissaDigits == 0) return false;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    if (SkipDigits(text, pos) == 0) return false;
  }
  return pos == text.size();
}

bool IsValidIndex(int index) { return PortCountAt(index).has_value(); }

}  // namespace

std::string FormatThreshold(float value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                    std::chars_format::general, 6);
  return std::string(buffer, result.ptr);
}

std::optional<float> ParseThreshold(std::string_view text) {
  text = Trim(text);
  if (!IsDecimalNumber(text)) return std::nullopt;
  // from_chars takes a minus sign but no plus sign.
  if (text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) {
    return std::nullopt;
  }
  return static_cast<float>(value);
}

PortIndices ResolvePortIndices(int selectedA, int selectedB) {
  int a = IsValidIndex(selectedA) ? selectedA : 0;
  int b = IsValidIndex(selectedB) ? selectedB : 0;
  if (a == 0) {
    a = b;
    b = 0;
  }
  if (a == 0) a = 1;
  return {a, b};
}

}  // namespace orvana::results
