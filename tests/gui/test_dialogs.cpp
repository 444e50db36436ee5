#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <functional>
#include <string>

#include "dialogs/dlalog1.h"
#include "dialogs/messagedlog.h"
#include "records/report_information.h"
#include "results/column.h"
#include "results/results_table.h"
#include "results/settings_record.h"
#include "results/table_operations.h"
#include "support/message_box_answerer.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"

using orvana::dialogs::dlalog1;
using orvana::dialogs::messagedlog;
using orvana::guitest::MessageBoxAnswerer;
using orvana::records::ReportInformation;
using orvana::results::Column;
using orvana::results::ResultsTable;
using orvana::results::TestSettings;

namespace {

template <typename T>
T* Child(QWidget& dialog, const char* name) {
  T* child = dialog.findChild<T*>(QString::fromLatin1(name));
  if (!child) qFatal("no child %s", name);
  return child;
}

QLineEdit* Edit(QWidget& dialog, const char* name) { return Child<QLineEdit>(dialog, name); }

void Open(QWidget& dialog) {
  dialog.show();
  if (!QTest::qWaitForWindowExposed(&dialog)) qFatal("dialog not exposed");
}

// Grabs a look at the dialog when ORVANA_GRAB_DIR names a folder.
void MaybeGrab(QWidget& dialog, const char* file) {
  const QString folder = qEnvironmentVariable("ORVANA_GRAB_DIR");
  if (!folder.isEmpty()) dialog.grab().save(folder + QLatin1Char('/') + QLatin1String(file));
}

// Widgets Tab visits from `start`, in order, once round.
QStringList TabChain(QWidget* start) {
  QStringList names;
  QWidget* widget = start;
  do {
    if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisible() && widget->isEnabled()) {
      names << widget->objectName();
    }
    widget = widget->nextInFocusChain();
  } while (widget != start);
  return names;
}

QString AccessibleName(QWidget* widget) {
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
  return accessible ? accessible->text(QAccessible::Name) : QString();
}

// The label a reader sees for a field: the nearest one on its left whose
// middle is level with the field.
QLabel* LabelBeside(QWidget& dialog, QWidget* field) {
  QLabel* nearest = nullptr;
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    const QRect g = label->geometry();
    const bool level = g.center().y() >= field->y() && g.center().y() <= field->geometry().bottom();
    if (!level || g.right() >= field->x()) continue;
    if (!nearest || g.right() > nearest->geometry().right()) nearest = label;
  }
  return nearest;
}

TestSettings Changed() {
  TestSettings settings = TestSettings::StartValues();
  settings.ilThreshold1 = -0.5f;
  settings.rlThreshold1 = 50.0f;
  settings.ilThreshold2 = -0.7f;
  settings.rlThreshold2 = 45.5f;
  settings.portIndexA = 4;
  settings.portIndexB = 2;
  settings.deviceName = "applied before";
  return settings;
}

// Types a full set of other values into the dialog without applying them.
void TypeOtherValues(dlalog1& dialog) {
  Edit(dialog, "deviceNameEdit")->setText(QStringLiteral("LC/UPC"));
  Edit(dialog, "ilThreshold1Edit")->setText(QStringLiteral("-1"));
  Edit(dialog, "rlThreshold1Edit")->setText(QStringLiteral("40"));
  Edit(dialog, "ilThreshold2Edit")->setText(QStringLiteral("-2"));
  Edit(dialog, "rlThreshold2Edit")->setText(QStringLiteral("41"));
  Child<QRadioButton>(dialog, "multiModeRadio")->click();
  Child<QComboBox>(dialog, "portComboA")->setCurrentIndex(0);
  Child<QComboBox>(dialog, "portComboB")->setCurrentIndex(7);
}

enum class Closing { Button, Enter, Escape, CloseBox };

void Close(QDialog& dialog, Closing how, const char* button, QWidget* edit) {
  switch (how) {
    case Closing::Button:
      Child<QPushButton>(dialog, button)->click();
      break;
    case Closing::Enter:
      QTest::keyClick(edit, Qt::Key_Return);
      break;
    case Closing::Escape:
      QTest::keyClick(&dialog, Qt::Key_Escape);
      break;
    case Closing::CloseBox:
      dialog.close();
      break;
  }
}

}  // namespace

Q_DECLARE_METATYPE(Closing)

class TestDialogs : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { orvana::ui::InstallFontSubstitutions(); }

  void settingsFirstOpeningShowsTheStartValues() {
    TestSettings settings = TestSettings::StartValues();
    settings.deviceName = "typed last time";
    dlalog1 dialog(settings, nullptr);
    Open(dialog);
    MaybeGrab(dialog, "dlalog1.png");

    QCOMPARE(dialog.windowTitle(), QString::fromUtf8("设置\u2026\u2026"));
    QCOMPARE(Edit(dialog, "deviceNameEdit")->text(), QStringLiteral("FC/APC-2.0"));
    QCOMPARE(Edit(dialog, "ilThreshold1Edit")->text(), QStringLiteral("-0.3"));
    QCOMPARE(Edit(dialog, "rlThreshold1Edit")->text(), QStringLiteral("55"));
    QCOMPARE(Edit(dialog, "ilThreshold2Edit")->text(), QStringLiteral("-0.3"));
    QCOMPARE(Edit(dialog, "rlThreshold2Edit")->text(), QStringLiteral("55"));
    for (const char* name : {"portComboA", "portComboB"}) {
      auto* combo = Child<QComboBox>(dialog, name);
      QStringList items;
      for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
      QCOMPARE(items.join(QLatin1Char(' ')), QStringLiteral("0 1 2 4 8 12 16 24 36 48 64"));
      QCOMPARE(combo->currentText(), QStringLiteral("1"));
      QVERIFY(!combo->isEnabled());
    }
    QVERIFY(Child<QRadioButton>(dialog, "singleModeRadio")->isChecked());
    QVERIFY(!Child<QRadioButton>(dialog, "multiModeRadio")->isChecked());
    const auto checkBoxes = dialog.findChildren<QCheckBox*>();
    QCOMPARE(checkBoxes.size(), 4);
    for (const QCheckBox* box : checkBoxes) QVERIFY(!box->isEnabled() && !box->isChecked());
    QVERIFY(!Child<QPushButton>(dialog, "cancelButton")->isVisible());

    // Laid out in dialog units of its own 8-point font; Tab follows the
    // template, which is not the order the thresholds are exchanged in.
    const orvana::ui::DialogUnits units(orvana::ui::DialogFont(8));
    QCOMPARE(dialog.size(), units.Size(332, 255));
    QCOMPARE(Child<QPushButton>(dialog, "exitButton")->geometry(), units.Rect(275, 234, 50, 14));
    QCOMPARE(Edit(dialog, "ilThreshold2Edit")->geometry(), units.Rect(213, 183, 41, 12));
    QCOMPARE(Child<QRadioButton>(dialog, "multiModeRadio")->pos(), units.Point(197, 94));
    QCOMPARE(dialog.focusWidget(), Child<QPushButton>(dialog, "exitButton"));
    QCOMPARE(TabChain(dialog.focusWidget()),
             QStringList({"exitButton", "applyButton", "deviceNameEdit", "ilThreshold1Edit",
                          "rlThreshold1Edit", "ilThreshold2Edit", "rlThreshold2Edit"}));
  }

  void settingsApplyStoresThePortCountsByTheRule_data() {
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("storedA");
    QTest::addColumn<int>("storedB");
    QTest::newRow("0/0") << 0 << 0 << 1 << 0;
    QTest::newRow("0/4") << 0 << 3 << 3 << 0;
    QTest::newRow("2/0") << 2 << 0 << 2 << 0;
    QTest::newRow("1/1 as opened") << -1 << -1 << 1 << 1;
  }
  void settingsApplyStoresThePortCountsByTheRule() {
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, storedA);
    QFETCH(int, storedB);
    TestSettings settings = TestSettings::StartValues();
    dlalog1 dialog(settings, nullptr);
    Open(dialog);
    // The boxes are disabled: only the program can change their selection.
    if (a >= 0) Child<QComboBox>(dialog, "portComboA")->setCurrentIndex(a);
    if (b >= 0) Child<QComboBox>(dialog, "portComboB")->setCurrentIndex(b);
    Child<QPushButton>(dialog, "applyButton")->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(settings.portIndexA, storedA);
    QCOMPARE(settings.portIndexB, storedB);
  }

  void settingsApplyWritesEverythingBeforeTheDialogGoes() {
    TestSettings settings = TestSettings::StartValues();
    ResultsTable table;
    int calls = 0;
    bool openDuringCall = false;
    {
      dlalog1* opened = nullptr;
      dlalog1 dialog(settings, [&] {
        ++calls;
        openDuringCall = opened->isVisible();
        orvana::results::ApplySettings(table, settings);
      });
      opened = &dialog;
      Open(dialog);
      Child<QRadioButton>(dialog, "multiModeRadio")->click();
      Edit(dialog, "deviceNameEdit")->setText(QString::fromUtf8("SC/UPC 测试"));
      Edit(dialog, "ilThreshold1Edit")->setText(QStringLiteral(" -0.5 "));
      Edit(dialog, "rlThreshold1Edit")->setText(QStringLiteral("60"));
      Edit(dialog, "ilThreshold2Edit")->setText(QStringLiteral("-7e-1"));
      Edit(dialog, "rlThreshold2Edit")->setText(QStringLiteral("+45.25"));
      Child<QPushButton>(dialog, "applyButton")->click();
      QVERIFY(!dialog.isVisible());
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    QCOMPARE(calls, 1);
    QVERIFY2(openDuringCall, "the window is told while the dialog is still up");
    QCOMPARE(table.RowCount(), 1);
    QCOMPARE(table.Text(0, Column::Value1), std::string("850nm"));
    QCOMPARE(table.Text(0, Column::Value4), std::string("1300nm"));
    QVERIFY(settings.multiMode);
    QCOMPARE(settings.deviceName, std::string("SC/UPC 测试"));
    QCOMPARE(settings.ilThreshold1, -0.5f);
    QCOMPARE(settings.rlThreshold1, 60.0f);
    QCOMPARE(settings.ilThreshold2, -0.7f);
    QCOMPARE(settings.rlThreshold2, 45.25f);

    // The next opening loads the record, except the device name.
    dlalog1 next(settings, nullptr);
    Open(next);
    QVERIFY(Child<QRadioButton>(next, "multiModeRadio")->isChecked());
    QVERIFY(!Child<QRadioButton>(next, "singleModeRadio")->isChecked());
    QCOMPARE(Edit(next, "deviceNameEdit")->text(), QStringLiteral("FC/APC-2.0"));
    QCOMPARE(Edit(next, "ilThreshold1Edit")->text(), QStringLiteral("-0.5"));
    QCOMPARE(Edit(next, "ilThreshold2Edit")->text(), QStringLiteral("-0.7"));
    QCOMPARE(Edit(next, "rlThreshold2Edit")->text(), QStringLiteral("45.25"));
  }

  void settingsClosedWithoutApplyChangeNothing_data() {
    QTest::addColumn<Closing>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("退出") << Closing::Button << int(QDialog::Accepted);
    QTest::newRow("Enter") << Closing::Enter << int(QDialog::Accepted);
    QTest::newRow("Esc") << Closing::Escape << int(QDialog::Rejected);
    QTest::newRow("close box") << Closing::CloseBox << int(QDialog::Rejected);
  }
  void settingsClosedWithoutApplyChangeNothing() {
    QFETCH(Closing, how);
    QFETCH(int, result);
    TestSettings settings = Changed();
    int calls = 0;
    dlalog1 dialog(settings, [&] { ++calls; });
    Open(dialog);
    TypeOtherValues(dialog);
    MessageBoxAnswerer answerer;
    Close(dialog, how, "exitButton", Edit(dialog, "rlThreshold1Edit"));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), result);
    QVERIFY(answerer.texts.isEmpty());
    QCOMPARE(calls, 0);
    QVERIFY(settings == Changed());
  }

  void settingsThresholdThatIsNotANumberAppliesNothing_data() {
    QTest::addColumn<QString>("bad");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("button");
    QTest::newRow("abc, 应用") << "abc"
                               << "ilThreshold1Edit"
                               << "applyButton";
    QTest::newRow("1.5x, 应用") << "1.5x"
                                << "rlThreshold2Edit"
                                << "applyButton";
    QTest::newRow("nan, 应用") << "nan"
                               << "ilThreshold2Edit"
                               << "applyButton";
    QTest::newRow("abc, 退出") << "abc"
                               << "rlThreshold1Edit"
                               << "exitButton";
    QTest::newRow("nan, 退出") << " nan "
                               << "ilThreshold1Edit"
                               << "exitButton";
  }
  void settingsThresholdThatIsNotANumberAppliesNothing() {
    QFETCH(QString, bad);
    QFETCH(QString, edit);
    QFETCH(QString, button);
    TestSettings settings = Changed();
    int calls = 0;
    dlalog1 dialog(settings, [&] { ++calls; });
    Open(dialog);
    TypeOtherValues(dialog);  // the thresholds read before the bad one are valid
    QLineEdit* badEdit = Edit(dialog, edit.toLatin1().constData());
    badEdit->setText(bad);
    {
      MessageBoxAnswerer answerer;
      Child<QPushButton>(dialog, button.toLatin1().constData())->click();
      QCOMPARE(answerer.texts.size(), 1);
      QVERIFY(answerer.texts.front().contains(QString::fromUtf8("数字")));
    }
    QVERIFY(dialog.isVisible());
    QCOMPARE(calls, 0);
    QVERIFY(settings == Changed());
    QCOMPARE(dialog.focusWidget(), badEdit);
    QCOMPARE(badEdit->selectedText(), bad);

    // Corrected, the same dialog applies.
    badEdit->setText(QStringLiteral("3"));
    Child<QPushButton>(dialog, "applyButton")->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(calls, 1);
    QCOMPARE(settings.portIndexA, 7);  // B's "24" moved to A
    QCOMPARE(settings.deviceName, std::string("LC/UPC"));
  }

  void settingsThresholdsAreReadInTheirBoundOrder() {
    // 1014 is exchanged before 1013, though Tab reaches 1013 first.
    TestSettings settings = TestSettings::StartValues();
    dlalog1 dialog(settings, nullptr);
    Open(dialog);
    Edit(dialog, "rlThreshold1Edit")->setText(QStringLiteral("x"));
    Edit(dialog, "ilThreshold2Edit")->setText(QStringLiteral("y"));
    {
      MessageBoxAnswerer answerer;
      Child<QPushButton>(dialog, "applyButton")->click();
      QCOMPARE(answerer.texts.size(), 1);
    }
    QCOMPARE(dialog.focusWidget(), Edit(dialog, "ilThreshold2Edit"));
  }

  void everyEditIsNamedForAScreenReader() {
    TestSettings settings = TestSettings::StartValues();
    dlalog1 settingsDialog(settings, nullptr);
    Open(settingsDialog);
    int named = 0;
    for (QLineEdit* edit : settingsDialog.findChildren<QLineEdit*>()) {
      // The field of a drop-down combo is named as its combo is.
      QWidget* field = edit;
      if (auto* combo = qobject_cast<QComboBox*>(edit->parentWidget())) field = combo;
      QLabel* label = LabelBeside(settingsDialog, field);
      QVERIFY2(label, qPrintable(field->objectName()));
      QCOMPARE(label->buddy(), field);
      const QString expected = label->text().remove(QLatin1Char('&'));
      QVERIFY(!expected.isEmpty());
      QCOMPARE(AccessibleName(edit), expected);
      if (field != edit) {
        // A combo reads out its value as its name; the label is its relation.
        bool labelled = false;
        const auto relations =
            QAccessible::queryAccessibleInterface(field)->relations(QAccessible::Label);
        for (const auto& relation : relations) {
          labelled = labelled || relation.first->object() == label;
        }
        QVERIFY2(labelled, qPrintable(field->objectName()));
      }
      ++named;
    }
    QCOMPARE(named, 7);  // the device name, two port counts, four thresholds

    ReportInformation information;
    messagedlog reportDialog(information, nullptr);
    Open(reportDialog);
    QCOMPARE(reportDialog.findChildren<QLineEdit*>().size(), 4);
    // Each edit by the name the report's information sheet gives its text.
    for (size_t k = 0; k < 4; ++k) {
      const std::string edit = "reportText" + std::to_string(k + 1) + "Edit";
      const QString name = AccessibleName(Edit(reportDialog, edit.c_str()));
      QVERIFY(!name.isEmpty());
      QCOMPARE(name, QString::fromUtf8(orvana::records::kReportTextNames[k]));
    }
  }

  void reportTextsAreKeptByApplyAsTyped() {
    ReportInformation information;
    information.productNumber = "P-1";
    {
      messagedlog dialog(information, nullptr);
      Open(dialog);
      MaybeGrab(dialog, "messagedlog.png");
      QCOMPARE(dialog.windowTitle(), QString::fromUtf8("信息"));
      QCOMPARE(dialog.focusWidget(), Child<QPushButton>(dialog, "cancelButton"));
      QVERIFY(!Child<QPushButton>(dialog, "okButton")->isVisible());
      QCOMPARE(TabChain(dialog.focusWidget()),
               QStringList({"cancelButton", "reportText1Edit", "reportText2Edit", "reportText3Edit",
                            "reportText4Edit", "applyButton"}));
      for (const char* name :
           {"reportText1Edit", "reportText2Edit", "reportText3Edit", "reportText4Edit"}) {
        QVERIFY(Edit(dialog, name)->text().isEmpty());
      }
      Edit(dialog, "reportText1Edit")->setText(QString::fromUtf8("  批次 7 "));
      Edit(dialog, "reportText2Edit")->setText(QStringLiteral("two"));
      Edit(dialog, "reportText3Edit")->setText(QStringLiteral("three"));
      Edit(dialog, "reportText4Edit")->setText(QStringLiteral("four"));
      Child<QPushButton>(dialog, "applyButton")->click();
      QVERIFY(!dialog.isVisible());
      QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
    QCOMPARE(information.reportText1, std::string("  批次 7 "));
    QCOMPARE(information.reportText4, std::string("four"));
    QCOMPARE(information.productNumber, std::string("P-1"));
    {
      messagedlog dialog(information, nullptr);
      Open(dialog);
      QCOMPARE(Edit(dialog, "reportText1Edit")->text(), QString::fromUtf8("  批次 7 "));
      QCOMPARE(Edit(dialog, "reportText3Edit")->text(), QStringLiteral("three"));
      Edit(dialog, "reportText2Edit")->clear();
      Child<QPushButton>(dialog, "applyButton")->click();
    }
    ReportInformation expected = information;
    expected.reportText2.clear();
    QVERIFY(information == expected);
    QCOMPARE(information.reportText3, std::string("three"));
  }

  void reportTextsAreNotKeptOtherwise_data() {
    QTest::addColumn<Closing>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("取消") << Closing::Button << int(QDialog::Rejected);
    QTest::newRow("Enter") << Closing::Enter << int(QDialog::Accepted);
    QTest::newRow("Esc") << Closing::Escape << int(QDialog::Rejected);
    QTest::newRow("close box") << Closing::CloseBox << int(QDialog::Rejected);
  }
  void reportTextsAreNotKeptOtherwise() {
    QFETCH(Closing, how);
    QFETCH(int, result);
    ReportInformation information;
    information.reportText1 = "applied 1";
    information.reportText3 = "applied 3";
    const ReportInformation before = information;
    messagedlog dialog(information, nullptr);
    Open(dialog);
    QCOMPARE(Edit(dialog, "reportText3Edit")->text(), QStringLiteral("applied 3"));
    for (const char* name :
         {"reportText1Edit", "reportText2Edit", "reportText3Edit", "reportText4Edit"}) {
      Edit(dialog, name)->setText(QStringLiteral("typed"));
    }
    Close(dialog, how, "cancelButton", Edit(dialog, "reportText2Edit"));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), result);
    QVERIFY(information == before);
  }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
