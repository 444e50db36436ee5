#include "protocol/device_actions.h"

#include <cstdio>

namespace orvana::protocol {
namespace {

constexpr uint8_t kLossEvent = 2;

const char* Pad(int value) { return value < 10 ? "0" : ""; }

std::string Decimal(long value) { return std::to_string(value); }

std::string OneDecimal(float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(value));
  return text;
}

}  // namespace

std::string FormatRecordDate(const Frame& header) {
  // Numbers below ten get a leading zero ("200" for the year); anything the
  // meter should never send (negative, above 99) is written as it comes
  // rather than guessed at.
  const int year = header.SignedAt(4);
  char text[64];
  std::snprintf(text, sizeof text, "%s%d-%s%d-%s%d %s%d:%s%d ", year < 10 ? "200" : "20", year,
                Pad(header.SignedAt(5)), header.SignedAt(5), Pad(header.SignedAt(6)),
                header.SignedAt(6), Pad(header.SignedAt(7)), header.SignedAt(7),
                Pad(header.SignedAt(8)), header.SignedAt(8));
  return text;
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
