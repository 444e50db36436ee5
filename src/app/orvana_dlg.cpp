#include "app/orvana_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QStyle>

#include "app/about_dlg.h"
#include "app/template_texts.h"
#include "dialogs/dlalog1.h"
#include "dialogs/messagedlog.h"
#include "results/table_operations.h"
#include "texts/verdict_words.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"

namespace orvana::app {
namespace {

// The template's client size in dialog units.
constexpr int kTemplateWidth = 466;
constexpr int kTemplateHeight = 317;
constexpr int kTickMilliseconds = 1000;
constexpr int kPortWatchMilliseconds = 500;

QString Utf8(const char* text) { return QString::fromUtf8(text); }

}  // namespace

COrvanaDlg::COrvanaDlg(WindowEnvironment environment, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_serial([this](uint8_t byte) { OnLineByte(byte); }, [this] { WakeForBytes(); },
               [this](const std::string& reason) { OnLinkLost(reason); }),
      m_full(environment.full),
      m_chooseImportFile(std::move(environment.chooseImportFile)),
      m_icon(QStringLiteral(":/icons/128.svg")) {
  setWindowTitle(Utf8(captions::kMainTitle));
  setWindowIcon(m_icon);
  setFont(ui::DialogFont(9));
  const ui::DialogUnits units(font());
  m_restoredSize = units.Size(kTemplateWidth, kTemplateHeight);
  resize(m_restoredSize);

  // Start-up in the template's order: texts, controls, the port list, the
  // buttons, the table; the caller then shows the window maximised.
  const texts::MessageTexts& texts = environment.texts;
  m_controls = CreateMainWindowControls(*this, texts, units, m_full);
  m_model = std::make_unique<results::ResultsModel>(
      m_table, results::ResultsModel::OutcomeTexts{captions::Caption(captions::kOutcomePass),
                                                   captions::Caption(captions::kOutcomeFail),
                                                   captions::Caption(captions::kEventLoss),
                                                   captions::Caption(captions::kEventReflect)});
  if (m_full) {
    // The bench mode's verdict, in words as well as colour.
    const texts::VerdictWords words = texts::VerdictWordsFor(texts);
    const auto text = [](std::string_view word) {
      return QString::fromUtf8(word.data(), static_cast<qsizetype>(word.size()));
    };
    m_model->ShowVerdictColumn({text(words.title), text(words.pass), text(words.fail)});
    m_controls.resultList->SetBenchLook(true);
  }
  m_controls.resultList->SetResultsModel(m_model.get());
  m_ui = std::make_unique<QtStationUi>(*this, m_controls);
  m_store = std::move(environment.store);
  m_station = std::make_unique<station::Station>(station::StationEnvironment{
      m_serial, *m_ui, m_clock, m_table, texts, environment.logFolder,
      std::move(environment.listPorts), m_store.get(), m_full});

  m_ui->WriteBoundFields(m_station->Fields());
  m_station->RefreshPortList(false);
  m_layout.SetReady();
  m_controls.resultList->InsertResultColumns(texts::TableColumnTitles(texts));
  connect(m_model.get(), &results::ResultsModel::lookChanged, this,
          [this] { m_layout.ForgetMetrics(); });

  m_export = new ReportExport(this, std::move(environment.reportExport));
  WireControls();
  WireEventSignals();
  m_keys = std::make_unique<WindowKeys>(
      *this, *m_controls.serialEdit,
      WindowKeys::Handlers{[this] { m_station->OnEnterKey(); }, [this] { OnAbout(); },
                           [this](bool inside) { m_station->OnLeftButtonDown(inside); }});
  if (m_full) {
    connect(&m_tick, &QTimer::timeout, this, &COrvanaDlg::OnTimer);
    m_tick.start(kTickMilliseconds);
  }
}

COrvanaDlg::~COrvanaDlg() {
  m_keys.reset();
  // Nothing may reach the station once its parts start going away.
  m_serial.Stop();
}

void COrvanaDlg::WireControls() {
  const MainWindowControls& c = m_controls;
  connect(c.connect, &QPushButton::clicked, this, &COrvanaDlg::OnConnect);
  connect(c.upload, &QPushButton::clicked, this, &COrvanaDlg::OnUpload);
  connect(c.erase, &QPushButton::clicked, this, &COrvanaDlg::OnErase);
  connect(c.clear, &QPushButton::clicked, this, &COrvanaDlg::OnClearScreen);
  connect(c.blankRow, &QPushButton::clicked, this, &COrvanaDlg::OnBlankSelectedRow);
  connect(c.import, &QPushButton::clicked, this, &COrvanaDlg::OnImportBackup);
  connect(c.exportReport, &QPushButton::clicked, this, &COrvanaDlg::OnExportExcel);
  connect(c.settings, &QPushButton::clicked, this, &COrvanaDlg::OnSettings);
  connect(c.info, &QPushButton::clicked, this, &COrvanaDlg::OnReportInformation);
  connect(c.exit, &QPushButton::clicked, this, &QWidget::close);
  // The OK command never closes the window.
  connect(c.portCombo, &PortComboBox::aboutToShowPopup, this,
          [this] { m_station->RefreshPortList(true); });
  connect(c.autoNumberEdit, &QLineEdit::editingFinished, this,
          [this] { m_ui->ReadBoundFields(m_station->Fields()); });
}

void COrvanaDlg::WireEventSignals() {
  connect(&m_portWatch, &QTimer::timeout, this, [this] {
    if (m_station->WatchingForPort()) {
      if (m_station->OnWatchTick()) m_greetingWait.start(station::kGreetingAnswerMilliseconds);
    } else {
      m_portWatch.stop();
    }
  });
  // The logs' flushers may notice a failure or a recovery on their own
  // threads, the store on its forwarder's; the station tells the user on ours.
  const auto onOurThread = [this](void (station::Station::*handler)()) {
    return [this, handler] {
      QMetaObject::invokeMethod(
          this, [this, handler] { (m_station.get()->*handler)(); }, Qt::QueuedConnection);
    };
  };
  m_station->DayLog().SetEventSignal(onOurThread(&station::Station::OnLogEvents));
  m_station->RecordLog().SetEventSignal(onOurThread(&station::Station::OnLogEvents));
  if (m_store) m_store->SetEventSignal(onOurThread(&station::Station::OnStoreEvents));
  m_greetingWait.setSingleShot(true);
  // A coarse timer may fire a few per cent early: the meter gets its 3 s.
  m_greetingWait.setTimerType(Qt::PreciseTimer);
  connect(&m_greetingWait, &QTimer::timeout, this, [this] { m_station->OnGreetingTimeout(); });
}

// ---------------------------------------------------------------- handlers

void COrvanaDlg::OnConnect() {
  if (m_station->OnConnect(m_controls.portCombo->Selection())) {
    m_greetingWait.start(station::kGreetingAnswerMilliseconds);
  } else {
    m_greetingWait.stop();
  }
}
void COrvanaDlg::OnUpload() { m_station->OnUploadRequest(); }
void COrvanaDlg::OnErase() { m_station->OnEraseRequest(); }
void COrvanaDlg::OnClearScreen() { m_station->OnClearScreen(); }
void COrvanaDlg::OnTimer() { m_station->OnTimer(); }

void COrvanaDlg::OnBlankSelectedRow() {
  m_station->OnBlankSelectedRow(m_controls.resultList->SelectionMark());
}

void COrvanaDlg::OnImportBackup() {
  const QString path =
      m_chooseImportFile
          ? m_chooseImportFile(*this)
          : QFileDialog::getOpenFileName(
                this, captions::Caption(captions::kImport), QString(),
                tr("备份数据 (*.txt)") + QStringLiteral(";;") + tr("上传的记录 (*.records)"));
  if (path.isEmpty()) return;
  std::string error;
  if (!m_station->OnImportBackup(path.toStdString(), error)) {
    m_ui->ShowMessage(station::kAppTitle, error);
  }
}

void COrvanaDlg::OnExportExcel() {
  // The report takes the fields as they stand now, the table as it is now;
  // results keep arriving while it is written.
  m_ui->ReadBoundFields(m_station->Fields());
  m_export->Start(m_table, m_station->Fields(), m_reportInformation, m_station->Settings(),
                  m_station->Texts());
}

void COrvanaDlg::OnSettings() {
  // Apply sets up the wavelength row before the dialog closes.
  dialogs::dlalog1 dialog(
      m_station->Settings(), [this] { m_station->OnSettingsApplied(); }, this);
  dialog.exec();
}

void COrvanaDlg::OnReportInformation() {
  dialogs::messagedlog dialog(m_reportInformation, this);
  dialog.exec();
}

void COrvanaDlg::OnAbout() {
  CAboutDlg about(m_icon, this);
  about.exec();
}

void COrvanaDlg::OnLinkLost(const std::string& reason) {
  // Started first: the station says so in a box, and the meter may come back
  // while the box is open. The watch ends itself once the station stops.
  m_portWatch.start(kPortWatchMilliseconds);
  m_station->OnLinkLost(reason);
}

void COrvanaDlg::WakeForBytes() {
  // Runs on the monitor thread; the bytes are handled on ours, in order.
  QMetaObject::invokeMethod(
      this,
      [this] {
        m_nextEventTurn = std::chrono::steady_clock::now() + kEventTurn;
        m_serial.Drain();
      },
      Qt::QueuedConnection);
}

void COrvanaDlg::OnLineByte(uint8_t byte) {
  m_station->OnReceiveByte(byte);
  // A meter flooding the line keeps the hand-over going for as long as it
  // sends. Every few milliseconds the window's own events (painting, timers,
  // the user's clicks) get their turn, as they do under a message box, so
  // the window never freezes; the bytes carry on in order after it.
  if (m_servingEvents || std::chrono::steady_clock::now() < m_nextEventTurn) return;
  m_servingEvents = true;
  QCoreApplication::processEvents();
  m_servingEvents = false;
  m_nextEventTurn = std::chrono::steady_clock::now() + kEventTurn;
}

// ---------------------------------------------------------------- layout

SizeType COrvanaDlg::CurrentSizeType() const {
  if (isMinimized()) return SizeType::Minimized;
  if (isMaximized()) return SizeType::Maximized;
  return SizeType::Restored;
}

void COrvanaDlg::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  OnSize(CurrentSizeType(), width(), height());
}

void COrvanaDlg::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) OnSize(CurrentSizeType(), width(), height());
}

void COrvanaDlg::closeEvent(QCloseEvent* event) {
  // Results the day's log has not taken must not go with the window.
  if (m_station->OnClosing()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void COrvanaDlg::OnSize(SizeType type, int width, int height) {
  m_layout.OnSize(type, width, height);
}

void COrvanaDlg::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (isMinimized()) {
    QPainter painter(this);
    const int size = style()->pixelMetric(QStyle::PM_LargeIconSize);
    const Size client = m_layout.Client();
    m_icon.paint(&painter, (client.width - size + 1) / 2, (client.height - size + 1) / 2, size,
                 size);
  }
  m_layout.ApplyPaintTime();
}

// ---------------------------------------------------------------- keys and clicks

void COrvanaDlg::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addSeparator();
  menu.addAction(captions::Caption(captions::kAboutMenuItem), this, &COrvanaDlg::OnAbout);
  menu.exec(event->globalPos());
}

}  // namespace orvana::app
