#include "results/time_text.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace orvana::results {
namespace {

// `count` digits from `text` at `at`, or -1.
int DigitsAt(std::string_view text, size_t at, size_t count) {
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

int DaysInMonth(int year, int month) {
  static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[static_cast<size_t>(month - 1)];
}

}  // namespace

std::string FormatTimestamp(const common::LocalTime& time) {
  char text[64];
  const int length = std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", time.year,
                                   time.month, time.day, time.hour, time.minute, time.second);
  if (length <= 0) return {};
  return std::string(text, std::min(static_cast<size_t>(length), sizeof text - 1));
}

std::optional<common::LocalTime> ParseTimestamp(std::string_view text) {
  if (text.size() != 19 || text[4] != '/' || text[7] != '/' || text[10] != ' ' || text[13] != ':' ||
      text[16] != ':') {
    return std::nullopt;
  }
  common::LocalTime time;
  time.year = DigitsAt(text, 0, 4);
  time.month = DigitsAt(text, 5, 2);
  time.day = DigitsAt(text, 8, 2);
  time.hour = DigitsAt(text, 11, 2);
  time.minute = DigitsAt(text, 14, 2);
  time.second = DigitsAt(text, 17, 2);
  const bool real = time.year > 1900 && time.month >= 1 && time.month <= 12 && time.day >= 1 &&
                    time.day <= DaysInMonth(time.year, time.month) && time.hour >= 0 &&
                    time.hour <= 23 && time.minute >= 0 && time.minute <= 59 && time.second >= 0 &&
                    time.second <= 59;
  if (!real) return std::nullopt;
  return time;
}

}  // namespace orvana::results
