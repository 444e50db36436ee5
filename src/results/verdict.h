#pragma once

#include <array>
#include <string_view>

#include "results/outcome.h"

// A part's verdict: pass only when every value measured on it passed. It is
// decided from the values' own verdicts (never from their colours), once,
// here, for the window, the workbook, the terminal and the database alike.
namespace orvana::results {

class ResultsTable;

// The AND of the verdicts of the values that were measured: a value with no
// text (the other wavelength of a single-wavelength result) takes no part.
// OUTCOME_NONE when no value was judged (an uploaded event, an imported row).
Outcome PartVerdict(const std::array<Outcome, 4>& outcomes,
                    const std::array<std::string_view, 4>& texts);

// The same for a row of the table, from the verdicts it carries.
Outcome RowVerdict(const ResultsTable& table, int row);

}  // namespace orvana::results
