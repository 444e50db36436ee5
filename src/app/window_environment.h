#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/report_export.h"
#include "link/port_discovery.h"
#include "store/result_store.h"
#include "store/store_config.h"
#include "texts/message_texts.h"

// What the main window is made of: the texts, the log folder, the line's
// record, the port list and the ways files are picked and reports opened.
// The program composes it once, from where it was started; the window only
// wires it up.
namespace orvana::app {

// How the program was started, as the program (or a test) says it.
struct WindowOptions {
  // Show the controls the template hides and run the one-second tick.
  bool full = false;
  // The folder the program was started in: language.ini and Savetemp.
  std::string startDirectory;
  // Where the texts and the day logs are when not in the start folder
  // (the program was started where nobody set up a bench); empty: there.
  std::string languageFile;
  std::string logFolder;
  // Listed first and selected (the simulated meter of --demo).
  std::optional<link::PortEntry> firstPort;
  // Lists the machine's ports; replaceable so tests need no hardware.
  std::function<std::vector<link::PortEntry>()> discoverPorts;
  // Picks the log to import; empty: nothing chosen. Tests replace the dialog.
  std::function<QString(QWidget& parent)> chooseImportFile;
  // How the report is opened or saved; tests replace the opener.
  ReportExport::Environment reportExport;
  // The line's database and the bench's name; no connection string keeps
  // the day log only.
  store::StoreConfig store;
};

struct WindowEnvironment {
  bool full = false;
  texts::MessageTexts texts;
  std::string logFolder;
  std::function<std::vector<link::PortEntry>()> listPorts;
  std::function<QString(QWidget& parent)> chooseImportFile;
  // Its log folder is the day logs' folder, so a report never replaces one.
  ReportExport::Environment reportExport;
  // Null without a database.
  std::unique_ptr<store::ResultStore> store;
};

WindowEnvironment ComposeWindow(WindowOptions options);

}  // namespace orvana::app
