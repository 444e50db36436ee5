#include "store/outbox_line.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <system_error>
#include <vector>

#include "common/utf8.h"

namespace orvana::store {
namespace {

constexpr std::string_view kVersion = "1";
// An uploaded event's line: key, bench, upload time, record date, six cells.
constexpr std::string_view kEventVersion = "E1";
constexpr size_t kEventFieldCount = 12;
constexpr std::string_view kNull = "\\N";
// Version, key, bench, serial, time text, recorded at, 4 texts, 4 values,
// 4 verdicts, 4 thresholds, wavelengths, device, product, order, check.
constexpr size_t kFieldCount = 27;

// The last field is a check of everything before it (FNV-1a, 8 hex digits):
// a line cut short inside its last text, or changed on the disk, would
// otherwise still read as a result, with a shorter order number.
std::string CheckOf(std::string_view bytes) { return OutboxLineCheck(bytes); }

}  // namespace

std::string OutboxLineCheck(std::string_view bytes) {
  uint32_t hash = 2166136261u;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  char text[9];
  std::snprintf(text, sizeof text, "%08x", hash);
  return text;
}

namespace {

void AppendEscaped(std::string& line, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '\\':
        line += "\\\\";
        break;
      case '\t':
        line += "\\t";
        break;
      case '\n':
        line += "\\n";
        break;
      case '\r':
        line += "\\r";
        break;
      default:
        line += c;
    }
  }
}

void AppendField(std::string& line, std::string_view text) {
  line += '\t';
  AppendEscaped(line, text);
}

void AppendNumber(std::string& line, const std::optional<float>& value) {
  line += '\t';
  line += value ? NumberText(*value) : std::string(kNull);
}

void AppendVerdict(std::string& line, const std::optional<bool>& passed) {
  line += '\t';
  line += passed ? (*passed ? "t" : "f") : kNull;
}

// One field's text with its escapes undone; false for a broken escape or for
// \N, which only a number or a verdict may be.
bool Unescape(std::string_view field, std::string& text) {
  text.clear();
  for (size_t at = 0; at < field.size(); ++at) {
    if (field[at] != '\\') {
      text += field[at];
      continue;
    }
    if (++at == field.size()) return false;
    switch (field[at]) {
      case '\\':
        text += '\\';
        break;
      case 't':
        text += '\t';
        break;
      case 'n':
        text += '\n';
        break;
      case 'r':
        text += '\r';
        break;
      default:
        return false;
    }
  }
  return true;
}

bool ParseNumber(std::string_view field, std::optional<float>& value) {
  if (field == kNull) {
    value.reset();
    return true;
  }
  if (field == "NaN") {
    value = std::nanf("");
    return true;
  }
  if (field == "Infinity" || field == "-Infinity") {
    value = field[0] == '-' ? -INFINITY : INFINITY;
    return true;
  }
  // Only what NumberText writes: no "nan", "inf" or hex in other spellings.
  if (field.empty() || field.find_first_not_of("0123456789.-+e") != std::string_view::npos) {
    return false;
  }
  float number = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), number);
  if (error != std::errc{} || end != field.data() + field.size()) return false;
  value = number;
  return true;
}

bool ParseVerdict(std::string_view field, std::optional<bool>& passed) {
  if (field == kNull) {
    passed.reset();
  } else if (field == "t" || field == "f") {
    passed = field == "t";
  } else {
    return false;
  }
  return true;
}

bool Digits(std::string_view text, size_t at, size_t count) {
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

// "YYYY-MM-DDThh:mm:ss+hh:mm" with digits where digits belong; the database
// checks that the moment exists.
bool IsTimestamp(std::string_view text) {
  return text.size() == 25 && Digits(text, 0, 4) && text[4] == '-' && Digits(text, 5, 2) &&
         text[7] == '-' && Digits(text, 8, 2) && text[10] == 'T' && Digits(text, 11, 2) &&
         text[13] == ':' && Digits(text, 14, 2) && text[16] == ':' && Digits(text, 17, 2) &&
         (text[19] == '+' || text[19] == '-') && Digits(text, 20, 2) && text[22] == ':' &&
         Digits(text, 23, 2);
}

// What the database takes: UTF-8 without NUL.
bool IsStorable(std::string_view text) {
  return common::IsValidUtf8(text) && text.find('\0') == std::string_view::npos;
}

}  // namespace

std::string NumberText(float value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc{} ? std::string(text, end) : std::string("NaN");
}

std::string StorableText(std::string_view text) {
  std::string stored;
  stored.reserve(text.size() < kLongestStoredText ? text.size() : kLongestStoredText);
  for (size_t at = 0; at < text.size();) {
    const common::Utf8Char c = common::DecodeUtf8(text, at);
    const std::string_view bytes = !c.valid           ? common::kUtf8Replacement
                                   : c.codePoint == 0 ? std::string_view(" ")
                                                      : text.substr(at, c.length);
    if (stored.size() + bytes.size() > kLongestStoredText) break;
    stored += bytes;
    at += c.length;
  }
  return stored;
}

namespace {

// The line's tab-separated fields, when there are exactly `count` of them
// and the last checks the others.
std::optional<std::vector<std::string_view>> CheckedFields(std::string_view line, size_t count) {
  std::vector<std::string_view> fields;
  fields.reserve(count);
  for (size_t at = 0;;) {
    const size_t tab = line.find('\t', at);
    fields.push_back(line.substr(at, tab == std::string_view::npos ? line.npos : tab - at));
    if (tab == std::string_view::npos || fields.size() > count) break;
    at = tab + 1;
  }
  if (fields.size() != count) return std::nullopt;
  const std::string_view check = fields.back();
  if (check != CheckOf(line.substr(0, line.size() - check.size() - 1))) return std::nullopt;
  return fields;
}

}  // namespace

std::string FormatOutboxLine(const StoredResult& result) {
  std::string line(kVersion);
  line.reserve(256 + result.serial.size());
  AppendField(line, result.key);
  AppendField(line, result.bench);
  AppendField(line, result.serial);
  AppendField(line, result.timeText);
  AppendField(line, result.recordedAt);
  for (const std::string& text : result.texts) AppendField(line, text);
  for (const auto& value : result.values) AppendNumber(line, value);
  for (const auto& passed : result.passed) AppendVerdict(line, passed);
  for (const auto& threshold : result.thresholds) AppendNumber(line, threshold);
  AppendField(line, result.wavelengths);
  AppendField(line, result.deviceName);
  AppendField(line, result.productNumber);
  AppendField(line, result.orderNumber);
  const std::string check = CheckOf(line);
  AppendField(line, check);
  return line;
}

std::optional<StoredResult> ParseOutboxLine(std::string_view line) {
  const auto checked = CheckedFields(line, kFieldCount);
  if (!checked || (*checked)[0] != kVersion) return std::nullopt;
  const std::vector<std::string_view>& fields = *checked;

  StoredResult result;
  size_t next = 1;
  const auto text = [&](std::string& into) {
    return Unescape(fields[next++], into) && IsStorable(into);
  };
  if (!text(result.key) || result.key.empty() || !text(result.bench) || !text(result.serial) ||
      !text(result.timeText) || !text(result.recordedAt) || !IsTimestamp(result.recordedAt)) {
    return std::nullopt;
  }
  for (std::string& value : result.texts) {
    if (!text(value)) return std::nullopt;
  }
  for (auto& value : result.values) {
    if (!ParseNumber(fields[next++], value)) return std::nullopt;
  }
  for (auto& passed : result.passed) {
    if (!ParseVerdict(fields[next++], passed)) return std::nullopt;
  }
  for (auto& threshold : result.thresholds) {
    if (!ParseNumber(fields[next++], threshold)) return std::nullopt;
  }
  if (!text(result.wavelengths) || !text(result.deviceName) || !text(result.productNumber) ||
      !text(result.orderNumber)) {
    return std::nullopt;
  }
  return result;
}

std::string FormatOutboxEventLine(const UploadedEvent& event) {
  std::string line(kEventVersion);
  for (const std::string* text : {&event.key, &event.bench, &event.uploadedAt, &event.recordDate}) {
    AppendField(line, *text);
  }
  for (const std::string& cell : event.cells) AppendField(line, cell);
  const std::string check = CheckOf(line);
  AppendField(line, check);
  return line;
}

std::optional<UploadedEvent> ParseOutboxEventLine(std::string_view line) {
  const auto fields = CheckedFields(line, kEventFieldCount);
  if (!fields || (*fields)[0] != kEventVersion) return std::nullopt;
  UploadedEvent event;
  size_t next = 1;
  const auto text = [&](std::string& into) {
    return Unescape((*fields)[next++], into) && IsStorable(into);
  };
  if (!text(event.key) || event.key.empty() || !text(event.bench) || !text(event.uploadedAt) ||
      !IsTimestamp(event.uploadedAt) || !text(event.recordDate)) {
    return std::nullopt;
  }
  for (std::string& cell : event.cells) {
    if (!text(cell)) return std::nullopt;
  }
  return event;
}

std::string UploadedEventKey(std::string_view recordDate, const std::array<std::string, 6>& cells) {
  uint64_t hash = 14695981039346656037ull;
  const auto add = [&](std::string_view text) {
    for (const char c : text) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 1099511628211ull;
    }
    hash ^= 0x1f;  // between the texts, so "ab","c" is not "a","bc"
    hash *= 1099511628211ull;
  };
  add(recordDate);
  for (const std::string& cell : cells) add(cell);
  char text[24];
  std::snprintf(text, sizeof text, "e:%016llx", static_cast<unsigned long long>(hash));
  return text;
}

}  // namespace orvana::store
