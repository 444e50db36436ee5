#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "dialogs/dlalog1.h"
#include "gui/window_fixture.h"
#include "results/colors.h"
#include "support/sim_harness.h"

// The window against the real simulated meter on a pseudo-terminal: what a
// technician sees, driven the way the technician drives it.
using namespace orvana;
using results::Column;
using results::Rgb;

namespace {

// The simulator, fed from our input, and the port it is on; no port when it
// did not start.
struct Meter {
  simtest::SimProcess process;
  std::string port;
  Meter() : process({"--stdin"}), port(process.FirstLine()) {}
  // Through a link of its own, which goes with the simulator: a pseudo-
  // terminal's number is soon reused by another program, which a window
  // watching for the lost port would then open.
  explicit Meter(const std::string& link)
      : process({"--stdin", "--link", link}), port(process.FirstLine().empty() ? "" : link) {}
  void Send(const std::string& commands) { process.Input(commands); }
};

std::optional<Rgb> ColorOf(const results::ResultsTable& table, int row, Column column) {
  return table.CellTextColor(row, column);
}

}  // namespace

class WindowEndToEndTest : public QObject {
  Q_OBJECT

 private:
  testing::TempFolder m_folder;

  std::unique_ptr<app::COrvanaDlg> Open(const Meter& meter, bool full) {
    auto options = guitest::WindowOptions(m_folder, {});
    options.firstPort = link::PortEntry{"orvana-sim", meter.port};
    options.full = full;
    auto window = std::make_unique<app::COrvanaDlg>(std::move(options));
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) qFatal("window not exposed");
    return window;
  }

  // Presses connect and answers the greeting box; true once connected.
  static bool Connect(app::COrvanaDlg& window) {
    guitest::Poller greeting([] {
      QMessageBox* box = guitest::OpenBox();
      if (box) box->accept();
      return box != nullptr;
    });
    window.Controls().connect->click();
    return QTest::qWaitFor([&] { return greeting.Done() && window.GetStation().Connected(); },
                           10000);
  }

 private slots:
  void initTestCase() { guitest::PrepareApplication(); }

  void resultsArrivingUnderTheGreetingBoxBecomeRows() {
    Meter meter;
    QVERIFY(!meter.port.empty());
    auto window = Open(meter, false);
    auto& table = window->Table();
    QCOMPARE(window->Controls().portCombo->currentText(), QString::fromStdString(meter.port));

    QString boxText;
    int rowsWhileOpen = -1;
    bool sent = false;
    guitest::Poller answer([&] {
      QMessageBox* box = guitest::OpenBox();
      if (!box) return false;
      if (!sent) {
        boxText = box->text();
        meter.Send(
            "result dual -0.21 56.3 -0.35 54.0 record\n"
            "result dual -0.10 60.0 -0.12 58.5 record\n"
            "result dual -0.40 50.0 -0.20 57.0 show\n"
            "result single 5 57.0 -0.12 record\n");
        sent = true;
      }
      // Rows must come while the box waits for its OK.
      if (table.RowCount() < 3) return false;
      rowsWhileOpen = table.RowCount();
      box->accept();
      return true;
    });
    window->Controls().connect->click();
    QTRY_VERIFY_WITH_TIMEOUT(answer.Done(), 10000);
    QCOMPARE(boxText, QString::fromUtf8("仪表连接成功"));
    QCOMPARE(window->Controls().connect->accessibleDescription(),
             QString::fromUtf8("仪表连接成功: ") + QString::fromStdString(meter.port));
    QCOMPARE(rowsWhileOpen, 3);
    QCOMPARE(table.RowCount(), 3);

    // The second row passed throughout; after the third it is no longer the
    // newest, so its passes turn from the newest colour to the older one.
    QCOMPARE(table.Text(0, Column::Value1), std::string("-0.21"));
    QCOMPARE(ColorOf(table, 0, Column::Value1), results::COLOR_PASS);
    QCOMPARE(ColorOf(table, 0, Column::Value3), results::COLOR_FAIL);
    QCOMPARE(ColorOf(table, 0, Column::Value4), results::COLOR_FAIL);
    QCOMPARE(ColorOf(table, 1, Column::Value2), results::COLOR_PASS);
    QCOMPARE(table.Text(2, Column::Value1), std::string(""));
    QCOMPARE(table.Text(2, Column::Value4), std::string("57.0"));
    QCOMPARE(ColorOf(table, 2, Column::Value4), results::COLOR_PASS_LATEST);
    QCOMPARE(table.Text(2, Column::Serial), std::string("****"));
    // The shown-only result reached the value fields but not the table.
    QTRY_COMPARE(window->Controls().valueEdits[3]->text(), QStringLiteral("57.0"));
  }

  void settingsDialogKeepsReceivingAndItsThresholdsJudgeTheNextResult() {
    Meter meter;
    QVERIFY(!meter.port.empty());
    auto window = Open(meter, true);
    auto& table = window->Table();
    QVERIFY(Connect(*window));

    // -0.35 fails against -0.3; with -0.5 it passes.
    bool sent = false;
    int rowsWhileOpen = -1;
    guitest::Poller settings([&] {
      auto* dialog = qobject_cast<dialogs::dlalog1*>(QApplication::activeModalWidget());
      if (!dialog) return false;
      if (!sent) {
        meter.Send("result dual -0.35 56.0 -0.35 56.0 record\n");
        sent = true;
      }
      if (table.RowCount() < 2) return false;  // the result sent while it is open
      rowsWhileOpen = table.RowCount();
      dialog->findChild<QLineEdit*>(QStringLiteral("ilThreshold1Edit"))->setText("-0.5");
      dialog->findChild<QLineEdit*>(QStringLiteral("ilThreshold2Edit"))->setText("-0.5");
      dialog->findChild<QPushButton*>(QStringLiteral("applyButton"))->click();
      return true;
    });
    // The result arrives before any Apply, so it is row 0; an Apply on a table
    // that holds results puts the wavelength row above them.
    meter.Send("result dual -0.35 56.0 -0.35 56.0 record\n");
    QTRY_COMPARE(table.RowCount(), 1);
    window->Controls().settings->click();
    QTRY_VERIFY_WITH_TIMEOUT(settings.Done(), 10000);
    QCOMPARE(rowsWhileOpen, 2);
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);

    meter.Send("result dual -0.35 56.0 -0.35 56.0 record\n");
    QTRY_COMPARE(table.RowCount(), 4);
    QCOMPARE(table.Text(0, Column::Value1), std::string("1310nm"));
    QCOMPARE(table.Text(1, Column::Value1), std::string("-0.35"));
    QCOMPARE(ColorOf(table, 2, Column::Value1), results::COLOR_FAIL);
    QCOMPARE(ColorOf(table, 3, Column::Value1), results::COLOR_PASS_LATEST);
    QCOMPARE(ColorOf(table, 3, Column::Value3), results::COLOR_PASS_LATEST);
  }

  void aLostMeterIsToldOnceAndWatchedFor() {
    Meter meter(m_folder / "ttyLost");
    QVERIFY(!meter.port.empty());
    auto window = Open(meter, false);
    QVERIFY(Connect(*window));

    QStringList texts;
    guitest::Poller lost([&] {
      QMessageBox* box = guitest::OpenBox();
      if (!box) return false;
      texts << box->text();
      box->accept();
      return false;  // keeps counting boxes until the test stops looking
    });
    meter.Send("hangup\n");
    QTRY_COMPARE_WITH_TIMEOUT(texts.size(), 1, 10000);
    QTest::qWait(1500);  // a second box would have come by now
    QCOMPARE(texts.size(), 1);
    QVERIFY(texts.front().startsWith(QString::fromUtf8("无法打开串口")));
    QVERIFY(texts.front().contains(QStringLiteral("gone")));
    QVERIFY(window->GetStation().WatchingForPort());
  }
};

QTEST_MAIN(WindowEndToEndTest)
#include "test_window_e2e.moc"
