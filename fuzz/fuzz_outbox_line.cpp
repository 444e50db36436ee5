// Arbitrary fields through the outbox line's parser. The input is taken as a
// line's fields and given its correct check, so the parser's every field is
// reached (random bytes would almost never pass the check). A line it takes
// must be one the writer could have written: formatted again it holds no line
// end and parses to the same result, and every text is UTF-8 without NUL.
// The same holds for an uploaded event's line, read by its own parser.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/utf8.h"
#include "store/outbox_line.h"

namespace {

using orvana::store::StoredResult;

bool SameNumber(const std::optional<float>& a, const std::optional<float>& b) {
  if (a.has_value() != b.has_value()) return false;
  if (!a) return true;
  return (std::isnan(*a) && std::isnan(*b)) || *a == *b;
}

bool Same(const StoredResult& a, const StoredResult& b) {
  for (size_t k = 0; k < 4; ++k) {
    if (!SameNumber(a.values[k], b.values[k]) || !SameNumber(a.thresholds[k], b.thresholds[k])) {
      return false;
    }
  }
  StoredResult x = a, y = b;
  x.values = y.values = {};
  x.thresholds = y.thresholds = {};
  return x == y;
}

bool IsStorable(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const auto c = orvana::common::DecodeUtf8(text, at);
    if (!c.valid || c.codePoint == 0) return false;
    at += c.length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  line += '\t';
  line += orvana::store::OutboxLineCheck(std::string_view(line).substr(0, size));
  if (const auto event = orvana::store::ParseOutboxEventLine(line)) {
    if (!IsStorable(event->key) || !IsStorable(event->bench) || !IsStorable(event->recordDate)) {
      std::abort();
    }
    for (const std::string& cell : event->cells) {
      if (!IsStorable(cell)) std::abort();
    }
    const std::string again = orvana::store::FormatOutboxEventLine(*event);
    if (again.find_first_of(std::string("\n\r\0", 3)) != std::string::npos) std::abort();
    const auto back = orvana::store::ParseOutboxEventLine(again);
    if (!back || *back != *event) std::abort();
  }
  const auto result = orvana::store::ParseOutboxLine(line);
  if (!result) return 0;
  for (const std::string* text :
       {&result->key, &result->bench, &result->serial, &result->timeText, &result->deviceName,
        &result->productNumber, &result->orderNumber, &result->texts[0], &result->texts[3]}) {
    if (!IsStorable(*text)) std::abort();
  }
  const std::string again = orvana::store::FormatOutboxLine(*result);
  if (again.find_first_of(std::string("\n\r\0", 3)) != std::string::npos) std::abort();
  const auto back = orvana::store::ParseOutboxLine(again);
  if (!back || !Same(*back, *result)) std::abort();
  return 0;
}
