#include "protocol/device_actions.h"

#include <cstdio>

namespace orvana::protocol {
namespace {

constexpr uint8_t kLossEvent = 2;

std::string Decimal(long value) { return std::to_string(value); }

std::string OneDecimal(float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(value));
  return text;
}

// Two digits for the small numbers of a date; a value the meter should never
// send (negative, or above 99) is written as it is rather than guessed at.
std::string TwoDigits(int value) { return (value < 10 ? "0" : "") + Decimal(value); }

}  // namespace

std::string FormatRecordDate(const Frame& header) {
  const int year = header.SignedAt(4);
  std::string date = (year < 10 ? "200" : "20") + Decimal(year) + "-";
  date += TwoDigits(header.SignedAt(5)) + "-";
  date += TwoDigits(header.SignedAt(6)) + " ";
  date += TwoDigits(header.SignedAt(7)) + ":";
  date += TwoDigits(header.SignedAt(8)) + " ";
  return date;
}

std::array<std::string, 6> RecordEventCells(uint8_t recordNo, const Frame& event) {
  return {
      Decimal(recordNo) + "--" + Decimal(event.SignedAt(3)),
      Decimal(event.Int16At(4)),
      OneDecimal(event.FloatAt(6)),
      OneDecimal(event.FloatAt(10)),
      OneDecimal(event.FloatAt(14)),
      event.At(18) == kLossEvent ? "Loss" : "Reflect",
  };
}

}  // namespace orvana::protocol
