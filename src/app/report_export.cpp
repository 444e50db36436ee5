#include "app/report_export.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

#include "common/trace.h"
#include "records/export_folders.h"
#include "records/workbook_file.h"
#include "texts/report_words.h"

namespace orvana::app {
namespace {

// The caption the spreadsheet failure has always had.
constexpr const char* kErrorCaption = "RL&IL";
// What to install when nothing can open the report: Calc with its window.
constexpr const char* kInstallCalc = "sudo apt install libreoffice-calc";
// Wide enough for that command on one line, whatever the text above it.
constexpr const char* kFinePrintWidth = "QLabel#qt_msgbox_informativelabel { min-width: 300px; }";
constexpr int kPollMs = 50;
// Room for the writer's temporary suffix within a file name's 255 bytes.
constexpr qsizetype kMaxNameBytes = 200;

}  // namespace

ReportExport::ReportExport(QWidget* parent) : ReportExport(parent, Environment{}) {}

ReportExport::ReportExport(QWidget* parent, Environment environment)
    : QObject(parent), m_parent(parent), m_environment(std::move(environment)) {
  if (!m_environment.open) m_environment.open = &ReportExport::OpenInSpreadsheet;
  if (!m_environment.chooseSaveFile) {
    m_environment.chooseSaveFile = [](QWidget* owner, const QString& suggested) {
      return QFileDialog::getSaveFileName(owner, tr("保存报告"), suggested,
                                          tr("Excel 工作簿 (*.xlsx)"));
    };
  }
  if (!m_environment.now) {
    m_environment.now = [] { return common::SystemClock().Now(); };
  }
  m_poll.setInterval(kPollMs);
  connect(&m_poll, &QTimer::timeout, this, &ReportExport::Poll);
}

ReportExport::~ReportExport() {
  m_cancel = true;
  JoinWorker();
  delete m_progress.data();
}

void ReportExport::JoinWorker() {
  if (m_worker.joinable()) m_worker.join();
}

QString ReportExport::FileNameFor(const std::string& saveFileName, const common::LocalTime& time) {
  QString name = QString::fromStdString(saveFileName).trimmed();
  // Only a name: no folders, nothing hidden, nothing a file system refuses.
  for (QChar& c : name) {
    if (c == QLatin1Char('/') || c.unicode() < 0x20 || c.unicode() == 0x7F) c = QLatin1Char('_');
  }
  while (name.startsWith(QLatin1Char('.'))) name.remove(0, 1);
  if (!name.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive)) name += QLatin1String(".xlsx");
  while (name.toUtf8().size() > kMaxNameBytes) name.remove(name.size() - 6, 1);
  if (name.compare(QLatin1String(".xlsx"), Qt::CaseInsensitive) == 0) {
    char text[40];
    std::snprintf(text, sizeof text, "Orvana-%04d%02d%02d-%02d%02d%02d.xlsx", time.year, time.month,
                  time.day, time.hour, time.minute, time.second);
    name = QString::fromLatin1(text);
  }
  return name;
}

bool ReportExport::OpenInSpreadsheet(const QString& path) {
  // The headless LibreOffice that tests use has the same soffice but no
  // window plug-in; handing it the report would show nothing.
  const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
  if (!soffice.isEmpty()) {
    const QDir program = QFileInfo(QFileInfo(soffice).canonicalFilePath()).dir();
    if (!program.entryList({QStringLiteral("libvclplug_*")}, QDir::Files).isEmpty() &&
        QProcess::startDetached(soffice, {QStringLiteral("-n"), path})) {
      return true;
    }
  }
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool ReportExport::Start(const results::ResultsTable& table, const station::BoundFields& fields,
                         const records::ReportInformation& information,
                         const results::TestSettings& settings, const texts::MessageTexts& texts,
                         bool verdictColumn) {
  if (Busy()) return false;
  records::ReportInformation withFields = information;
  withFields.productNumber = fields.productNumber;
  withFields.orderNumber = fields.orderNumber;
  withFields.saveFileName = fields.saveFileName;
  m_content = std::make_shared<const records::ReportContent>(records::BuildReportContent(
      table, withFields, settings, texts::TableColumnTitles(texts), m_environment.now(),
      texts::ReportWordsFor(texts), verdictColumn));
  m_errorText = QString::fromStdString(texts.createxcelerr);
  m_progressLabel = QString::fromStdString(texts.save);
  m_fileName = FileNameFor(fields.saveFileName, m_content->exportTime);

  // A fresh folder each time: the spreadsheet may still hold an earlier
  // export open (and LibreOffice leaves a lock file beside it).
  const QString base = m_environment.tempFolder.isEmpty()
                           ? QStandardPaths::writableLocation(QStandardPaths::TempLocation)
                           : m_environment.tempFolder;
  // Earlier exports' folders would stay for ever; the last one is kept.
  records::RemoveOldExportFolders(base.toStdString(), std::chrono::system_clock::now());
  QTemporaryDir folder(
      base + QLatin1Char('/') +
      QString::fromLatin1(records::kExportFolderPrefix.data(),
                          static_cast<qsizetype>(records::kExportFolderPrefix.size())) +
      QString(static_cast<qsizetype>(records::kExportFolderRandomLength), QLatin1Char('X')));
  if (!folder.isValid()) {
    // Later, from the event loop, as every other outcome.
    const QString detail =
        QStringLiteral("cannot make a folder in %1: %2").arg(base, folder.errorString());
    QTimer::singleShot(0, this, [this, detail] { Fail(detail); });
    return true;
  }
  folder.setAutoRemove(false);
  Write(folder.path() + QLatin1Char('/') + m_fileName, Stage::Writing);
  return true;
}

void ReportExport::Write(const QString& path, Stage stage) {
  m_writingPath = path;
  m_written = 0;
  m_cancel = false;
  m_startedMs = QDateTime::currentMSecsSinceEpoch();
  m_poll.start();
  // A name the user picked is written as every such name is: never over a
  // day log, a FIFO or a device. The export's own fresh folder needs none of
  // that.
  std::vector<records::FileId> protect;
  if (stage == Stage::Saving && !m_environment.logFolder.empty()) {
    protect = records::FilesToProtectIn(m_environment.logFolder);
  }
  m_worker = std::thread([this, content = m_content, target = path.toStdString(), stage,
                          protect = std::move(protect)] {
    records::WorkbookOptions options;
    options.progress = [this](size_t written, size_t) {
      m_written = written;
      return !m_cancel.load();
    };
    records::WorkbookResult result =
        stage == Stage::Saving ? records::WriteWorkbookAs(target, *content, protect, options)
                               : records::WriteWorkbook(target, *content, options);
    // Back on the window's thread; dropped if the export object is gone.
    QMetaObject::invokeMethod(
        this, [this, result = std::move(result), stage] { Written(result, stage); },
        Qt::QueuedConnection);
  });
}

void ReportExport::Poll() {
  if (!m_progress &&
      QDateTime::currentMSecsSinceEpoch() - m_startedMs >= m_environment.progressDelayMs) {
    auto* progress = new QProgressDialog(m_progressLabel, tr("取消"), 0,
                                         static_cast<int>(m_content->rows.Size()), m_parent);
    progress->setObjectName(QStringLiteral("reportProgress"));
    // Window-modal: no second export meanwhile, but results keep arriving.
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(0);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    connect(progress, &QProgressDialog::canceled, this, [this] { m_cancel = true; });
    progress->show();
    m_progress = progress;
  }
  if (!m_progress) return;
  // Its button, Esc and its close box all cancel it, not all by the signal.
  if (m_progress->wasCanceled()) m_cancel = true;
  m_progress->setValue(static_cast<int>(m_written.load()));
}

void ReportExport::Written(records::WorkbookResult result, Stage stage) {
  JoinWorker();
  m_poll.stop();
  delete m_progress.data();
  switch (result.status) {
    case records::WorkbookResult::Status::Written:
      m_lastPath = m_writingPath;
      if (stage == Stage::Saving) {
        Finish(Outcome::Saved);
      } else if (m_environment.open(m_writingPath)) {
        Finish(Outcome::Opened);
      } else {
        // The workbook is fine; what is missing is a program for it, and
        // the user can do something about that: the command that installs
        // it, on a line of its own.
        Fail(QStringLiteral("No spreadsheet application could open %1.").arg(m_writingPath),
             tr("没有程序能打开报告。要打开报告，请安装 LibreOffice Calc：\n%1")
                 .arg(QLatin1String(kInstallCalc)));
      }
      return;
    case records::WorkbookResult::Status::Cancelled:
      if (stage == Stage::Writing) QDir().rmdir(QFileInfo(m_writingPath).path());
      Finish(Outcome::Cancelled);
      return;
    case records::WorkbookResult::Status::Failed:
      Fail(QString::fromStdString(result.error));
      return;
  }
}

void ReportExport::Fail(const QString& detail, const QString& advice) {
  common::Trace("report: %s\n", detail.toUtf8().constData());
  {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kErrorCaption), m_errorText,
                    QMessageBox::Ok, m_parent);
    box.setInformativeText(advice.isEmpty() ? detail : advice);
    box.setStyleSheet(QString::fromLatin1(kFinePrintWidth));
    box.exec();
  }
  // The table as it was is still at hand: offer to keep it as a file, and
  // again if that place cannot take it either, until the user gives up.
  const QString suggested = QDir::homePath() + QLatin1Char('/') + m_fileName;
  const QString chosen = m_environment.chooseSaveFile(m_parent, suggested);
  if (chosen.isEmpty()) {
    Finish(Outcome::Failed);
    return;
  }
  Write(chosen, Stage::Saving);
}

void ReportExport::Finish(Outcome outcome) {
  m_content.reset();
  emit finished(outcome);
}

}  // namespace orvana::app
