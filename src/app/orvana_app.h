#pragma once

#include <QApplication>
#include <QStringList>
#include <memory>
#include <optional>

#include "app/demo_meter.h"
#include "app/orvana_dlg.h"

// The program: reads the command line, prepares the fonts, starts the
// simulated meter when asked, and runs the main window until it closes.
namespace orvana::app {

struct AppOptions {
  bool demo = false;
  bool full = false;   // --full: the bench mode, from now on
  bool plain = false;  // --plain: the default window, from now on
};

// Reads the arguments (the program's name first). Nothing when the program
// should end at once (help shown, or a bad option: `exitCode` then says
// which). Needs no display, so --help works in any terminal.
std::optional<AppOptions> ParseAppOptions(const QStringList& arguments, int& exitCode);

class COrvanaApp {
 public:
  COrvanaApp(int& argc, char** argv, AppOptions options);
  int Run();

 private:
  QApplication m_application;
  AppOptions m_options;
  DemoMeter m_demo;
  std::unique_ptr<COrvanaDlg> m_window;
};

}  // namespace orvana::app
