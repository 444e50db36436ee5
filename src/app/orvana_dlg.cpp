#include "app/orvana_dlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QStyle>

#include "app/about_dlg.h"
#include "app/template_texts.h"
#include "dialogs/dlalog1.h"
#include "dialogs/messagedlog.h"
#include "results/table_operations.h"
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

results::SizeState ToSizeState(SizeType type) {
  switch (type) {
    case SizeType::Restored:
      return results::SizeState::Restored;
    case SizeType::Maximized:
      return results::SizeState::Maximized;
    case SizeType::Minimized:
      break;
  }
  return results::SizeState::Other;
}

std::function<std::vector<link::PortEntry>()> PortLister(const COrvanaDlg::Options& options) {
  auto discover = options.discoverPorts ? options.discoverPorts : [] {
    return link::DiscoverPorts(link::DiscoveryRoots::System());
  };
  if (!options.firstPort) return discover;
  return [discover, first = *options.firstPort] {
    std::vector<link::PortEntry> ports{first};
    for (link::PortEntry& port : discover()) {
      if (port.designation != first.designation) ports.push_back(std::move(port));
    }
    return ports;
  };
}

}  // namespace

COrvanaDlg::COrvanaDlg(Options options, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_serial([this](uint8_t byte) { OnLineByte(byte); }, [this] { WakeForBytes(); },
               [this](const std::string& reason) { OnLinkLost(reason); }),
      m_options(std::move(options)),
      m_icon(QStringLiteral(":/icons/128.svg")) {
  setWindowTitle(Utf8(captions::kMainTitle));
  setWindowIcon(m_icon);
  setFont(ui::DialogFont(9));
  const ui::DialogUnits units(font());
  m_restoredSize = units.Size(kTemplateWidth, kTemplateHeight);
  resize(m_restoredSize);

  // Start-up in the template's order: texts, controls, the port list, the
  // buttons, the table; the caller then shows the window maximised.
  texts::MessageTexts texts = m_options.languageFile.empty()
                                  ? texts::LoadMessageTexts(m_options.startDirectory)
                                  : texts::LoadMessageTextFile(m_options.languageFile);
  m_controls = CreateMainWindowControls(*this, texts, units, m_options.full);
  m_model = std::make_unique<results::ResultsModel>(
      m_table, results::ResultsModel::OutcomeTexts{captions::Caption(captions::kOutcomePass),
                                                   captions::Caption(captions::kOutcomeFail)});
  m_controls.resultList->SetResultsModel(m_model.get());
  const std::string& startDirectory = m_options.startDirectory;
  const std::string logFolder =
      !m_options.logFolder.empty()
          ? m_options.logFolder
          : (startDirectory.empty() ? std::string(".") : startDirectory) + "/Savetemp";
  m_ui = std::make_unique<QtStationUi>(*this, m_controls);
  if (!m_options.store.conninfo.empty()) {
    m_store = std::make_unique<store::ResultStore>(m_options.store, logFolder + "/outbox");
  }
  m_station = std::make_unique<station::Station>(
      station::StationEnvironment{m_serial, *m_ui, m_clock, m_table, texts, logFolder,
                                  PortLister(m_options), m_store.get(), m_options.full});

  m_ui->WriteBoundFields(m_station->Fields());
  m_station->RefreshPortList(false);
  m_layoutReady = true;

  auto& list = *m_controls.resultList;
  list.InsertColumn(0, QStringLiteral("NO."), results::CListCtrlCl::Format::Center,
                    results::kInitialColumnWidths[0]);
  const auto titles = texts::TableColumnTitles(texts);
  for (int column = 1; column < results::kColumnCount; ++column) {
    list.InsertColumn(column, QString::fromStdString(titles[static_cast<size_t>(column - 1)]),
                      results::CListCtrlCl::Format::Center,
                      results::kInitialColumnWidths[static_cast<size_t>(column)]);
  }
  // A new look resets the row height and font; the size's metrics follow it.
  connect(m_model.get(), &results::ResultsModel::lookChanged, this, [this] {
    m_metricsFor.reset();
    ApplyPaintTimeLayout();
  });

  ReportExport::Environment exportEnvironment = m_options.reportExport;
  exportEnvironment.logFolder = logFolder;
  m_export = new ReportExport(this, std::move(exportEnvironment));
  WireControls();
  qApp->installEventFilter(this);
  connect(&m_portWatch, &QTimer::timeout, this, [this] {
    if (m_station->WatchingForPort()) {
      if (m_station->OnWatchTick()) m_greetingWait.start(station::kGreetingAnswerMilliseconds);
    } else {
      m_portWatch.stop();
    }
  });
  // The log's flusher may notice a failure or a recovery on its own thread;
  // the station tells the user on ours.
  for (records::DailyLog* log : {&m_station->DayLog(), &m_station->RecordLog()}) {
    log->SetEventSignal([this] {
      QMetaObject::invokeMethod(
          this, [this] { m_station->OnLogEvents(); }, Qt::QueuedConnection);
    });
  }
  if (m_store) {
    m_store->SetEventSignal([this] {
      QMetaObject::invokeMethod(
          this, [this] { m_station->OnStoreEvents(); }, Qt::QueuedConnection);
    });
  }
  m_greetingWait.setSingleShot(true);
  // A coarse timer may fire a few per cent early: the meter gets its 3 s.
  m_greetingWait.setTimerType(Qt::PreciseTimer);
  connect(&m_greetingWait, &QTimer::timeout, this, [this] { m_station->OnGreetingTimeout(); });
  if (m_options.full) {
    connect(&m_tick, &QTimer::timeout, this, &COrvanaDlg::OnTimer);
    m_tick.start(kTickMilliseconds);
  }
}

COrvanaDlg::~COrvanaDlg() {
  qApp->removeEventFilter(this);
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
      m_options.chooseImportFile
          ? m_options.chooseImportFile(*this)
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
  m_clientWidth = width;
  m_clientHeight = height;
  if (!m_layoutReady) return;
  if (type == SizeType::Restored || type == SizeType::Maximized) {
    const auto sizeOf = [](const QWidget* widget) {
      return Size{widget->width(), widget->height()};
    };
    const MainWindowControls& c = m_controls;
    for (const Placement& place : RightColumnLayout(
             width, {sizeOf(c.portCombo), sizeOf(c.connect), sizeOf(c.info), sizeOf(c.settings)})) {
      c.ById(place.id)->move(place.x, place.y);
    }
    m_lastSizeType = type;
  }
  ApplyPaintTimeLayout();
}

void COrvanaDlg::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (isMinimized()) {
    QPainter painter(this);
    const int size = style()->pixelMetric(QStyle::PM_LargeIconSize);
    m_icon.paint(&painter, (m_clientWidth - size + 1) / 2, (m_clientHeight - size + 1) / 2, size,
                 size);
  }
  ApplyPaintTimeLayout();
}

void COrvanaDlg::ApplyPaintTimeLayout() {
  const QSize client(m_clientWidth, m_clientHeight);
  if (client != m_laidOutFor) {
    m_laidOutFor = client;
    for (const Placement& place : PaintTimeLayout(m_clientWidth, m_clientHeight)) {
      QWidget* control = m_controls.ById(place.id);
      control->move(place.x, place.y);
      if (place.size) control->resize(place.size->width, place.size->height);
    }
    if (m_options.full) PlaceExtraControls(m_clientWidth, m_clientHeight);
  }
  if (!m_layoutReady) return;
  const std::pair<SizeType, int> key{m_lastSizeType, m_clientWidth};
  if (m_metricsFor == key) return;
  m_metricsFor = key;
  if (const auto metrics =
          results::UpdateTableMetrics(ToSizeState(m_lastSizeType), m_clientWidth)) {
    m_controls.resultList->ApplyMetrics(*metrics);
  }
}

void COrvanaDlg::PlaceExtraControls(int width, int /*height*/) {
  // The template gives the hidden value fields and the numbering controls no
  // place; shown, they go in a strip above the report frame (which the
  // paint-time layout has just placed for this height), and the table ends
  // above them so nothing overlaps.
  constexpr int kFrameGap = 6;  // between two frames, one above the other
  constexpr int kInset = 7;     // from a frame's side to what it holds
  constexpr int kLabelGap = 2;  // from a value's label to its field
  constexpr int kPairGap = 10;  // from a field to the next value's label
  constexpr int kFieldGap = 6;  // from the serial edit to the scanner label
  constexpr int kFramePad = 3;  // from the inside of a frame to a label
  const MainWindowControls& c = m_controls;
  const int top = c.reportGroup->y() - kFrameGap - c.valueGroup->height();
  c.resultList->resize(std::max(0, width - 73), std::max(0, top - 15));
  c.valueGroup->move(5, top);
  int x = c.valueGroup->x() + kInset;
  for (size_t k = 0; k < 4; ++k) {
    QLabel* label = c.valueLabels[k];
    QLineEdit* edit = c.valueEdits[k];
    edit->move(x + label->width() + kLabelGap, top + 10);
    label->move(x, edit->y() + (edit->height() - label->height()) / 2);
    x = edit->x() + edit->width() + kPairGap;
  }
  // The frame holds all four fields: one reaching over its edge looks cut off.
  c.valueGroup->resize(x - kPairGap + kInset - c.valueGroup->x(), c.valueGroup->height());
  const int right = c.valueGroup->x() + c.valueGroup->width();
  c.autoIncrement->move(right + 10, top + 20);
  c.autoNumberEdit->move(c.autoIncrement->x() + c.autoIncrement->width() + 6, top + 16);

  // The scanner label's own place runs under the report frame, with no room
  // for its text: it goes inside the serial frame on the edit's right,
  // keeping its top and as tall as the edit reaches, and the edit gives up
  // the width it needs.
  QLabel* scanner = c.scannerLabel;
  QLineEdit* serial = c.serialEdit;
  const QRect inside = c.serialGroup->contentsRect().translated(c.serialGroup->pos());
  scanner->setGeometry(inside.right() + 1 - kFramePad - scanner->width(), scanner->y(),
                       scanner->width(), serial->y() + serial->height() - scanner->y());
  serial->resize(std::max(0, scanner->x() - kFieldGap - serial->x()), serial->height());
}

// ---------------------------------------------------------------- keys and clicks

bool COrvanaDlg::IsOwnWidget(QObject* object) const {
  const auto* widget = qobject_cast<QWidget*>(object);
  // Message boxes and dialogs have their own windows and keys.
  return widget != nullptr && widget->window() == this;
}

bool COrvanaDlg::eventFilter(QObject* watched, QEvent* event) {
  // Every event of the program passes here: the kind is asked first.
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::MouseButtonPress &&
      type != QEvent::MouseButtonDblClick) {
    return false;
  }
  if (!IsOwnWidget(watched)) return false;
  switch (type) {
    case QEvent::KeyPress: {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Escape) return true;
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        m_station->OnEnterKey();
        return true;
      }
      if (key == Qt::Key_F1) {
        OnAbout();
        return true;
      }
      return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      return OnMouseButtonPress(*static_cast<QMouseEvent*>(event));
    default:
      return false;
  }
}

bool COrvanaDlg::OnMouseButtonPress(QMouseEvent& event) {
  if (event.button() != Qt::LeftButton) return false;
  if (&event == m_lastPress && event.timestamp() == m_lastPressTime) return false;
  m_lastPress = &event;
  m_lastPressTime = event.timestamp();
  const QLineEdit* serial = m_controls.serialEdit;
  const QRect serialRect(serial->mapToGlobal(QPoint(0, 0)), serial->size());
  m_station->OnLeftButtonDown(serial->isVisible() &&
                              serialRect.contains(event.globalPosition().toPoint()));
  return false;
}

void COrvanaDlg::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addSeparator();
  menu.addAction(captions::Caption(captions::kAboutMenuItem), this, &COrvanaDlg::OnAbout);
  menu.exec(event->globalPos());
}

}  // namespace orvana::app
