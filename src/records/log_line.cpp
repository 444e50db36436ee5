#include "records/log_line.h"

#include <charconv>
#include <cstdio>
#include <filesystem>

#include "common/utf8.h"
#include "results/time_text.h"

namespace orvana::records {
namespace {

// Serial, four values, time.
constexpr size_t kFieldCount = 6;
// A double holds this many decimal digits exactly.
constexpr size_t kExactDigits = 15;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

size_t CountSeparators(std::string_view line) {
  size_t count = 0;
  for (size_t at = line.find(kFieldSeparator); at != std::string_view::npos;
       at = line.find(kFieldSeparator, at + kFieldSeparator.size())) {
    ++count;
  }
  return count;
}

// Cuts `line` into fields and hands each to emit(index, text); returns the
// number of fields.
template <typename Emit>
size_t Split(std::string_view line, Emit&& emit) {
  line = LineContent(line);
  if (line.empty()) return 0;
  if (CountSeparators(line) >= kFieldCount - 1) {
    // The value texts and the time never start or end with a space, so the
    // rightmost separator always ends the field before them; a serial with
    // spaces, even three in a row, stays whole on the left.
    for (size_t field = kFieldCount - 1; field > 0; --field) {
      const size_t at = line.rfind(kFieldSeparator);
      if (at == std::string_view::npos) break;  // cannot happen after the count
      emit(field, line.substr(at + kFieldSeparator.size()));
      line = line.substr(0, at);
    }
    emit(0, line);
    return kFieldCount;
  }
  size_t count = 0;
  while (true) {
    const size_t at = line.find(kFieldSeparator);
    emit(count++, line.substr(0, at));
    if (at == std::string_view::npos) return count;
    line = line.substr(at + kFieldSeparator.size());
  }
}

}  // namespace

std::string LoggedSerial(const std::string& serial) {
  std::string stored(common::CutAtCharacter(serial, kLongestLogSerial));
  for (char& c : stored) {
    if (c == '\n' || c == '\0') c = ' ';
  }
  return stored;
}

std::string FormatLogLine(const std::string& serial, const std::array<std::string, 4>& texts,
                          const std::string& timeText) {
  std::string line = LoggedSerial(serial);
  for (const std::string& text : texts) {
    line += kFieldSeparator;
    line += common::CutAtCharacter(text, kLongestLogValue);
  }
  line += kFieldSeparator;
  line += common::CutAtCharacter(timeText, kLongestLogValue);
  return line;
}

std::string_view LineContent(std::string_view line) {
  while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.find_first_not_of(" \t") == std::string_view::npos) return {};
  return line;
}

size_t SplitLineFields(std::string_view line, RowFields& fields) {
  fields.fill({});
  return Split(line, [&](size_t index, std::string_view text) {
    if (index < fields.size()) fields[index] = text;
  });
}

bool IsDamagedLine(const RowFields& fields, size_t count) {
  if (count < kFieldCount) return true;
  return !results::ParseTimestamp(fields[results::ColumnIndex(results::Column::Time)]);
}

std::optional<DecimalValue> ParseDecimalText(std::string_view text) {
  size_t at = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++at;
  const size_t integerStart = at;
  while (at < text.size() && IsDigit(text[at])) ++at;
  const size_t integerDigits = at - integerStart;
  if (integerDigits == 0) return std::nullopt;
  // "007" would lose its zeros as a number.
  if (integerDigits > 1 && text[integerStart] == '0') return std::nullopt;
  size_t decimals = 0;
  if (at < text.size() && text[at] == '.') {
    ++at;
    const size_t decimalStart = at;
    while (at < text.size() && IsDigit(text[at])) ++at;
    decimals = at - decimalStart;
    if (decimals == 0) return std::nullopt;
  }
  if (at != text.size()) return std::nullopt;
  // Leading zeros of "0.000123" are not significant, but counting them keeps
  // the rule simple and errs towards text.
  if (integerDigits + decimals > kExactDigits) return std::nullopt;

  double number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  DecimalValue value;
  value.decimals = static_cast<int>(decimals);
  value.negativeZero = negative && number == 0;
  value.number = value.negativeZero ? 0.0 : number;
  return value;
}

std::string LogFilePath(const std::string& folder, const common::LocalTime& date,
                        std::string_view extension) {
  char name[48];
  std::snprintf(name, sizeof name, "%04d%02d%02d", date.year, date.month, date.day);
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  return path.append(name).append(extension);
}


std::string DayOfLogName(const std::string& path) {
  const std::string stem = std::filesystem::path(path).stem().string();
  return stem.size() == 8 && AllDigits(stem) ? stem : std::string();
}

}  // namespace orvana::records
