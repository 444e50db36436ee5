// The window as a technician at the bench uses it for a day: serial numbers
// typed or scanned between results, the report inputs filled in while the
// meter sends, the settings applied with results in the table, the view
// scrolled back to look at an earlier part, a port where nothing answers.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QtTest>
#include <algorithm>

#include "gui/window_fixture.h"
#include "support/pty_pair.h"
#include "support/sim_frames.h"
#include "support/workbook_reader.h"

using namespace orvana;
using results::Column;

namespace {

void Record(app::COrvanaDlg& window, float il) {
  for (uint8_t byte : testing::DualResultBytes(il, 56.3f, -0.35f, 54.0f)) {
    window.GetStation().OnReceiveByte(byte);
  }
}

// Types into a field as a keyboard or a scanner does, Enter at the end.
void Scan(QLineEdit& edit, const QString& text) {
  QTest::keyClicks(&edit, text);
  QTest::keyClick(&edit, Qt::Key_Return);
  QCoreApplication::processEvents();  // the posted select-all
}

bool LastRowShown(const results::CListCtrlCl& list) {
  const int rows = list.Model()->Table().RowCount();
  if (list.model()->rowCount() != rows) return false;  // waiting for the screen
  const QModelIndex last = list.model()->index(rows - 1, 0);
  return list.viewport()->rect().contains(list.visualRect(last));
}

// What the screen shows of `widget` now.
QImage Shown(const QWidget& window, const QWidget& widget) {
  const QRect rect(widget.mapTo(&window, QPoint(0, 0)), widget.size());
  return window.screen()
      ->grabWindow(window.winId())
      .toImage()
      .copy(rect)
      .convertToFormat(QImage::Format_RGB32);
}

// The table as the window shows it (what its partial repaints left on
// screen) matches a full repaint of it.
bool ShowsWhatAFullRepaintDraws(const QWidget& window, QWidget& area) {
  return Shown(window, area) == area.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The same for a widget that lets the window show through it: all of it
// repainted on screen, with what lies behind.
bool ShowsWhatARepaintDraws(const QWidget& window, QWidget& widget) {
  const QImage shown = Shown(window, widget);
  widget.repaint();
  return Shown(window, widget) == shown;
}

}  // namespace

class WindowAtTheBenchTest : public QObject {
  Q_OBJECT

 private:
  testing::TempFolder m_folder;
  std::unique_ptr<app::COrvanaDlg> m_window;
  QStringList m_opened;
  store::StoreConfig m_store;  // none unless a test sets one
  // The store's test works here: its outbox folder would be read as a log
  // by the tests that read every file of Savetemp.
  testing::TempFolder m_storeFolder;

  app::COrvanaDlg& Make(std::vector<link::PortEntry> ports = {{"pty", "/tmp/orvana-none"}}) {
    return Make(m_folder, std::move(ports));
  }
  app::COrvanaDlg& Make(const testing::TempFolder& folder, std::vector<link::PortEntry> ports) {
    auto options = guitest::WindowOptions(folder, std::move(ports));
    options.full = true;
    options.store = m_store;
    options.reportExport.tempFolder = QString::fromStdString(folder.Path());
    options.reportExport.open = [this](const QString& path) {
      m_opened << path;
      return true;
    };
    m_window = std::make_unique<app::COrvanaDlg>(std::move(options));
    m_window->resize(1280, 800);
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get())) qFatal("window not exposed");
    return *m_window;
  }

 private slots:
  void initTestCase() { guitest::PrepareApplication(); }
  void cleanup() {
    m_window.reset();
    m_store = {};
  }

  void aLostDatabaseIsToldOnceBesideTheTableAndNeverInABox() {
    // A database whose server is not there: the first attempt fails at once.
    m_store = {"host=" + m_storeFolder.Path() + "/no-server dbname=orvana", "bench-1"};
    guitest::BoxAnswerer answerer;
    const QStringList& boxes = answerer.Texts();
    app::COrvanaDlg& window = Make(m_storeFolder, {{"pty", "/tmp/orvana-none"}});
    const QString down = QString::fromUtf8("结果数据库不可用");
    QTRY_VERIFY(window.Controls().connect->accessibleDescription().contains(down));
    const auto* note = window.findChild<QLabel*>(QStringLiteral("storeNote"));
    QVERIFY(note != nullptr);
    QVERIFY(note->isVisible());
    QVERIFY(note->text().startsWith(down));
    // Beside the table, not over it.
    const QRect table(window.Controls().resultList->mapTo(&window, QPoint(0, 0)),
                      window.Controls().resultList->size());
    QVERIFY(!table.intersects(note->geometry()));

    for (int n = 0; n < 3; ++n) Record(window, -0.21f);
    QTest::qWait(300);
    QVERIFY(boxes.isEmpty());
    QCOMPARE(window.Table().RowCount(), 3);
    // The bench records on: the day log and the outbox both have every result.
    size_t waiting = 0;
    for (const auto& file :
         std::filesystem::directory_iterator(m_storeFolder / "Savetemp/outbox")) {
      if (file.path().extension() != ".outbox") continue;
      const std::string lines = testing::ReadFile(file.path().string());
      waiting += static_cast<size_t>(std::count(lines.begin(), lines.end(), '\n'));
    }
    QCOMPARE(waiting, size_t{3});
  }

  void anOutboxThatTakesNoResultIsToldInTheSameNote() {
    testing::TempFolder bench;
    m_store = {"host=" + bench.Path() + "/no-server dbname=orvana", "bench-1"};
    std::filesystem::create_directories(bench / "Savetemp");
    testing::WriteFile(bench / "Savetemp/outbox", "not a folder");
    guitest::BoxAnswerer answerer;
    app::COrvanaDlg& window = Make(bench, {{"pty", "/tmp/orvana-none"}});
    // The database's own news (down) may follow in the note at once: every
    // text the note shows is kept.
    QStringList notes;
    guitest::Poller watch([&] {
      const auto* note = window.findChild<QLabel*>(QStringLiteral("storeNote"));
      if (note != nullptr && note->isVisible() && !notes.contains(note->text())) {
        notes << note->text();
      }
      return false;
    });
    Record(window, -0.21f);
    const QString failing = QString::fromUtf8("结果无法存入待发送文件（1 条在内存中）");
    QTRY_VERIFY(std::any_of(notes.begin(), notes.end(),
                            [&](const QString& text) { return text.contains(failing); }));
    // And it stays in the hint, beside the database's state, while it lasts.
    QTRY_VERIFY(window.Controls().connect->accessibleDescription().contains(failing));
    QVERIFY(answerer.Texts().isEmpty());
    // The held result goes into the outbox once it can; then the window goes.
    std::filesystem::remove(bench / "Savetemp/outbox");
    QTRY_VERIFY(std::filesystem::is_directory(bench / "Savetemp/outbox"));
    m_window.reset();
  }

  void whatIsTypedIsRecordedAndNeverOverwritten() {
    app::COrvanaDlg& window = Make();
    const auto& c = window.Controls();
    c.productNumberEdit->setText(QStringLiteral("P-17"));
    c.orderNumberEdit->setText(QStringLiteral("4711"));
    c.saveFileNameEdit->setText(QStringLiteral("lot 5"));
    for (const char* serial : {"SN-101", "SN-102", "SN-103"}) {
      Scan(*c.serialEdit, QString::fromLatin1(serial));
      Record(window, -0.21f);
    }
    // Settings applied with results in the table: the names go above them.
    window.GetStation().OnSettingsApplied();
    Record(window, -0.22f);

    const auto& table = window.Table();
    QCOMPARE(table.RowCount(), 5);
    QCOMPARE(table.Text(0, Column::Value1), std::string("1310nm"));
    QCOMPARE(table.Text(1, Column::Serial), std::string("SN-101"));
    QCOMPARE(table.Text(1, Column::Value1), std::string("-0.21"));
    QCOMPARE(table.Text(3, Column::Serial), std::string("SN-103"));
    QCOMPARE(table.Text(4, Column::Serial), std::string("SN-103"));
    const auto logs = std::filesystem::directory_iterator(m_folder / "Savetemp");
    const std::string log = testing::ReadFile(logs->path().string());
    QVERIFY(log.find("SN-102   -0.21") != std::string::npos);
    QVERIFY(log.find("SN-101   -0.21") < log.find("SN-102   -0.21"));
    // The inputs kept what was typed; the export gets it.
    QCOMPARE(c.productNumberEdit->text(), QStringLiteral("P-17"));
    QCOMPARE(c.serialEdit->text(), QStringLiteral("SN-103"));
    c.exportReport->click();
    QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
    QCOMPARE(QFileInfo(m_opened[0]).fileName(), QStringLiteral("lot 5.xlsx"));
    const auto sheets = testing::ReadWorkbook(m_opened[0].toStdString());
    QVERIFY(sheets.has_value());
    QCOMPARE((*sheets)[1].At("B1")->text, std::string("P-17"));
    QCOMPARE((*sheets)[1].At("B2")->text, std::string("4711"));
    // Row 3 of the sheet is table row 0; every result row keeps its value.
    QCOMPARE((*sheets)[0].At("C3")->text, std::string("1310nm"));
    for (const char* cell : {"C4", "C5", "C6"}) {
      QVERIFY2((*sheets)[0].At(cell)->type == "n", cell);
      QCOMPARE(std::stod((*sheets)[0].At(cell)->value), -0.21);
    }
    QCOMPARE(std::stod((*sheets)[0].At("C7")->value), -0.22);
  }

  void aViewScrolledUpStaysWhereTheTechnicianLooks() {
    app::COrvanaDlg& window = Make();
    auto& list = *window.Controls().resultList;
    // At the meter's pace, with the screen following: every row drawn where
    // it stands, no copy of an old one left behind by a scroll.
    for (int n = 0; n < 60; ++n) {
      Record(window, n % 2 == 0 ? -0.21f : -0.45f);
      QTest::qWait(25);
    }
    QTRY_VERIFY(LastRowShown(list));
    QTest::qWait(guitest::kScreenUpdate);  // the last screen update
    QVERIFY(ShowsWhatAFullRepaintDraws(window, *list.viewport()));
    // The scroll bar repainted only where its handle moved.
    QVERIFY(ShowsWhatARepaintDraws(window, *list.verticalScrollBar()));
    // A value field, its panel copied, looks as a plain edit does.
    QLineEdit& field = *window.Controls().valueEdits[0];
    const QImage shownField = Shown(window, field);
    field.setStyle(nullptr);
    field.setAttribute(Qt::WA_OpaquePaintEvent, false);
    window.repaint();
    QCOMPARE(Shown(window, field), shownField);
    for (int n = 0; n < 40; ++n) Record(window, -0.21f);
    QTRY_VERIFY(LastRowShown(list));

    list.verticalScrollBar()->setValue(0);  // the wheel, the scrollbar
    for (int n = 0; n < 50; ++n) Record(window, -0.21f);
    QTest::qWait(guitest::kScreenUpdate);  // a screen update or two
    QCOMPARE(list.verticalScrollBar()->value(), 0);
    QVERIFY(!LastRowShown(list));
    QVERIFY(ShowsWhatAFullRepaintDraws(window, *list.viewport()));
    QVERIFY(ShowsWhatARepaintDraws(window, *list.verticalScrollBar()));

    list.setFocus();
    QTest::keyClick(&list, Qt::Key_End, Qt::ControlModifier);
    Record(window, -0.21f);
    QTRY_VERIFY(LastRowShown(list));
    Record(window, -0.21f);
    QTRY_VERIFY(LastRowShown(list));
  }

  void aPortWhereNothingAnswersIsNamedOnce() {
    testing::PtyPair silent;
    app::COrvanaDlg& window = Make({{"pty", silent.SlavePath()}});
    QStringList boxes;
    QElapsedTimer sinceConnect;
    qint64 firstBoxAfter = -1;
    guitest::Poller answerer([&] {
      if (QMessageBox* box = guitest::OpenBox()) {
        if (boxes.isEmpty()) firstBoxAfter = sinceConnect.elapsed();
        boxes << box->text();
        box->accept();
      }
      return false;
    });
    sinceConnect.start();
    window.Controls().connect->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, 10000);
    QTest::qWait(1000);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0], QString::fromUtf8("仪表在此串口上没有应答。\n\n") +
                           QString::fromStdString(silent.SlavePath()));
    QVERIFY2(firstBoxAfter >= 2900, qPrintable(QString::number(firstBoxAfter)));
    QCOMPARE(window.Controls().connect->accessibleDescription(), QString());
  }

  void anUnwritableDayLogIsToldOnceAndItsResultsOutliveTheWindow() {
    testing::TempFolder folder;
    testing::WriteFile(folder / "Savetemp", "a file where the folder should be");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(folder / "data"));
    app::COrvanaDlg& window = Make(folder, {{"pty", "/tmp/orvana-none"}});
    guitest::BoxAnswerer answerer;
    const QStringList& boxes = answerer.Texts();
    for (int n = 0; n < 10; ++n) Record(window, -0.21f);
    QTRY_COMPARE(boxes.size(), 1);
    QTest::qWait(200);
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].contains(QString::fromStdString(folder / "Savetemp")), qPrintable(boxes[0]));

    window.close();
    qunsetenv("XDG_DATA_HOME");
    QVERIFY(!window.isVisible());
    const std::string saved = folder / "data/orvana/unsaved";
    QCOMPARE(boxes.size(), 2);
    QVERIFY2(boxes[1].contains(QString::fromStdString(saved)), qPrintable(boxes[1]));
    const auto files = std::filesystem::directory_iterator(saved);
    const std::string lines = testing::ReadFile(files->path().string());
    QCOMPARE(std::count(lines.begin(), lines.end(), '\n'), 10L);
  }
};

QTEST_MAIN(WindowAtTheBenchTest)
#include "test_window_at_bench.moc"
