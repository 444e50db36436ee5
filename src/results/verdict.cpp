#include "results/verdict.h"

#include "results/column.h"
#include "results/results_table.h"

namespace orvana::results {

Outcome PartVerdict(const std::array<Outcome, 4>& outcomes,
                    const std::array<std::string_view, 4>& texts) {
  Outcome verdict = OUTCOME_NONE;
  for (size_t k = 0; k < outcomes.size(); ++k) {
    if (texts[k].empty() || outcomes[k] == OUTCOME_NONE) continue;
    if (outcomes[k] == OUTCOME_FAIL) return OUTCOME_FAIL;
    verdict = OUTCOME_PASS;
  }
  return verdict;
}

Outcome RowVerdict(const ResultsTable& table, int row) {
  std::array<Outcome, 4> outcomes{};
  std::array<std::string_view, 4> texts{};
  for (int k = 0; k < 4; ++k) {
    const int column = ColumnIndex(ValueColumn(k));
    outcomes[static_cast<size_t>(k)] = table.CellOutcome(row, column);
    texts[static_cast<size_t>(k)] = table.Text(row, column);
  }
  return PartVerdict(outcomes, texts);
}

}  // namespace orvana::results
