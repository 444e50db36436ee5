// What the results table costs on screen: appending one row and scrolling to
// it, and repainting the visible rows, with 1,000 and with 1,000,000 rows in
// the table. Neither may grow with the row count. Runs on Qt's offscreen
// platform, so it needs no display; the painting is real.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <memory>

#include "results/colors.h"
#include "results/list_ctrl_cl.h"
#include "results/results_model.h"
#include "results/results_table.h"
#include "results/table_operations.h"
#include "ui/fonts.h"

namespace {

using namespace orvana;
using results::Column;

QApplication& Application() {
  static int argc = 1;
  static char name[] = "bench_table_view";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication application(argc, argv);
  static const bool fonts = [] {
    ui::InstallFontSubstitutions();
    return true;
  }();
  (void)fonts;
  return application;
}

// A typical recorded result: serial, four values, the time; four colours.
void AppendResult(results::ResultsTable& table, int n) {
  const int row = table.AppendRow("SN" + std::to_string(100000 + n));
  table.SetText(row, Column::Value1, "-0.21");
  table.SetText(row, Column::Value2, "56.3");
  table.SetText(row, Column::Value3, "-0.35");
  table.SetText(row, Column::Value4, "54.0");
  table.SetText(row, Column::Time, "2026/12/08 09:15:42");
  table.SetCellTextColor(Column::Value1, row, results::COLOR_PASS_LATEST);
  table.SetCellTextColor(Column::Value2, row, results::COLOR_PASS_LATEST);
  table.SetCellTextColor(Column::Value3, row, results::COLOR_FAIL);
  table.SetCellTextColor(Column::Value4, row, results::COLOR_FAIL);
}

struct Screen {
  results::ResultsTable table;
  std::unique_ptr<results::ResultsModel> model;
  std::unique_ptr<results::CListCtrlCl> view;

  explicit Screen(int rows) {
    Application();
    for (int n = 0; n < rows; ++n) AppendResult(table, n);
    model = std::make_unique<results::ResultsModel>(
        table, results::ResultsModel::OutcomeTexts{QStringLiteral("pass"),
                                                   QStringLiteral("fail"), {}, {}});
    view = std::make_unique<results::CListCtrlCl>();
    view->SetResultsModel(model.get());
    view->resize(1207, 690);  // the table of a maximised window on 1280 x 800
    if (const auto metrics = results::UpdateTableMetrics(results::SizeState::Maximized, 1280)) {
      view->ApplyMetrics(*metrics);
    }
    view->show();
    view->MakeRowVisible(table.RowCount() - 1);
    QCoreApplication::processEvents();
  }
};

void BM_AppendRowAndScrollToIt(benchmark::State& state) {
  Screen screen(static_cast<int>(state.range(0)));
  int n = 0;
  for (auto _ : state) {
    AppendResult(screen.table, n++);
    screen.view->MakeRowVisible(screen.table.RowCount() - 1);
    screen.view->viewport()->repaint();
  }
  state.counters["rows"] = screen.table.RowCount();
}
BENCHMARK(BM_AppendRowAndScrollToIt)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_RepaintVisibleRows(benchmark::State& state) {
  Screen screen(static_cast<int>(state.range(0)));
  for (auto _ : state) screen.view->viewport()->repaint();
}
BENCHMARK(BM_RepaintVisibleRows)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
