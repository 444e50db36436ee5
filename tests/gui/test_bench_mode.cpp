// The bench mode as a technician reads it from a step away: a verdict per
// part in words, the day's counts, a scan that can never be appended to the
// serial before it, and rows whose colours read at a glance.
#include <QLabel>
#include <QLineEdit>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <map>

#include "app/bench_mode_setting.h"
#include "app/bench_panel.h"
#include "gui/window_fixture.h"
#include "results/verdict.h"
#include "support/sim_frames.h"

using namespace orvana;
using results::Column;

namespace {

void Record(app::COrvanaDlg& window, float rl) {
  for (uint8_t byte : testing::DualResultBytes(-0.21f, rl, -0.2f, 56.0f)) {
    window.GetStation().OnReceiveByte(byte);
  }
}

void Scan(QLineEdit& edit, const QString& text) {
  QTest::keyClicks(&edit, text);
  QTest::keyClick(&edit, Qt::Key_Return);
  QCoreApplication::processEvents();  // the posted select-all
}

double Luminance(QRgb pixel) {
  const auto channel = [](int value) {
    const double c = value / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(qRed(pixel)) + 0.7152 * channel(qGreen(pixel)) +
         0.0722 * channel(qBlue(pixel));
}

// The contrast of a cell as drawn: its background (the commonest colour)
// against its text (the pixel farthest from it). 0 for a cell with no text.
double DrawnContrast(const QImage& image, const QRect& cell) {
  std::map<QRgb, int> counts;
  const QRect inside = cell.adjusted(2, 2, -2, -2);
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) ++counts[image.pixel(x, y)];
  }
  const QRgb background =
      std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
        return a.second < b.second;
      })->first;
  const double back = Luminance(background);
  double best = 1.0;
  for (const auto& [pixel, count] : counts) {
    const double ink = Luminance(pixel);
    best = std::max(best, (std::max(back, ink) + 0.05) / (std::min(back, ink) + 0.05));
  }
  return best;
}

}  // namespace

class BenchModeTest : public QObject {
  Q_OBJECT

 private:
  testing::TempFolder m_folder;
  std::unique_ptr<app::COrvanaDlg> m_window;

  app::COrvanaDlg& Make() {
    auto options = guitest::WindowOptions(m_folder, {{"pty", "/tmp/orvana-none"}});
    options.full = true;
    m_window = std::make_unique<app::COrvanaDlg>(std::move(options));
    m_window->resize(1280, 800);
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get())) qFatal("window not exposed");
    return *m_window;
  }

 private slots:
  void initTestCase() { guitest::PrepareApplication(); }
  void cleanup() { m_window.reset(); }

  void aBenchThatRanTheBenchModeKeepsItWithoutACommandLine() {
    testing::TempFolder config;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.Path()));
    qunsetenv("ORVANA_FULL");
    QVERIFY(!app::DecideBenchMode({}));
    QVERIFY(app::DecideBenchMode({false, true, false}));
    QVERIFY2(app::DecideBenchMode({}), "remembered");
    qputenv("ORVANA_FULL", "0");
    QVERIFY(!app::DecideBenchMode({}));
    qunsetenv("ORVANA_FULL");
    QVERIFY2(app::DecideBenchMode({}), "ORVANA_FULL is for one start only");
    QVERIFY(!app::DecideBenchMode({false, false, true}));
    QVERIFY(!app::DecideBenchMode({}));
    qputenv("ORVANA_FULL", "1");
    QVERIFY(app::DecideBenchMode({}));
    qunsetenv("ORVANA_FULL");
    qunsetenv("XDG_CONFIG_HOME");
  }

  void aClickBeforeAScanRecordsExactlyTheScanAndAReusedSerialIsTold() {
    app::COrvanaDlg& window = Make();
    const auto& c = window.Controls();
    Scan(*c.serialEdit, QStringLiteral("SN-A0001"));
    Record(window, 56.3f);
    // The technician clicks into the field (twice: the first click of a
    // slow double click, a click to see the caret), then scans the next part.
    for (int click = 0; click < 2; ++click) {
      QTest::mouseClick(c.serialEdit, Qt::LeftButton, {}, QPoint(5, c.serialEdit->height() / 2));
      QTest::qWait(QApplication::doubleClickInterval() + 50);
    }
    Scan(*c.serialEdit, QStringLiteral("SN-A0002"));
    Record(window, 56.3f);
    QCOMPARE(window.Table().Text(1, Column::Serial), std::string("SN-A0002"));
    QTest::qWait(guitest::kScreenUpdate);
    QCOMPARE(c.serialNote->text(), QString());
    // No scan before the next part: said beside the field, never in a box.
    Record(window, 56.3f);
    QCOMPARE(window.Table().Text(2, Column::Serial), std::string("SN-A0002"));
    QVERIFY(guitest::OpenBox() == nullptr);
    QTRY_VERIFY2(c.serialNote->text().contains(QStringLiteral("SN-A0002")),
                 qPrintable(c.serialNote->text()));
    QVERIFY(c.serialNote->isVisible());
    QVERIFY(c.serialEdit->hasSelectedText());
    QCOMPARE(c.serialEdit->selectedText(), QStringLiteral("SN-A0002"));
  }

  void anUploadedEventsTypeReadsInTheWindowsLanguageAndStaysTheMetersInTheTable() {
    app::COrvanaDlg& window = Make();
    auto& table = window.Table();
    table.InsertRows(0, {{"1--1", "120", "0.5", "-45.0", "0.2", "Loss", "2026-12-09 10:30 "},
                         {"1--2", "2400", "0.3", "-50.5", "0.8", "Reflect", "2026-12-09 10:30 "}});
    const QAbstractItemModel& model = *window.Controls().resultList->model();
    QTRY_COMPARE(model.rowCount(), 2);
    const int type = static_cast<int>(Column::Time);
    QCOMPARE(model.index(0, type).data().toString(), QString::fromUtf8("损耗"));
    QCOMPARE(model.index(1, type).data().toString(), QString::fromUtf8("反射"));
    QCOMPARE(table.Text(0, Column::Time), std::string("Loss"));
  }

  void countsVerdictsAndTheLookReadAtAGlanceWithTheNewestRowWhole() {
    app::COrvanaDlg& window = Make();
    const auto& c = window.Controls();
    auto& list = *c.resultList;
    int fails = 0;
    for (int n = 0; n < 100; ++n) {
      const bool fail = n % 8 == 5;
      fails += fail;
      Record(window, fail ? 50.0f : 56.3f);
    }
    station::BenchCounts expected;
    expected.today = {100, static_cast<uint64_t>(100 - fails), static_cast<uint64_t>(fails)};
    QTRY_COMPARE(c.benchCounts->text(), app::BenchCountsText(expected));
    int failedRows = 0;
    for (int row = 0; row < 100; ++row) {
      failedRows += results::RowVerdict(window.Table(), row) == results::OUTCOME_FAIL;
    }
    QCOMPARE(failedRows, fails);

    // The newest row, followed, is drawn whole: inside the view and not
    // under anything else of the window.
    QTRY_COMPARE(list.model()->rowCount(), 100);
    const QModelIndex newest = list.model()->index(99, 0);
    QTRY_VERIFY(list.viewport()->rect().contains(list.visualRect(newest)));
    QTest::qWait(guitest::kScreenUpdate);
    const QRect newestRect = list.visualRect(newest);
    for (const QPoint corner : {newestRect.bottomLeft(), newestRect.bottomRight()}) {
      const QPoint inWindow = list.viewport()->mapTo(&window, corner + QPoint(1, -1));
      QVERIFY(window.rect().contains(inWindow));
      QCOMPARE(window.childAt(inWindow), list.viewport());
    }

    // Every kind of cell reads at 4.5:1 at least: passes and fails, the
    // verdict's words, the newest row in bold, a selected row.
    list.selectRow(97);
    QTest::qWait(guitest::kScreenUpdate);
    const QImage drawn = list.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int verdictColumn = results::ResultsModel::kVerdictColumn;
    QCOMPARE(list.model()->headerData(verdictColumn, Qt::Horizontal).toString(),
             QString::fromUtf8("判定"));
    struct Cell {
      int row;
      int column;
      const char* what;
    };
    const int failRow = 93;  // 93 % 8 == 5
    QCOMPARE(list.model()->index(failRow, verdictColumn).data().toString(),
             QString::fromUtf8("不合格"));
    for (const Cell& cell : {Cell{96, 1, "a pass"}, Cell{96, verdictColumn, "a pass's verdict"},
                             Cell{failRow, 2, "a failed value"},
                             Cell{failRow, verdictColumn, "a fail's verdict"},
                             Cell{failRow, 1, "a passed value of a failed part"},
                             Cell{99, 1, "the newest row"}, Cell{97, 1, "a selected row"},
                             Cell{96, 5, "a time"}}) {
      const QRect rect = list.visualRect(list.model()->index(cell.row, cell.column));
      const double contrast = DrawnContrast(drawn, rect);
      QVERIFY2(contrast >= 4.5, qPrintable(QStringLiteral("%1: %2:1").arg(cell.what).arg(contrast)));
    }
  }
};

QTEST_MAIN(BenchModeTest)
#include "test_bench_mode.moc"
