#pragma once

#include <QIcon>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window_controls.h"
#include "app/qt_station_ui.h"
#include "app/report_export.h"
#include "app/window_layout.h"
#include "common/clock.h"
#include "link/port_discovery.h"
#include "link/serial_transport.h"
#include "records/report_information.h"
#include "results/results_model.h"
#include "results/results_table.h"
#include "station/station.h"
#include "store/result_store.h"

// The main window. It makes the controls, hands every click, key and byte to
// the station and shows what the station gives back; the station decides.
namespace orvana::app {

class COrvanaDlg final : public QWidget {
  Q_OBJECT

 public:
  struct Options {
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

  explicit COrvanaDlg(Options options, QWidget* parent = nullptr);
  ~COrvanaDlg() override;

  station::Station& GetStation() { return *m_station; }
  results::ResultsTable& Table() { return m_table; }
  records::ReportInformation& ReportInformation() { return m_reportInformation; }
  ReportExport& Export() { return *m_export; }
  const MainWindowControls& Controls() const { return m_controls; }
  SizeType LastSizeType() const { return m_lastSizeType; }
  // The size the window takes when it is restored: the template's size.
  QSize RestoredClientSize() const { return m_restoredSize; }

  // The handlers behind the controls, callable as the controls call them.
  void OnConnect();
  void OnUpload();
  void OnErase();
  void OnClearScreen();
  void OnBlankSelectedRow();
  void OnImportBackup();
  void OnExportExcel();
  void OnSettings();
  void OnReportInformation();
  void OnAbout();
  void OnTimer();
  // The meter's port vanished under the monitor.
  void OnLinkLost(const std::string& reason);
  // A size change of `type` to a client of `width` by `height`.
  void OnSize(SizeType type, int width, int height);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  // Keys and clicks of the window and its controls pass here first.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void WireControls();
  void ApplyPaintTimeLayout();
  void PlaceExtraControls(int width, int height);
  bool IsOwnWidget(QObject* object) const;
  bool OnMouseButtonPress(QMouseEvent& event);
  SizeType CurrentSizeType() const;
  // Monitor thread: ask the GUI thread to hand the waiting bytes over.
  void WakeForBytes();
  // GUI thread: one byte from the line.
  void OnLineByte(uint8_t byte);

  // The line is made first and so destroyed last; the destructor stops it
  // before anything it could call into is gone.
  link::SerialTransport m_serial;
  Options m_options;
  common::SystemClock m_clock;
  results::ResultsTable m_table;
  std::unique_ptr<results::ResultsModel> m_model;
  MainWindowControls m_controls;
  std::unique_ptr<QtStationUi> m_ui;
  // Before the station, which records into it, so it goes after it.
  std::unique_ptr<store::ResultStore> m_store;
  std::unique_ptr<station::Station> m_station;
  // The four report texts live for the run; the dialog only edits them.
  records::ReportInformation m_reportInformation;
  // A child of the window: it joins its writer before the window goes.
  ReportExport* m_export = nullptr;

  bool m_layoutReady = false;
  SizeType m_lastSizeType = SizeType::Restored;
  int m_clientWidth = 0;
  int m_clientHeight = 0;
  // What the paint-time layout and the table metrics were last applied for,
  // so a repaint that changes neither costs nothing.
  QSize m_laidOutFor;
  std::optional<std::pair<SizeType, int>> m_metricsFor;
  QSize m_restoredSize;
  QIcon m_icon;
  QTimer m_tick;
  // Looks for a lost meter's port while the station watches for it.
  QTimer m_portWatch;
  // The greeted meter's time to answer.
  QTimer m_greetingWait;
  // How long bytes are handed on before the window's own events get a turn.
  static constexpr std::chrono::milliseconds kEventTurn{5};
  std::chrono::steady_clock::time_point m_nextEventTurn;
  bool m_servingEvents = false;
  // A click travels up through the parents; it is seen once.
  const QEvent* m_lastPress = nullptr;
  quint64 m_lastPressTime = 0;
};

}  // namespace orvana::app
