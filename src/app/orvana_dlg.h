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
#include "app/main_window_layout.h"
#include "app/qt_station_ui.h"
#include "app/report_export.h"
#include "app/window_environment.h"
#include "app/window_keys.h"
#include "app/window_layout.h"
#include "common/clock.h"
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
  using Options = WindowOptions;

  // The window made of what the program composed.
  explicit COrvanaDlg(WindowEnvironment environment, QWidget* parent = nullptr);
  // The same, composed here from how the program was started (for tests).
  explicit COrvanaDlg(Options options, QWidget* parent = nullptr)
      : COrvanaDlg(ComposeWindow(std::move(options)), parent) {}
  ~COrvanaDlg() override;

  station::Station& GetStation() { return *m_station; }
  results::ResultsTable& Table() { return m_table; }
  records::ReportInformation& ReportInformation() { return m_reportInformation; }
  ReportExport& Export() { return *m_export; }
  const MainWindowControls& Controls() const { return m_controls; }
  SizeType LastSizeType() const { return m_layout.LastSizeType(); }
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

 private:
  void WireControls();
  // The station's threads say they have news; it is handled on ours.
  void WireEventSignals();
  SizeType CurrentSizeType() const;
  // Monitor thread: ask the GUI thread to hand the waiting bytes over.
  void WakeForBytes();
  // GUI thread: one byte from the line.
  void OnLineByte(uint8_t byte);

  // The line is made first and so destroyed last; the destructor stops it
  // before anything it could call into is gone.
  link::SerialTransport m_serial;
  bool m_full = false;
  std::function<QString(QWidget& parent)> m_chooseImportFile;
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

  MainWindowLayout m_layout{m_controls, m_full};
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
  // Keys and clicks of the window and its controls pass here first.
  std::unique_ptr<WindowKeys> m_keys;
};

}  // namespace orvana::app
