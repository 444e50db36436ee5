#include "cli/json_text.h"

#include <charconv>
#include <cstdint>

#include "common/utf8.h"
#include "results/column.h"

namespace orvana::cli {
namespace {

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
    // A byte that can start nothing is replaced on its own; a sequence broken
    // off is replaced as a whole, and the byte that broke it is read again on
    // its own: it may start something valid.
    const common::Utf8Char c = common::DecodeUtf8(text, i);
    if (c.valid) {
      out.append(text.data() + i, c.length);
    } else {
      out += common::kUtf8Replacement;
    }
    i += c.length;
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
