// The window in English and in Chinese: every text the code asks to
// translate has its English in the built translation, the window and its
// dialogs then show no Chinese and every caption fits, and in Chinese Qt's
// own buttons are Chinese too.
#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QXmlStreamReader>
#include <QtTest>

#include "app/template_texts.h"
#include "app/translations.h"
#include "platform/user_folders.h"
#include "dialogs/dlalog1.h"
#include "dialogs/messagedlog.h"
#include "gui/window_fixture.h"
#include "records/report_information.h"
#include "results/settings_record.h"

using namespace orvana;
using app::Translations;

namespace {

// Chinese: an ideograph, or the full-width punctuation that goes with them.
bool HoldsIdeograph(const QString& text) {
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if ((u >= 0x4E00 && u <= 0x9FFF) || (u >= 0x3000 && u <= 0x303F) ||
        (u >= 0xFF00 && u <= 0xFFEF)) {
      return true;
    }
  }
  return false;
}

struct Message {
  QString context;
  QString source;
  QString translation;
  QString type;  // "unfinished", "vanished", "obsolete", or empty when done
};

std::vector<Message> ReadTranslationFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) qFatal("cannot read %s", qPrintable(path));
  QXmlStreamReader xml(&file);
  std::vector<Message> messages;
  QString context;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    const auto name = xml.name();
    if (name == QLatin1String("context")) {
      context.clear();
    } else if (name == QLatin1String("name")) {
      context = xml.readElementText();
    } else if (name == QLatin1String("message")) {
      messages.push_back({context, {}, {}, {}});
    } else if (name == QLatin1String("source") && !messages.empty()) {
      messages.back().source = xml.readElementText();
    } else if (name == QLatin1String("translation") && !messages.empty()) {
      messages.back().type = xml.attributes().value(QLatin1String("type")).toString();
      messages.back().translation = xml.readElementText();
    }
  }
  if (xml.hasError()) qFatal("%s: %s", qPrintable(path), qPrintable(xml.errorString()));
  return messages;
}

// Every text a widget below `top` shows or is named by, with where it is.
QStringList ShownTexts(QWidget& top) {
  QStringList texts;
  const auto note = [&texts](const QWidget* widget, const QString& text) {
    if (!text.isEmpty()) {
      texts << QStringLiteral("%1 %2: %3")
                   .arg(QString::fromLatin1(widget->metaObject()->className()),
                        widget->objectName(), text);
    }
  };
  QList<QWidget*> widgets = top.findChildren<QWidget*>();
  widgets.prepend(&top);
  for (QWidget* widget : widgets) {
    note(widget, widget->windowTitle());
    note(widget, widget->toolTip());
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      note(widget, button->text());
      note(widget, button->accessibleName());
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
      note(widget, label->text());
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
      note(widget, group->title());
    }
  }
  return texts;
}

QStringList Chinese(const QStringList& texts) {
  QStringList chinese;
  for (const QString& text : texts) {
    if (HoldsIdeograph(text)) chinese << text;
  }
  return chinese;
}

// The captions of a dialog laid out in fixed places that do not show whole,
// or reach over the line of a frame.
QStringList CutCaptions(QWidget& dialog) {
  QStringList cut;
  const auto groups = dialog.findChildren<QGroupBox*>();
  for (QWidget* widget : dialog.findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(&dialog) || widget->parentWidget() != &dialog) continue;
    for (const QGroupBox* group : groups) {
      if (group != widget && group->geometry().intersects(widget->geometry()) &&
          !group->geometry().adjusted(2, 2, -2, -2).contains(widget->geometry())) {
        cut << widget->objectName() + QLatin1String(" over the frame of ") + group->title();
      }
    }
    const QFontMetrics metrics = widget->fontMetrics();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      if (metrics.horizontalAdvance(label->text()) > label->contentsRect().width()) {
        cut << QStringLiteral("%1 (%2 > %3)")
                   .arg(label->text())
                   .arg(metrics.horizontalAdvance(label->text()))
                   .arg(label->contentsRect().width());
      }
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      // A push button's hint has a minimum width of its own; its text needs
      // only the margins.
      const int needed =
          qobject_cast<QPushButton*>(button)
              ? metrics.horizontalAdvance(button->text()) +
                    2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button)
              : button->sizeHint().width();
      if (needed > button->width()) {
        cut << QStringLiteral("%1 (%2 > %3)").arg(button->text()).arg(needed).arg(button->width());
      }
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
      if (metrics.horizontalAdvance(group->title()) + metrics.averageCharWidth() * 2 >
          group->width()) {
        cut << group->title();
      }
    }
  }
  return cut;
}

}  // namespace

class TranslationsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { guitest::PrepareApplication(); }

  void everyTextOfTheCodeHasItsEnglishInTheBuiltTranslation() {
    // What the code asks to translate today, as lupdate finds it, taken into
    // a copy of the translation: a text the translation lacks comes in
    // unfinished, one the code no longer has stays as vanished.
    testing::TempFolder folder;
    const QString copy = QString::fromStdString(folder / "orvana_en.ts");
    QVERIFY(QFile::copy(QStringLiteral(ORVANA_TS_FILE), copy));
    QStringList arguments = QString::fromLatin1(ORVANA_LUPDATE_OPTIONS).split(QLatin1Char(' '));
    arguments << QStringLiteral("-silent") << QStringLiteral(ORVANA_SOURCE_DIR)
              << QStringLiteral("-ts") << copy;
    QProcess lupdate;
    lupdate.start(QStringLiteral(ORVANA_LUPDATE), arguments);
    QVERIFY(lupdate.waitForFinished(120000));
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0,
             lupdate.readAllStandardError().constData());
    const std::vector<Message> messages = ReadTranslationFile(copy);

    const Translations english(texts::kEnglish, platform::ExecutableFolder());
    QCOMPARE(english.Files().size(), 1);
    QSet<QString> found;
    for (const Message& message : messages) {
      const QString what = message.context + QLatin1String(": ") + message.source;
      QVERIFY2(message.type.isEmpty(), qPrintable(what + QLatin1String(" is ") + message.type));
      QVERIFY2(!message.translation.isEmpty() && message.translation != message.source &&
                   !HoldsIdeograph(message.translation),
               qPrintable(what + QLatin1String(" -> ") + message.translation));
      // The window gets what the translation says, through the installed file.
      QCOMPARE(QCoreApplication::translate(message.context.toUtf8().constData(),
                                           message.source.toUtf8().constData()),
               message.translation);
      found.insert(what);
    }
    // lupdate saw the templates' captions, and each reads in English.
    for (const char* caption :
         {app::captions::kOk, app::captions::kImport, app::captions::kScannerLabel,
          app::captions::kReportGroup, app::captions::kProductNumber, app::captions::kOrderNumber,
          app::captions::kSaveFileName, app::captions::kInfoHint, app::captions::kSettingsHint,
          app::captions::kAboutTitle, app::captions::kAboutText, app::captions::kAboutMenuItem,
          app::captions::kOutcomePass, app::captions::kOutcomeFail}) {
      QVERIFY2(found.contains(QString::fromLatin1(app::captions::kContext) + QLatin1String(": ") +
                              QString::fromUtf8(caption)),
               caption);
      QVERIFY2(!HoldsIdeograph(app::captions::Caption(caption)), caption);
    }
  }

  void inEnglishTheWindowAndItsDialogsShowNoChineseAndFit() {
    const Translations english(texts::kEnglish, platform::ExecutableFolder());
    QVERIFY(!english.Files().isEmpty());

    testing::TempFolder folder;
    auto options = guitest::WindowOptions(folder, {{"pty", "/tmp/orvana-no-such-port"}});
    std::filesystem::copy_file(ORVANA_LANG_DIR "/en/language.ini", folder / "language.ini",
                               std::filesystem::copy_options::overwrite_existing);
    options.full = true;
    app::COrvanaDlg window(std::move(options));
    window.resize(1280, 800);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QStringList texts = ShownTexts(window);
    QCOMPARE(window.Controls().import->text(), QStringLiteral("Import backup"));

    // The context menu and the About box it opens.
    QStringList menuItems;
    guitest::Poller menu([&] {
      auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!popup) return false;
      for (const QAction* action : popup->actions()) menuItems << action->text();
      popup->close();
      return true;
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20),
                            window.mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(&window, &event);
    QTRY_VERIFY(menu.Done());
    QVERIFY(menuItems.contains(QStringLiteral("&About Orvana...")));
    texts << menuItems;
    guitest::Poller about([&] {
      auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!box) return false;
      texts << ShownTexts(*box);
      box->accept();
      return true;
    });
    QTest::keyClick(&window, Qt::Key_F1);
    QTRY_VERIFY(about.Done());

    results::TestSettings settings = results::TestSettings::StartValues();
    dialogs::dlalog1 settingsDialog(settings, nullptr);
    settingsDialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&settingsDialog));
    texts << ShownTexts(settingsDialog);
    QCOMPARE(settingsDialog.findChild<QPushButton*>(QStringLiteral("exitButton"))->text(),
             QStringLiteral("Exit"));
    const QStringList cutSettingsDialog = CutCaptions(settingsDialog);
    QVERIFY2(cutSettingsDialog.isEmpty(), qPrintable(cutSettingsDialog.join(QLatin1String(" | "))));
    // A threshold that is no number: the box says so in English, and its
    // button is Qt's own.
    settingsDialog.findChild<QLineEdit*>(QStringLiteral("ilThreshold1Edit"))
        ->setText(QStringLiteral("abc"));
    QString boxText;
    QStringList boxButtons;
    guitest::Poller answer([&] {
      QMessageBox* box = guitest::OpenBox();
      if (!box) return false;
      boxText = box->text();
      for (const QAbstractButton* button : box->buttons()) boxButtons << button->text();
      box->accept();
      return true;
    });
    settingsDialog.findChild<QPushButton*>(QStringLiteral("applyButton"))->click();
    QTRY_VERIFY(answer.Done());
    QCOMPARE(boxText, QStringLiteral("Please enter a number."));
    QCOMPARE(boxButtons, QStringList{QStringLiteral("OK")});

    records::ReportInformation information;
    dialogs::messagedlog reportDialog(information, nullptr);
    reportDialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&reportDialog));
    texts << ShownTexts(reportDialog);
    const QStringList cutReportDialog = CutCaptions(reportDialog);
    QVERIFY2(cutReportDialog.isEmpty(), qPrintable(cutReportDialog.join(QLatin1String(" | "))));

    const QStringList chinese = Chinese(texts);
    QVERIFY2(chinese.isEmpty(), qPrintable(chinese.join(QLatin1String(" | "))));
  }

  void inChineseQtsOwnButtonsAreChineseAndTheCaptionsAsWritten() {
    const Translations chinese(texts::kChinese, platform::ExecutableFolder());
    QCOMPARE(chinese.Files().size(), 1);
    QVERIFY(chinese.Files().front().endsWith(QLatin1String("/qtbase_zh_CN.qm")));
    QMessageBox box(QMessageBox::Question, QStringLiteral("IL&RL"), QStringLiteral("?"),
                    QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.button(QMessageBox::Ok)->text(), QString::fromUtf8("确定"));
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QString::fromUtf8("取消"));
    QVERIFY(box.button(QMessageBox::Yes)->text().startsWith(QString::fromUtf8("是")));
    QVERIFY(box.button(QMessageBox::No)->text().startsWith(QString::fromUtf8("否")));

    results::TestSettings settings = results::TestSettings::StartValues();
    dialogs::dlalog1 dialog(settings, nullptr);
    QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("exitButton"))->text(),
             QString::fromUtf8("退出"));
    QCOMPARE(app::captions::Caption(app::captions::kImport), QString::fromUtf8("导入备份数据"));
  }
};

QTEST_MAIN(TranslationsTest)
#include "test_translations.moc"
