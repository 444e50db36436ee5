#include "cli/json_text.h"

#include <charconv>
#include <cstdint>

#include "results/column.h"

namespace orvana::cli {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// How many continuation bytes follow `lead`, and the range the first of them
// must fall in (which rules out overlong forms, surrogates and code points
// past U+10FFFF). Zero continuation bytes: not a lead byte at all.
struct Lead {
  int continuations = 0;
  uint8_t low = 0x80;
  uint8_t high = 0xBF;
};

Lead Classify(uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {1, 0x80, 0xBF};
  if (lead == 0xE0) return {2, 0xA0, 0xBF};
  if (lead == 0xED) return {2, 0x80, 0x9F};
  if (lead >= 0xE1 && lead <= 0xEF) return {2, 0x80, 0xBF};
  if (lead == 0xF0) return {3, 0x90, 0xBF};
  if (lead >= 0xF1 && lead <= 0xF3) return {3, 0x80, 0xBF};
  if (lead == 0xF4) return {3, 0x80, 0x8F};
  return {};
}

void AppendEscapedAscii(std::string& out, char c) {
  switch (c) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\b':
      out += "\\b";
      return;
    case '\f':
      out += "\\f";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      break;
  }
  if (static_cast<uint8_t>(c) < 0x20) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u00";
    out += kHex[static_cast<uint8_t>(c) >> 4];
    out += kHex[static_cast<uint8_t>(c) & 0x0F];
    return;
  }
  out += c;
}

bool NeedsEscape(uint8_t byte) { return byte < 0x20 || byte == '"' || byte == '\\'; }

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  const size_t size = text.size();
  size_t i = 0;
  while (i < size) {
    // Runs of plain printable ASCII, the whole of nearly every cell, go in
    // one append.
    size_t plain = i;
    while (plain < size) {
      const auto byte = static_cast<uint8_t>(text[plain]);
      if (byte >= 0x80 || NeedsEscape(byte)) break;
      ++plain;
    }
    out.append(text.data() + i, plain - i);
    i = plain;
    if (i == size) break;

    const auto byte = static_cast<uint8_t>(text[i]);
    if (byte < 0x80) {
      AppendEscapedAscii(out, text[i]);
      ++i;
      continue;
    }
    const Lead lead = Classify(byte);
    if (lead.continuations == 0) {
      out += kReplacement;  // a byte that can start nothing
      ++i;
      continue;
    }
    // A sequence broken off is replaced as a whole, and the byte that broke
    // it is read again on its own: it may start something valid.
    size_t next = i + 1;
    bool valid = true;
    for (int k = 0; k < lead.continuations; ++k, ++next) {
      if (next == size) {
        valid = false;
        break;
      }
      const auto continuation = static_cast<uint8_t>(text[next]);
      const uint8_t low = k == 0 ? lead.low : uint8_t{0x80};
      const uint8_t high = k == 0 ? lead.high : uint8_t{0xBF};
      if (continuation < low || continuation > high) {
        valid = false;
        break;
      }
    }
    if (valid) {
      out.append(text.data() + i, next - i);
    } else {
      out += kReplacement;
    }
    i = next;
  }
  out += '"';
}

namespace {

// {"row":N,"cells":[...] without the closing brace.
void AppendRowStart(std::string& out, int row, const CellTexts& cells) {
  out += "{\"row\":";
  char digits[16];
  const auto [end, error] = std::to_chars(digits, digits + sizeof digits, row);
  (void)error;
  out.append(digits, end);
  out += ",\"cells\":[";
  for (size_t column = 0; column < cells.size(); ++column) {
    if (column > 0) out += ',';
    AppendJsonString(out, cells[column]);
  }
  out += ']';
}

}  // namespace

void AppendRowJson(std::string& out, int row, const CellTexts& cells) {
  AppendRowStart(out, row, cells);
  out += '}';
}

void AppendRowJson(std::string& out, const results::ResultsTable& table, int row, bool withColors) {
  CellTexts cells;
  for (int column = 0; column < results::kColumnCount; ++column) {
    cells[static_cast<size_t>(column)] = table.Text(row, column);
  }
  AppendRowStart(out, row, cells);
  if (withColors) {
    out += ",\"colors\":[";
    for (int column = 0; column < results::kColumnCount; ++column) {
      if (column > 0) out += ',';
      if (const auto color = table.CellTextColor(row, column)) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        const char text[] = {'"',
                             '#',
                             kHex[color->red >> 4],
                             kHex[color->red & 0x0F],
                             kHex[color->green >> 4],
                             kHex[color->green & 0x0F],
                             kHex[color->blue >> 4],
                             kHex[color->blue & 0x0F],
                             '"'};
        out.append(text, sizeof text);
      } else {
        out += "null";
      }
    }
    out += ']';
  }
  out += '}';
}

}  // namespace orvana::cli
