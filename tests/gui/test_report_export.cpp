// The export button's work: a workbook of the table as it was at the press,
// written off the window's thread, handed to a replaceable opener, and saved
// through the save dialog when nothing can open it.
#include <sys/stat.h>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

#include "app/report_export.h"
#include "app/translations.h"
#include "platform/user_folders.h"
#include "results/column.h"
#include "results/results_table.h"
#include "results/table_operations.h"
#include "support/message_box_answerer.h"
#include "support/temp_folder.h"
#include "support/workbook_reader.h"

using orvana::app::ReportExport;
using orvana::guitest::MessageBoxAnswerer;
using orvana::results::Column;
using orvana::results::ResultsTable;
using orvana::testing::TempFolder;
using Outcome = ReportExport::Outcome;

namespace {

void AddRow(ResultsTable& table, const std::string& serial, const std::string& il) {
  const int row = table.AppendRow(serial);
  table.SetText(row, Column::Value1, il);
  table.SetText(row, Column::Value2, "55.3");
  table.SetText(row, Column::Time, "2017/05/03 12:34:56");
}

orvana::texts::MessageTexts Texts() {
  orvana::texts::MessageTexts texts;
  texts.save = "Save report";
  texts.createxcelerr = "Cannot make the report";
  texts.disten = "D";
  return texts;
}

std::optional<Outcome> WaitFinished(QSignalSpy& spy) {
  if (spy.isEmpty() && !spy.wait(60000)) return std::nullopt;
  return spy.takeFirst().at(0).value<Outcome>();
}

}  // namespace

// Exports a one-row table, answering every box that comes; the outcome and
// the boxes seen ("caption|text"). Nothing when the export would not start.
std::pair<std::optional<Outcome>, QStringList> ExportOneRowAnsweringBoxes(ReportExport& exporter) {
  QSignalSpy spy(&exporter, &ReportExport::finished);
  ResultsTable table;
  AddRow(table, "A1", "-0.21");
  MessageBoxAnswerer answerer;
  if (!exporter.Start(table, {}, {}, {}, Texts())) return {std::nullopt, answerer.Seen()};
  const std::optional<Outcome> outcome = WaitFinished(spy);
  return {outcome, answerer.Seen()};
}

class ReportExportTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { qRegisterMetaType<Outcome>(); }

  void opensAFreshFileOfTheTableAsItWasAtThePress() {
    TempFolder folder;
    QWidget window;
    QStringList opened;
    ReportExport::Environment environment;
    environment.tempFolder = QString::fromStdString(folder.Path());
    environment.open = [&](const QString& path) {
      opened << path;
      return true;
    };
    environment.chooseSaveFile = [](QWidget*, const QString&) -> QString {
      qFatal("no save dialog when the workbook opens");
    };
    ReportExport exporter(&window, environment);
    QSignalSpy spy(&exporter, &ReportExport::finished);

    ResultsTable table;
    orvana::results::ApplySettings(table, orvana::results::TestSettings::StartValues());
    AddRow(table, "0012345", "-0.21");
    orvana::station::BoundFields fields;
    fields.saveFileName = "lot 5";
    fields.productNumber = "P-17";
    orvana::records::ReportInformation information;
    information.reportText1 = "first";
    const auto settings = orvana::results::TestSettings::StartValues();
    QVERIFY(exporter.Start(table, fields, information, settings, Texts()));
    QVERIFY(!exporter.Start(table, fields, information, settings, Texts()));  // one at a time
    // Results keep arriving while it is written; they are not in this one.
    AddRow(table, "later", "-0.30");
    table.SetText(1, Column::Serial, "changed");
    QCOMPARE(WaitFinished(spy), std::optional(Outcome::Opened));

    QCOMPARE(opened.size(), 1);
    QCOMPARE(QFileInfo(opened[0]).fileName(), QStringLiteral("lot 5.xlsx"));
    const auto sheets = orvana::testing::ReadWorkbook(opened[0].toStdString());
    QVERIFY(sheets.has_value());
    QCOMPARE(sheets->size(), size_t{2});
    QCOMPARE((*sheets)[0].Rows(), (std::vector<int>{1, 3, 4}));
    QCOMPARE((*sheets)[0].At("B4")->text, std::string("0012345"));
    QCOMPARE((*sheets)[0].At("C1")->text, std::string("D"));
    QCOMPARE((*sheets)[1].At("B1")->text, std::string("P-17"));  // the window's own field
    QCOMPARE((*sheets)[1].At("B4")->text, std::string("first"));

    // The next export gets a file of its own: the first may still be open.
    QVERIFY(exporter.Start(table, fields, information, settings, Texts()));
    QCOMPARE(WaitFinished(spy), std::optional(Outcome::Opened));
    QCOMPARE(opened.size(), 2);
    QVERIFY(opened[1] != opened[0]);
    QVERIFY(QFileInfo::exists(opened[0]));
    QCOMPARE(orvana::testing::ReadWorkbook(opened[1].toStdString())->at(0).Rows().size(),
             size_t{4});
  }

  void nothingToOpenItTellsAndOffersToSave() {
    TempFolder folder;
    QWidget window;
    QStringList suggestions;
    const QString saved = QString::fromStdString(folder / "kept.xlsx");
    ReportExport::Environment environment;
    environment.tempFolder = QString::fromStdString(folder.Path());
    environment.open = [](const QString&) { return false; };
    environment.chooseSaveFile = [&](QWidget*, const QString& suggested) {
      suggestions << suggested;
      return saved;
    };
    environment.now = [] { return orvana::common::LocalTime{2026, 12, 8, 9, 15, 30}; };
    ReportExport exporter(&window, environment);
    const auto [outcome, boxes] = ExportOneRowAnsweringBoxes(exporter);
    QCOMPARE(outcome, std::optional(Outcome::Saved));
    QCOMPARE(boxes, QStringList{QStringLiteral("RL&IL|Cannot make the report")});
    QCOMPARE(suggestions.size(), 1);
    QCOMPARE(QFileInfo(suggestions[0]).fileName(), QStringLiteral("Orvana-20261208-091530.xlsx"));
    QCOMPARE(exporter.LastPath(), saved);
    const auto sheets = orvana::testing::ReadWorkbook(saved.toStdString());
    QVERIFY(sheets.has_value());
    QCOMPARE((*sheets)[0].At("B3")->text, std::string("A1"));
  }

  void nothingToOpenItSaysWhatToInstallAndTheSaveDialogSaysWhatItSaves() {
    // In English, as the user reads it; the save dialog is the real one.
    const orvana::app::Translations english(orvana::texts::kEnglish,
                                            orvana::platform::ExecutableFolder());
    QVERIFY(!english.Files().isEmpty());
    TempFolder folder;
    QWidget window;
    ReportExport::Environment environment;
    environment.tempFolder = QString::fromStdString(folder.Path());
    environment.open = [](const QString&) { return false; };
    ReportExport exporter(&window, environment);
    QString boxText;
    QString fineText;
    QString dialogTitle;
    QStringList dialogFilters;
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxText = box->text();
        fineText = box->informativeText();
        box->done(QMessageBox::Ok);
      } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        dialogTitle = dialog->windowTitle();
        dialogFilters = dialog->nameFilters();
        dialog->reject();
      }
    });
    answer.start(5);
    QSignalSpy spy(&exporter, &ReportExport::finished);
    ResultsTable table;
    AddRow(table, "A1", "-0.21");
    QVERIFY(exporter.Start(table, {}, {}, {}, Texts()));
    QCOMPARE(WaitFinished(spy), std::optional(Outcome::Failed));
    QCOMPARE(boxText, QStringLiteral("Cannot make the report"));  // the language file's
    // What to install, and the command that does it on a line of its own.
    QVERIFY2(fineText.contains(QStringLiteral("Install LibreOffice Calc")), qPrintable(fineText));
    QVERIFY2(fineText.endsWith(QStringLiteral("\nsudo apt install libreoffice-calc")),
             qPrintable(fineText));
    QCOMPARE(dialogTitle, QStringLiteral("Save the report"));
    QCOMPARE(dialogFilters, QStringList{QStringLiteral("Excel workbook (*.xlsx)")});
  }

  void nothingWrittenItTellsAndASaveDialogCancelledEndsIt() {
    TempFolder folder;
    QWidget window;
    int dialogs = 0;
    bool openedAny = false;
    ReportExport::Environment environment;
    environment.tempFolder = QString::fromStdString(folder / "missing");
    environment.open = [&](const QString&) { return openedAny = true; };
    environment.chooseSaveFile = [&](QWidget*, const QString&) {
      // First a place that cannot take it either, then the user gives up.
      return ++dialogs == 1 ? QString::fromStdString(folder / "missing/x.xlsx") : QString();
    };
    ReportExport exporter(&window, environment);
    const auto [outcome, boxes] = ExportOneRowAnsweringBoxes(exporter);
    QCOMPARE(outcome, std::optional(Outcome::Failed));
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(dialogs, 2);
    QVERIFY(!openedAny);
    QVERIFY(!exporter.Busy());
  }

  void aSaveOverADayLogOrAFifoIsRefusedAndLeavesThemAsTheyWere() {
    TempFolder folder;
    std::filesystem::create_directories(folder / "Savetemp/outbox");
    const std::string log = folder / "Savetemp/20261209.txt";
    const std::string logged = "A1   -0.21   55.3   -0.20   56.1   2026/12/09 10:00:00\r\r\n";
    orvana::testing::WriteFile(log, logged);
    const std::string fifo = folder / "fifo";
    QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
    QWidget window;
    QStringList offered;
    ReportExport::Environment environment;
    environment.tempFolder = QString::fromStdString(folder.Path());
    environment.logFolder = folder / "Savetemp";
    environment.open = [](const QString&) { return false; };
    // The user picks the day's log, then a FIFO, then gives up.
    environment.chooseSaveFile = [&](QWidget*, const QString&) {
      const std::vector<std::string> picks = {log, fifo};
      const size_t pick = static_cast<size_t>(offered.size());
      offered << QString::number(pick);
      return pick < picks.size() ? QString::fromStdString(picks[pick]) : QString();
    };
    ReportExport exporter(&window, environment);
    const auto [outcome, boxes] = ExportOneRowAnsweringBoxes(exporter);
    QCOMPARE(outcome, std::optional(Outcome::Failed));
    QCOMPARE(offered.size(), 3);
    QCOMPARE(boxes.size(), 3);  // not opened, then each refusal
    QCOMPARE(orvana::testing::ReadFile(log), logged);
    struct stat info {};
    QCOMPARE(::stat(fifo.c_str(), &info), 0);
    QVERIFY(S_ISFIFO(info.st_mode));
  }

  void aLongExportShowsProgressAndCanBeCancelled() {
    TempFolder folder;
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    bool openedAny = false;
    ReportExport::Environment environment;
    environment.tempFolder = QString::fromStdString(folder.Path());
    environment.open = [&](const QString&) { return openedAny = true; };
    environment.progressDelayMs = 0;
    ReportExport exporter(&window, environment);
    QSignalSpy spy(&exporter, &ReportExport::finished);
    ResultsTable table;
    std::vector<orvana::results::RowTexts> rows(
        400000, {"A1", "-0.21", "55.3", "-0.20", "56.1", "2017/05/03 12:34:56", ""});
    table.InsertRows(0, std::move(rows));

    QVERIFY(exporter.Start(table, {}, {}, {}, Texts()));
    QProgressDialog* progress = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(
        (progress = window.findChild<QProgressDialog*>(QStringLiteral("reportProgress"))), 5000);
    QCOMPARE(progress->labelText(), QStringLiteral("Save report"));
    QCOMPARE(progress->maximum(), 400000);
    auto* cancel = progress->findChild<QPushButton*>();
    QVERIFY(cancel != nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    QCOMPARE(WaitFinished(spy), std::optional(Outcome::Cancelled));
    QVERIFY(!openedAny);
    QVERIFY(QDir(QString::fromStdString(folder.Path()))
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                .isEmpty());
    QVERIFY(window.findChild<QProgressDialog*>() == nullptr);
  }

  void fileNamesAreSafe() {
    const orvana::common::LocalTime time{2026, 1, 2, 3, 4, 5};
    QCOMPARE(ReportExport::FileNameFor("", time), QStringLiteral("Orvana-20260102-030405.xlsx"));
    QCOMPARE(ReportExport::FileNameFor("  ", time), QStringLiteral("Orvana-20260102-030405.xlsx"));
    QCOMPARE(ReportExport::FileNameFor("..", time), QStringLiteral("Orvana-20260102-030405.xlsx"));
    QCOMPARE(ReportExport::FileNameFor("../etc/x", time), QStringLiteral("_etc_x.xlsx"));
    QCOMPARE(ReportExport::FileNameFor("Day.XLSX", time), QStringLiteral("Day.XLSX"));
    QCOMPARE(ReportExport::FileNameFor("报告 5", time), QStringLiteral("报告 5.xlsx"));
    const QString longName = ReportExport::FileNameFor(std::string(300, 'n'), time);
    QVERIFY(longName.toUtf8().size() <= 200);
    QVERIFY(longName.endsWith(QLatin1String(".xlsx")));
  }
};

QTEST_MAIN(ReportExportTest)
#include "test_report_export.moc"
