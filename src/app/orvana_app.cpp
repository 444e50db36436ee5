#include "app/orvana_app.h"

#include <QCommandLineParser>
#include <QMessageBox>
#include <cstdio>
#include <filesystem>

#include "app/bench_mode_setting.h"
#include "app/quit_on_signal.h"
#include "app/translations.h"
#include "platform/user_folders.h"
#include "store/store_config.h"
#include "texts/work_place.h"
#include "ui/fonts.h"

namespace orvana::app {
namespace {

// Written out rather than made by QCommandLineParser: its help names the
// program only once a QApplication exists, and --help must work without a
// display.
constexpr const char* kHelp =
    "Usage: orvana [--demo] [--full | --plain]\n"
    "\n"
    "Orvana: the companion of the IL&RL meter. Pick the meter's serial port, press connect,\n"
    "and every recorded result becomes a coloured row (red: below its threshold) and a line\n"
    "of the day's log.\n"
    "\n"
    "Options:\n"
    "  --demo      Start a simulated meter (orvana-sim --demo) on a pseudo-terminal, list it\n"
    "              first in the port list and select it; it stops when the window closes.\n"
    "  --full      Also show the controls the window normally hides (settings, information\n"
    "              and import buttons, the serial-number entry for a barcode scanner, the\n"
    "              value fields, the report inputs) and run the one-second tick that sends\n"
    "              the keep-alive and checks the scanned serial number; a verdict column,\n"
    "              the day's counts and a look made to be read from a step away. The bench\n"
    "              mode is remembered: later starts without an option open it too.\n"
    "  --plain     The default window, from now on.\n"
    "  -h, --help  Show this help and end.\n"
    "\n"
    "F1 or the window's context menu opens the About box.\n"
    "\n"
    "Texts and logs: started in a folder with its own language.ini (a bench set up for the\n"
    "meter), Orvana reads its texts from it and logs into Savetemp/YYYYMMDD.txt there.\n"
    "Started anywhere else (from the desktop's menu), it reads the installed texts of the\n"
    "language that ORVANA_LANG names (en, zh_CN), else of the locale, and logs into\n"
    "$XDG_DATA_HOME/orvana/Savetemp/ (~/.local/share/orvana/Savetemp/ by default).\n"
    "ORVANA_FULL=1 (or 0) opens the bench mode (or the default window) for this start only;\n"
    "the choice of --full and --plain is kept in $XDG_CONFIG_HOME/orvana/orvana.conf.\n"
    "ORVANA_TRACE=stderr (or a file's path) shows the diagnostic traces.\n"
    "\n"
    "The line's database: ORVANA_DATABASE, a libpq connection string (its password in\n"
    "~/.pgpass or PGPASSFILE), makes every result go there too, through Savetemp/outbox/;\n"
    "ORVANA_BENCH names the bench (default: the host name). See orvana-cli(1).\n";

}  // namespace

std::optional<AppOptions> ParseAppOptions(const QStringList& arguments, int& exitCode) {
  QCommandLineParser parser;
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption demo(QStringLiteral("demo"));
  const QCommandLineOption full(QStringLiteral("full"));
  const QCommandLineOption plain(QStringLiteral("plain"));
  parser.addOption(help);
  parser.addOption(demo);
  parser.addOption(full);
  parser.addOption(plain);
  if (!parser.parse(arguments)) {
    std::fprintf(stderr, "orvana: %s\n\n%s", qPrintable(parser.errorText()), kHelp);
    exitCode = 64;
    return std::nullopt;
  }
  if (parser.isSet(help)) {
    std::fputs(kHelp, stdout);
    exitCode = 0;
    return std::nullopt;
  }
  if (parser.isSet(full) && parser.isSet(plain)) {
    std::fprintf(stderr, "orvana: --full and --plain exclude each other\n\n%s", kHelp);
    exitCode = 64;
    return std::nullopt;
  }
  return AppOptions{parser.isSet(demo), parser.isSet(full), parser.isSet(plain)};
}

COrvanaApp::COrvanaApp(int& argc, char** argv, AppOptions options)
    : m_application(argc, argv), m_options(options) {
  QApplication::setApplicationName(QStringLiteral("Orvana"));
  // The version the About box names.
  QApplication::setApplicationVersion(QStringLiteral("1.0"));
  QApplication::setDesktopFileName(QStringLiteral("orvana"));
}

int COrvanaApp::Run() {
  ui::InstallFontSubstitutions();
  QApplication::setFont(ui::DialogFont(9));

  WindowOptions windowOptions;
  windowOptions.full = DecideBenchMode(m_options);
  windowOptions.startDirectory = std::filesystem::current_path().string();
  const texts::WorkPlace place = texts::FindWorkPlaceOfProcess(texts::UserLogFolder());
  // Before anything is shown: the captions, and Qt's buttons in every box,
  // speak the work place's language.
  const Translations translations(place.language, platform::ExecutableFolder());
  windowOptions.languageFile = place.languageFile;
  windowOptions.logFolder = place.logFolder;
  windowOptions.store = store::StoreConfigFromEnvironment();
  if (m_options.demo) {
    QString error;
    if (const auto port = m_demo.Start(error)) {
      windowOptions.firstPort = link::PortEntry{"orvana-sim", port->toStdString()};
    } else {
      QMessageBox::warning(nullptr, QStringLiteral("Orvana"), error);
    }
  }
  m_window = std::make_unique<COrvanaDlg>(ComposeWindow(std::move(windowOptions)));
  m_window->showMaximized();
  QuitOnSignal quitOnSignal;
  const int result = QApplication::exec();
  // The window, and with it the line, goes before the meter it talks to.
  m_window.reset();
  m_demo.Stop();
  return result;
}

}  // namespace orvana::app
