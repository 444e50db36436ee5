#include "app/orvana_app.h"

#include <QCommandLineParser>
#include <QMessageBox>
#include <cstdio>
#include <filesystem>

#include "app/quit_on_signal.h"
#include "app/work_place.h"
#include "ui/fonts.h"

namespace orvana::app {
namespace {

constexpr const char* kDescription =
    "Orvana: the companion of the IL&RL meter. Pick the meter's serial port, press connect,\n"
    "and every recorded result becomes a coloured row (red: below its threshold) and a line\n"
    "of the day's log, Savetemp/YYYYMMDD.txt in the folder the program was started from,\n"
    "where it also reads language.ini.";

}  // namespace

std::optional<AppOptions> ParseAppOptions(const QStringList& arguments, int& exitCode) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QString::fromUtf8(kDescription));
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Show this help and end."));
  const QCommandLineOption demo(
      QStringLiteral("demo"),
      QStringLiteral("Start a simulated meter (orvana-sim --demo) on a pseudo-terminal, list it "
                     "first in the port list and select it; it stops when the window closes. "
                     "Press connect to see the greeting, the stored records and results."));
  const QCommandLineOption full(
      QStringLiteral("full"),
      QStringLiteral("Also show the controls the window normally hides (settings, information "
                     "and import buttons, the serial-number entry for a barcode scanner, the "
                     "value fields, the report inputs) and run the one-second tick that sends "
                     "the keep-alive and checks the scanned serial number."));
  parser.addOption(help);
  parser.addOption(demo);
  parser.addOption(full);
  if (!parser.parse(arguments)) {
    std::fprintf(stderr, "%s\n\n%s", qPrintable(parser.errorText()), qPrintable(parser.helpText()));
    exitCode = 64;
    return std::nullopt;
  }
  if (parser.isSet(help)) {
    std::fputs(qPrintable(parser.helpText()), stdout);
    exitCode = 0;
    return std::nullopt;
  }
  return AppOptions{parser.isSet(demo), parser.isSet(full)};
}

COrvanaApp::COrvanaApp(int& argc, char** argv, AppOptions options)
    : m_application(argc, argv), m_options(options) {
  QApplication::setApplicationName(QStringLiteral("Orvana"));
  QApplication::setApplicationVersion(QStringLiteral("1.0"));
  QApplication::setDesktopFileName(QStringLiteral("orvana"));
}

int COrvanaApp::Run() {
  ui::InstallFontSubstitutions();
  QApplication::setFont(ui::DialogFont(9));

  COrvanaDlg::Options windowOptions;
  windowOptions.full = m_options.full;
  windowOptions.startDirectory = std::filesystem::current_path().string();
  const WorkPlace place = FindWorkPlaceOfProcess(UserLogFolder());
  windowOptions.languageFile = place.languageFile;
  windowOptions.logFolder = place.logFolder;
  if (m_options.demo) {
    QString error;
    if (const auto port = m_demo.Start(error)) {
      windowOptions.firstPort = link::PortEntry{"orvana-sim", port->toStdString()};
    } else {
      QMessageBox::warning(nullptr, QStringLiteral("Orvana"), error);
    }
  }
  m_window = std::make_unique<COrvanaDlg>(std::move(windowOptions));
  m_window->showMaximized();
  QuitOnSignal quitOnSignal;
  const int result = QApplication::exec();
  // The window, and with it the line, goes before the meter it talks to.
  m_window.reset();
  m_demo.Stop();
  return result;
}

}  // namespace orvana::app
