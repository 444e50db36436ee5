#pragma once

#include <array>
#include <string>
#include <string_view>

#include "results/results_table.h"

// The JSON text of orvana-cli's lines, written straight into an output
// buffer: a million imported rows must not become a million temporary
// documents. The bytes are exactly those of a compact JSON dump, so scripts
// see one format whichever way a line was made.
namespace orvana::cli {

// `text` as a JSON string, quotes included. UTF-8 is kept as it is; control
// characters are escaped; a byte that is not part of valid UTF-8 becomes
// U+FFFD, so one odd byte in a serial number never stops the output.
void AppendJsonString(std::string& out, std::string_view text);

// {"row":N,"cells":[...],"colors":[...]}, read from the table in place;
// colours left out when `withColors` is false (the import listing). Colours
// are "#RRGGBB" or null.
void AppendRowJson(std::string& out, const results::ResultsTable& table, int row, bool withColors);

// The same line, without colours, for a row that is not held in a table.
using CellTexts = std::array<std::string_view, results::kColumnCount>;
void AppendRowJson(std::string& out, int row, const CellTexts& cells);

}  // namespace orvana::cli
