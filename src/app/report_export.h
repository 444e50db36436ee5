#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "common/clock.h"
#include "records/report_content.h"
#include "records/report_information.h"
#include "records/workbook_writer.h"
#include "results/results_table.h"
#include "results/settings_record.h"
#include "station/station_ui.h"
#include "texts/message_texts.h"

class QProgressDialog;
class QWidget;

// The export button's work in the window: the table as it is at the press
// goes into a workbook, written on a worker thread while the window goes on
// receiving, and is handed to the spreadsheet application as a new document.
// When it cannot be written or opened the user is told and may save it.
namespace orvana::app {

class ReportExport final : public QObject {
  Q_OBJECT

 public:
  enum class Outcome {
    Opened,     // handed to the spreadsheet application
    Saved,      // could not be opened; the user saved it
    Cancelled,  // the user stopped it while it was written
    Failed,     // nothing to show for it (the user was told)
  };
  Q_ENUM(Outcome)

  struct Environment {
    // Hands the workbook to the spreadsheet application as a new, unsaved
    // document; false when nothing could take it. Empty: OpenInSpreadsheet.
    std::function<bool(const QString& path)> open;
    // Asks where to save a workbook that could not be opened; empty answer:
    // not saved. Empty: a file save dialog.
    std::function<QString(QWidget* parent, const QString& suggestedPath)> chooseSaveFile;
    // Where each export gets a fresh folder of its own. Empty: the user's
    // temporary folder.
    QString tempFolder;
    // How long an export runs before its progress is shown.
    int progressDelayMs = 500;
    // The time of the export, which names it when no save-file name is set.
    std::function<common::LocalTime()> now;
    // The day logs' folder: a workbook saved to a name the user picks never
    // takes the place of a file in it (or in its folders, the outbox's).
    std::string logFolder;
  };

  explicit ReportExport(QWidget* parent);
  ReportExport(QWidget* parent, Environment environment);
  ~ReportExport() override;

  // The handler of the export button, after the window has read its
  // controls into `fields`. Copies the exported rows at once and returns;
  // the rest happens while the window's event loop runs. Does nothing and
  // returns false while an earlier export is still under way. The bench
  // mode's workbook has each part's verdict in a column of its own.
  bool Start(const results::ResultsTable& table, const station::BoundFields& fields,
             const records::ReportInformation& information, const results::TestSettings& settings,
             const texts::MessageTexts& texts, bool verdictColumn = false);

  bool Busy() const { return m_content != nullptr; }
  // Where the last workbook was written or saved; empty before.
  const QString& LastPath() const { return m_lastPath; }

  // LibreOffice Calc when one that can show a window is installed (`soffice
  // -n FILE`: a new document from the file, so saving asks for a name), else
  // the desktop's application for the file. False when neither starts.
  static bool OpenInSpreadsheet(const QString& path);
  // The workbook's file name: the save-file name made safe as a file name,
  // with ".xlsx" added when missing; else Orvana-YYYYMMDD-HHMMSS.xlsx.
  static QString FileNameFor(const std::string& saveFileName, const common::LocalTime& time);

 signals:
  void finished(Outcome outcome);

 private:
  enum class Stage { Writing, Saving };

  void Write(const QString& path, Stage stage);
  void Poll();
  void Written(records::WorkbookResult result, Stage stage);
  // Tells the user, then offers to save the workbook. The box's fine print
  // is `advice` when there is some, else `detail`, which the trace gets.
  void Fail(const QString& detail, const QString& advice = QString());
  void Finish(Outcome outcome);
  void JoinWorker();

  QWidget* m_parent;
  Environment m_environment;
  std::shared_ptr<const records::ReportContent> m_content;
  QString m_fileName;
  QString m_errorText;
  QString m_progressLabel;
  QString m_lastPath;
  QString m_writingPath;

  std::thread m_worker;
  std::atomic<size_t> m_written{0};
  std::atomic<bool> m_cancel{false};
  QTimer m_poll;
  qint64 m_startedMs = 0;
  QPointer<QProgressDialog> m_progress;
};

}  // namespace orvana::app
