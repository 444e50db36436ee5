#include <QAccessible>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QtTest>

#include "app/template_texts.h"
#include "app/translations.h"
#include "platform/user_folders.h"
#include "gui/window_fixture.h"
#include "results/colors.h"
#include "results/measurement_result.h"
#include "results/table_look.h"
#include "ui/button_st.h"

using namespace orvana;
using app::COrvanaDlg;
using app::SizeType;
using results::Column;

namespace {

QColor Q(results::Rgb rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

QString Describe(const QWidget* widget, const QString& text) {
  return QStringLiteral("%1 \"%2\" at %3,%4 %5x%6")
      .arg(QString::fromLatin1(widget->metaObject()->className()), text)
      .arg(widget->x())
      .arg(widget->y())
      .arg(widget->width())
      .arg(widget->height());
}

bool ContainsColor(const QImage& image, const QRect& area, const QColor& color) {
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (image.pixelColor(x, y) == color) return true;
    }
  }
  return false;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  testing::TempFolder m_folder;
  std::unique_ptr<COrvanaDlg> m_window;

  COrvanaDlg& Make(bool full = false, app::ReportExport::Environment exporting = {},
                   const char* language = "zh_CN") {
    auto options = guitest::WindowOptions(m_folder, {{"pty", "/tmp/orvana-no-such-port"}});
    std::filesystem::copy_file(std::string(ORVANA_LANG_DIR "/") + language + "/language.ini",
                               m_folder / "language.ini",
                               std::filesystem::copy_options::overwrite_existing);
    options.full = full;
    options.reportExport = std::move(exporting);
    m_window = std::make_unique<COrvanaDlg>(std::move(options));
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get())) qFatal("window not exposed");
    return *m_window;
  }

 private slots:
  void initTestCase() { guitest::PrepareApplication(); }
  void cleanup() { m_window.reset(); }

  void layoutFollowsTheClientSize() {
    COrvanaDlg& window = Make();
    const auto& c = window.Controls();
    for (const QSize client : {QSize(900, 600), QSize(1280, 800)}) {
      window.resize(client);
      QCoreApplication::processEvents();
      const int w = client.width();
      const int h = client.height();
      QCOMPARE(c.resultList->geometry(), QRect(0, 10, w - 73, h - 110));
      QCOMPARE(c.clear->pos(), QPoint(5, h - 60));
      QCOMPARE(c.blankRow->pos(), QPoint(125, h - 60));
      QCOMPARE(c.erase->pos(), QPoint(485, h - 60));
      QCOMPARE(c.import->pos(), QPoint(605, h - 60));
      QCOMPARE(c.exit->pos(), QPoint(w - 73, h - 70));
      QCOMPARE(c.saveFileNameEdit->pos(), QPoint(642, h - 100));
      QCOMPARE(c.serialGroup->pos(), QPoint(5, h - 120));
      const int third = c.connect->height() / 3;
      QCOMPARE(c.portCombo->pos(), QPoint(w - c.portCombo->width() - 3, 5));
      QCOMPARE(c.connect->pos(), QPoint(w - c.connect->width() - 3, third + 5));
      QCOMPARE(c.info->pos(), QPoint(w - c.info->width() - 3, third + c.info->height() + 8));
      QCOMPARE(c.settings->pos(),
               QPoint(w - c.settings->width() - 3, third + 2 * c.settings->height() + 8));
    }
  }

  void benchWindowShowsEveryTextWhole_data() {
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QString>("exitCaption");
    QTest::addColumn<bool>("translated");
    QTest::newRow("zh_CN") << QByteArray("zh_CN") << QString::fromUtf8("退出") << false;
    QTest::newRow("en") << QByteArray("en") << QStringLiteral("Exit") << false;
    // The template's own captions in English too, as the window started in
    // English shows them.
    QTest::newRow("en, translated") << QByteArray("en") << QStringLiteral("Exit") << true;
  }
  void benchWindowShowsEveryTextWhole() {
    QFETCH(QByteArray, language);
    QFETCH(QString, exitCaption);
    QFETCH(bool, translated);
    std::optional<app::Translations> translations;
    if (translated) {
      translations.emplace(language.toStdString(), platform::ExecutableFolder());
      QVERIFY(!translations->Files().isEmpty());
    }
    COrvanaDlg& window = Make(true, {}, language.constData());
    window.resize(1280, 800);
    window.OnSize(SizeType::Maximized, 1280, 800);
    QCoreApplication::processEvents();
    const auto& c = window.Controls();
    QCOMPARE(c.exit->text(), exitCaption);  // the language file was read

    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
      const QString text = button->text();
      if (!button->isVisibleTo(&window) || text.isEmpty()) continue;
      const QString what = Describe(button, text);
      const QFontMetrics metrics = button->fontMetrics();
      if (auto* image = qobject_cast<CButtonST*>(button)) {
        // The caption's lines, as the button draws them, stay inside its edge
        // and off its icon.
        const int inset = CButtonST::kCaptionInset;
        const QRect block = image->CaptionBlock();
        QVERIFY2(image->rect().adjusted(inset, inset, -inset, -inset).contains(block),
                 qPrintable(what));
        const QRect icon = CButtonST::PlaceImage(image->rect(), image->IconImageSize(),
                                                 image->ImageAlignment(), true, QPoint())
                               .image;
        QVERIFY2(!icon.intersects(block), qPrintable(what));
      } else if (qobject_cast<QCheckBox*>(button)) {
        QVERIFY2(button->sizeHint().width() <= button->width(), qPrintable(what));
        QVERIFY2(button->sizeHint().height() <= button->height(), qPrintable(what));
      } else {
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        QVERIFY2(metrics.horizontalAdvance(text) + 2 * margin <= button->width(), qPrintable(what));
        QVERIFY2(metrics.height() <= button->height(), qPrintable(what));
      }
    }

    // Every label on one line, inside the frame it stands in; every edit and
    // label clear of the lines of any frame it reaches into.
    const auto groups = window.findChildren<QGroupBox*>();
    for (QGroupBox* a : groups) {
      for (QGroupBox* b : groups) {
        if (a == b || !a->isVisibleTo(&window) || !b->isVisibleTo(&window)) continue;
        QVERIFY2(!a->geometry().intersects(b->geometry()),
                 qPrintable(Describe(a, a->title()) + " / " + Describe(b, b->title())));
      }
    }
    const auto insideFrames = [&](QWidget* widget, bool label, const QString& what) {
      for (QGroupBox* group : groups) {
        if (!group->isVisibleTo(&window) || !group->geometry().intersects(widget->geometry()))
          continue;
        const QRect inside = label ? group->contentsRect().translated(group->pos())
                                   : group->geometry().adjusted(2, 2, -2, -2);
        QVERIFY2(inside.contains(widget->geometry()),
                 qPrintable(what + " in " + Describe(group, group->title())));
      }
    };
    for (QLabel* label : window.findChildren<QLabel*>()) {
      const QString text = label->text();
      if (!label->isVisibleTo(&window) || text.isEmpty()) continue;
      const QString what = Describe(label, text);
      const QFontMetrics metrics = label->fontMetrics();
      QVERIFY2(metrics.horizontalAdvance(text) <= label->contentsRect().width(), qPrintable(what));
      QVERIFY2(metrics.height() <= label->contentsRect().height(), qPrintable(what));
      insideFrames(label, true, what);
    }
    for (QLineEdit* edit : window.findChildren<QLineEdit*>()) {
      if (edit->isVisibleTo(&window) && edit->parentWidget() == &window) {
        insideFrames(edit, false, Describe(edit, edit->accessibleName()));
      }
    }
    QVERIFY(c.resultList->geometry().bottom() < c.valueGroup->y());

    // A two-digit loss shows whole in a value field: nothing scrolls out of
    // sight between the text's first character and its end.
    const QString value = QString::fromStdString(results::FormatIl(-12.34f));
    const auto cursorX = [](QLineEdit* edit) {
      return edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
    };
    for (QLineEdit* edit : c.valueEdits) {
      edit->setText(value);
      edit->home(false);
      edit->repaint();
      const int start = cursorX(edit);
      edit->end(false);
      edit->repaint();
      QCOMPARE(cursorX(edit) - start, edit->fontMetrics().horizontalAdvance(value));
    }

    // The flat faces of the right-hand column read as three buttons: a line
    // of the window shows between each and the next.
    QVERIFY(c.connect->geometry().bottom() + 1 < c.info->y());
    QVERIFY(c.info->geometry().bottom() + 1 < c.settings->y());
  }

  void benchWindowEditsAreNamedForAScreenReader() {
    COrvanaDlg& window = Make(true);
    int named = 0;
    for (QLineEdit* edit : window.findChildren<QLineEdit*>()) {
      if (!edit->isVisibleTo(&window)) continue;
      const QString name = QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Name);
      QVERIFY2(!name.isEmpty(), qPrintable(Describe(edit, edit->text())));
      for (QLabel* label : window.findChildren<QLabel*>()) {
        if (label->buddy() == edit) QCOMPARE(name, label->text());
      }
      ++named;
    }
    // The port field, serial number, auto number, four values and the three
    // report inputs.
    QCOMPARE(named, 10);
  }

  void tableMetricsFollowTheSizeStateNotMinimising() {
    COrvanaDlg& window = Make();
    auto& list = *window.Controls().resultList;
    const auto widths = [&list] {
      QList<int> result;
      for (int column = 0; column < results::kColumnCount; ++column) {
        result << list.columnWidth(column);
      }
      return result;
    };
    window.OnSize(SizeType::Maximized, 1280, 800);
    QCOMPARE(widths(), (QList<int>{172, 142, 142, 142, 142, 142, 284}));
    QCOMPARE(list.verticalHeader()->defaultSectionSize(), 33);
    QCOMPARE(list.CellFont().pixelSize(), 26);

    window.OnSize(SizeType::Minimized, 0, 0);
    QCOMPARE(window.LastSizeType(), SizeType::Maximized);
    window.OnSize(SizeType::Maximized, 1280, 800);
    QCOMPARE(widths(), (QList<int>{172, 142, 142, 142, 142, 142, 284}));

    window.OnSize(SizeType::Restored, 1280, 800);
    QCOMPARE(widths(), (QList<int>{110, 80, 80, 80, 80, 80, 160}));
    QCOMPARE(list.verticalHeader()->defaultSectionSize(), 22);
    QCOMPARE(list.CellFont().pixelSize(), 20);

    // Applying the settings resets the row height; the size's metrics win
    // again at once, as they would at the next repaint.
    window.OnSize(SizeType::Maximized, 1280, 800);
    window.GetStation().OnSettingsApplied();
    QCOMPARE(list.verticalHeader()->defaultSectionSize(), 33);
  }

  void headerGradientIsPaintedRowByRow() {
    COrvanaDlg& window = Make();
    window.GetStation().OnSettingsApplied();  // the black look, green gradient
    auto& header = window.Controls().resultList->Header();
    QVERIFY(header.height() > 19);
    const QImage image = header.grab().toImage();
    const int left = header.sectionViewportPosition(1);
    QCOMPARE(image.pixelColor(left + 5, 0), QColor(139, 255, 139));
    QCOMPARE(image.pixelColor(left + 5, 17), QColor(3, 119, 3));
    QCOMPARE(image.pixelColor(left + 5, 18), QColor(0, 111, 0));
    // The leftmost pixel column of a section is the divider.
    QVERIFY(image.pixelColor(left, 1) != QColor(131, 247, 131));
    QCOMPARE(image.pixelColor(left + 1, 1), QColor(131, 247, 131));
    // Right of the last section the gradient starts again from the top.
    const int end = header.sectionViewportPosition(6) + header.sectionSize(6);
    if (end + 2 < image.width()) QCOMPARE(image.pixelColor(end + 2, 17), QColor(3, 119, 3));
  }

  void framesCopiedFromTheirPictureShowWhatTheStyleDraws() {
    COrvanaDlg& window = Make(true);
    window.repaint();
    const auto shown = [&window] {
      return window.screen()
          ->grabWindow(window.winId())
          .toImage()
          .convertToFormat(QImage::Format_RGB32);
    };
    const QImage copied = shown();
    // Each frame replaced by one the style draws straight onto the window.
    const auto frames = window.findChildren<QGroupBox*>();
    QVERIFY(frames.size() >= 3);
    std::vector<std::unique_ptr<QGroupBox>> plain;
    for (QGroupBox* frame : frames) {
      plain.push_back(std::make_unique<QGroupBox>(frame->title(), &window));
      plain.back()->setFont(frame->font());
      plain.back()->setGeometry(frame->geometry());
      plain.back()->stackUnder(frame);
      plain.back()->setVisible(frame->isVisible());
      frame->hide();
    }
    window.repaint();
    // A style's smoothly scaled edge may round one step otherwise in a
    // picture than on the window; nothing more may differ.
    const QImage drawn = shown();
    QCOMPARE(drawn.size(), copied.size());
    int largest = 0;
    for (int y = 0; y < drawn.height(); ++y) {
      for (int x = 0; x < drawn.width(); ++x) {
        const QRgb a = drawn.pixel(x, y);
        const QRgb b = copied.pixel(x, y);
        largest = std::max({largest, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                            std::abs(qBlue(a) - qBlue(b))});
      }
    }
    QVERIFY2(largest <= 1, qPrintable(QString::number(largest)));
  }

  void cellsKeepTheirColoursWhenSelected() {
    COrvanaDlg& window = Make();
    auto& table = window.Table();
    auto& list = *window.Controls().resultList;
    const int row = table.AppendRow("A1");
    table.SetText(row, Column::Value1, "-0.45");
    table.SetCellTextColor(Column::Value1, row, results::COLOR_FAIL);
    table.SetText(row, Column::Value2, "58.0");
    table.SetCellTextColor(Column::Value2, row, results::COLOR_PASS_LATEST);
    QCoreApplication::processEvents();

    const auto cellImage = [&](int column) {
      QImage image = list.viewport()->grab().toImage();
      return std::make_pair(image, list.visualRect(list.model()->index(row, column)));
    };
    auto [image, fail] = cellImage(1);
    QVERIFY(ContainsColor(image, fail, Q(results::COLOR_FAIL)));
    QCOMPARE(image.pixelColor(fail.left() + 1, fail.top() + 1), QColor(204, 204, 204));
    const QRect serial = list.visualRect(list.model()->index(row, 0));
    QVERIFY(ContainsColor(image, serial, Qt::black));

    list.selectRow(row);
    QCoreApplication::processEvents();
    auto [selected, failSelected] = cellImage(1);
    const QColor highlight = list.palette().color(QPalette::Active, QPalette::Highlight);
    QCOMPARE(selected.pixelColor(failSelected.left() + 1, failSelected.top() + 1), highlight);
    QVERIFY(ContainsColor(selected, failSelected, Q(results::COLOR_FAIL)));
    QVERIFY(ContainsColor(selected, list.visualRect(list.model()->index(row, 2)),
                          Q(results::COLOR_PASS_LATEST)));
    QCOMPARE(list.SelectionMark(), row);
  }

  void theListDrawsTheGridTheBaseWould() {
    COrvanaDlg& window = Make();
    auto& table = window.Table();
    auto& list = *window.Controls().resultList;
    for (int n = 0; n < 5; ++n) {
      const int row = table.AppendRow("A" + std::to_string(n));
      table.SetText(row, Column::Value1, "-0.45");
      table.SetCellTextColor(Column::Value1, row, results::COLOR_FAIL);
      table.SetText(row, Column::Time, "2017/05/03 12:34:56");
    }
    QTRY_COMPARE(list.model()->rowCount(), table.RowCount());  // shown
    list.selectRow(2);
    const auto drawn = [&](bool own) {
      list.SetOwnGrid(own);
      QCoreApplication::processEvents();
      return list.viewport()->grab().toImage();
    };
    // A few rows and the empty space below them, in both looks, one row
    // selected; then scrolled part of a row down a full table.
    QCOMPARE(drawn(true), drawn(false));
    window.GetStation().OnSettingsApplied();
    QCOMPARE(drawn(true), drawn(false));
    for (int n = 0; n < 60; ++n) table.AppendRow("B" + std::to_string(n));
    QTRY_COMPARE(list.model()->rowCount(), table.RowCount());
    list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum() / 2 + 7);
    QCOMPARE(drawn(true), drawn(false));
    list.SetOwnGrid(true);
  }

  void rowsWaitingForTheScreenAreShownAsTheTableHoldsThem() {
    COrvanaDlg& window = Make();
    auto& table = window.Table();
    auto& list = *window.Controls().resultList;
    const auto selectedSerial = [&] {
      const QModelIndexList rows = list.selectionModel()->selectedRows();
      return rows.size() == 1 ? rows[0].data().toString() : QString();
    };
    // The view was told of exactly the rows the model counts.
    const auto toldAsCounted = [&] {
      return list.verticalHeader()->count() == list.model()->rowCount();
    };
    table.AppendRow("A0");  // after a quiet spell: shown at once
    QCOMPARE(list.model()->rowCount(), 1);
    list.selectRow(0);
    for (int n = 1; n < 4; ++n) table.AppendRow("A" + std::to_string(n));
    QCOMPARE(list.model()->rowCount(), 1);
    // Rows put in above the shown ones and among the waiting ones, and a
    // waiting row changed, while rows wait for the screen: the selection
    // stays on its row.
    table.InsertRow(0, "W");
    table.InsertRows(3, {{"I1"}, {"I2"}});
    table.SetText(4, Column::Value1, "-0.50");
    QVERIFY(toldAsCounted());
    QCOMPARE(selectedSerial(), QStringLiteral("A0"));
    QTRY_COMPARE(list.model()->rowCount(), table.RowCount());
    QVERIFY(toldAsCounted());
    QCOMPARE(selectedSerial(), QStringLiteral("A0"));
    // A waiting row brought into view is shown first.
    for (int n = 0; n < 40; ++n) table.AppendRow("B" + std::to_string(n));
    QVERIFY(list.model()->rowCount() < table.RowCount());
    list.MakeRowVisible(table.RowCount() - 2);
    QCOMPARE(list.model()->rowCount(), table.RowCount());
    QVERIFY(toldAsCounted());
    QVERIFY(list.viewport()->rect().intersects(
        list.visualRect(list.model()->index(table.RowCount() - 2, 0))));
    // Cleared while rows wait: none of them comes back.
    for (int n = 0; n < 5; ++n) table.AppendRow("C" + std::to_string(n));
    table.DeleteAllRows();
    QTest::qWait(guitest::kScreenUpdate);
    QCOMPARE(list.model()->rowCount(), 0);
    QVERIFY(toldAsCounted());
  }

  void enterAndEscapeNeverCloseTheWindow() {
    COrvanaDlg& window = Make(true);
    auto* serial = window.Controls().serialEdit;
    serial->setText(QStringLiteral("SN0012"));
    window.Controls().portCombo->setFocus();
    QTest::keyClick(window.Controls().portCombo, Qt::Key_Return);
    QTest::keyClick(window.Controls().portCombo, Qt::Key_Escape);
    QTest::keyClick(&window, Qt::Key_Enter);
    QCoreApplication::processEvents();
    QVERIFY(window.isVisible());
    QCOMPARE(serial->selectedText(), QStringLiteral("SN0012"));
  }

  void aboutBoxOpensWithF1() {
    COrvanaDlg& window = Make();
    QString title;
    QString text;
    guitest::Poller answer([&] {
      auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!box) return false;
      title = box->windowTitle();
      for (auto* label : box->findChildren<QLabel*>()) text += label->text();
      box->accept();
      return true;
    });
    QTest::keyClick(&window, Qt::Key_F1);
    QTRY_VERIFY(answer.Done());
    QCOMPARE(title, QString::fromUtf8(app::captions::kAboutTitle));
    QVERIFY(text.contains(QString::fromUtf8(app::captions::kAboutText)));
  }

  void theExportButtonHandsTheTableToTheSpreadsheet() {
    QString opened;
    app::ReportExport::Environment exporting;
    exporting.tempFolder = QString::fromStdString(m_folder.Path());
    exporting.open = [&opened](const QString& path) {
      opened = path;
      return true;
    };
    COrvanaDlg& window = Make(true, exporting);
    window.Controls().saveFileNameEdit->setText(QStringLiteral("bench-7"));
    window.Table().AppendRow("SN1");
    window.Controls().exportReport->click();
    QTRY_VERIFY(!opened.isEmpty());
    QVERIFY(opened.endsWith(QStringLiteral("/bench-7.xlsx")));
    QVERIFY(QFileInfo(opened).size() > 0);
  }

  void controlsAndCellsCanBeReadWithoutSeeingThem() {
    COrvanaDlg& window = Make();
    const auto& c = window.Controls();
    const auto name = [](QWidget* widget) {
      return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    QCOMPARE(name(c.connect), QString::fromUtf8("连接"));
    QCOMPARE(name(c.clear), QString::fromUtf8("清屏"));
    QCOMPARE(name(c.exit), QString::fromUtf8("退出"));
    QCOMPARE(c.connect->toolTip(), QString::fromUtf8("连接"));

    // The verdicts a recorded row carries, told in words; the colours alone
    // (a look's choice) must not decide what a screen reader says.
    auto& table = window.Table();
    results::RowContent content;
    content.texts = {"****", "-0.45", "58.0", "", "", "", ""};
    content.colors[1] = results::COLOR_PASS;
    content.outcomes[1] = results::OUTCOME_FAIL;
    content.colors[2] = results::COLOR_FAIL;
    content.outcomes[2] = results::OUTCOME_PASS;
    const int row = table.AppendRow(content);
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(c.resultList);
    QVERIFY(view && view->tableInterface());
    QAccessibleInterface* fail = view->tableInterface()->cellAt(row, 1);
    QVERIFY(fail);
    QCOMPARE(fail->text(QAccessible::Name), QStringLiteral("-0.45"));
    QCOMPARE(fail->text(QAccessible::Description), QString::fromUtf8(app::captions::kOutcomeFail));
    QCOMPARE(view->tableInterface()->cellAt(row, 2)->text(QAccessible::Description),
             QString::fromUtf8(app::captions::kOutcomePass));
  }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
