#include "app/qt_station_ui.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>

#include "app/bench_panel.h"
#include "app/template_texts.h"
#include "app/window_layout.h"

namespace orvana::app {
namespace {

QString Utf8(const std::string& text) { return QString::fromStdString(text); }
std::string Utf8(const QString& text) { return text.toStdString(); }

// A box as narrow as a short text leaves no room for its caption in the
// title bar; the caption ("OTDR", "IL&RL") says where the message comes from.
void KeepCaptionReadable(QMessageBox& box) {
  box.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { min-width: 220px; }"));
}

}  // namespace

void QtStationUi::ShowMessage(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, Utf8(caption), Utf8(text), QMessageBox::Ok, &m_window);
  KeepCaptionReadable(box);
  box.exec();
}

station::Answer QtStationUi::AskQuestion(const std::string& caption, const std::string& text,
                                         station::Answer byDefault) {
  QMessageBox box(QMessageBox::Question, Utf8(caption), Utf8(text),
                  QMessageBox::Ok | QMessageBox::Cancel, &m_window);
  box.setDefaultButton(byDefault == station::Answer::Ok ? QMessageBox::Ok : QMessageBox::Cancel);
  KeepCaptionReadable(box);
  return box.exec() == QMessageBox::Ok ? station::Answer::Ok : station::Answer::Cancel;
}

QtStationUi::QtStationUi(QWidget& window, const MainWindowControls& controls)
    : m_window(window),
      m_controls(controls),
      m_valuesUpdate(&window, ui::kScreenUpdateInterval, [this] {
        // An unchanged value is not laid out and drawn again.
        for (size_t k = 0; k < m_values.size(); ++k) {
          const QString value = Utf8(m_values[k]);
          if (m_controls.valueEdits[k]->text() != value) m_controls.valueEdits[k]->setText(value);
        }
      }),
      m_partUpdate(&window, ui::kScreenUpdateInterval, [this] {
        if (m_controls.benchCounts && m_controls.serialNote) {
          app::ShowPartRecorded(*m_controls.benchCounts, *m_controls.serialNote, m_part);
        }
      }) {}

void QtStationUi::ShowValues(const std::array<std::string, 4>& values) {
  m_values = values;
  m_valuesUpdate.Request();
}

const std::string& QtStationUi::Read(const QLineEdit& edit, ReadText& last) {
  const QString shown = edit.text();
  if (shown != last.shown) {
    last.text = Utf8(shown);
    last.shown = shown;
  }
  return last.text;
}

void QtStationUi::ReadBoundFields(station::BoundFields& fields) {
  fields.serialText = Read(*m_controls.serialEdit, m_readSerial);
  fields.autoNumberText = Read(*m_controls.autoNumberEdit, m_readAutoNumber);
  // Values waiting for their screen update are what the fields will show.
  for (size_t k = 0; k < fields.valueText.size(); ++k) {
    fields.valueText[k] =
        m_valuesUpdate.Held() ? m_values[k] : Read(*m_controls.valueEdits[k], m_readValues[k]);
  }
  fields.saveFileName = Read(*m_controls.saveFileNameEdit, m_readSaveFileName);
  fields.productNumber = Read(*m_controls.productNumberEdit, m_readProductNumber);
  fields.orderNumber = Read(*m_controls.orderNumberEdit, m_readOrderNumber);
}

void QtStationUi::WriteBoundFields(const station::BoundFields& fields) {
  // setText moves the cursor and drops a selection; only touch what changed,
  // so a scanned number being typed is not disturbed.
  const auto write = [](QLineEdit* edit, const std::string& text) {
    const QString value = Utf8(text);
    if (edit->text() != value) edit->setText(value);
  };
  write(m_controls.serialEdit, fields.serialText);
  write(m_controls.autoNumberEdit, fields.autoNumberText);
  for (size_t k = 0; k < fields.valueText.size(); ++k) {
    write(m_controls.valueEdits[k], fields.valueText[k]);
  }
  write(m_controls.saveFileNameEdit, fields.saveFileName);
  write(m_controls.productNumberEdit, fields.productNumber);
  write(m_controls.orderNumberEdit, fields.orderNumber);
}

void QtStationUi::SelectSerialText() {
  // Posted, so that the click being handled does not undo the selection.
  QTimer::singleShot(0, m_controls.serialEdit,
                     [edit = m_controls.serialEdit] { edit->selectAll(); });
}

void QtStationUi::ShowPortList(const std::vector<link::PortEntry>& ports) {
  QComboBox& combo = *m_controls.portCombo;
  const QSignalBlocker quiet(combo);
  combo.clear();
  for (const link::PortEntry& port : ports) combo.addItem(Utf8(port.designation));
  combo.setCurrentIndex(ports.empty() ? -1 : 0);
}

void QtStationUi::MakeRowVisible(int row) { m_controls.resultList->MakeRowVisible(row); }

void QtStationUi::ShowLinkState(const std::string& linkText) {
  m_linkState = Utf8(linkText);
  ShowStates();
}

void QtStationUi::ShowStoreState(const store::StoreEvent& event, bool news) {
  using Kind = store::StoreEvent::Kind;
  QString note;
  switch (event.kind) {
    case Kind::Up:
      m_storeState = captions::Caption(captions::kStoreUp);
      break;
    case Kind::Down: {
      const auto pending = static_cast<qulonglong>(event.pending);
      m_storeState = captions::Caption(captions::kStoreDown).arg(pending).arg(Utf8(event.reason));
      note = captions::Caption(captions::kStoreDownNote).arg(pending);
      break;
    }
    case Kind::CaughtUp:
      m_storeState =
          captions::Caption(captions::kStoreCaughtUp).arg(static_cast<qulonglong>(event.sent));
      note = m_storeState;
      break;
    // The outbox's own trouble is said in the same note, and stays in the
    // hint beside the database's state while it lasts: results are then in
    // the day log only.
    case Kind::Failing:
      m_outboxState = captions::Caption(captions::kStoreFailing)
                          .arg(static_cast<qulonglong>(event.pending))
                          .arg(Utf8(event.reason));
      note = m_outboxState;
      break;
    case Kind::Recovered:
      m_outboxState.clear();
      note = captions::Caption(captions::kStoreRecovered);
      break;
    case Kind::Refused:
      note = captions::Caption(captions::kStoreRefused)
                 .arg(static_cast<qulonglong>(event.results))
                 .arg(Utf8(event.file));
      break;
    case Kind::Changed:
      note = captions::Caption(captions::kStoreChanged).arg(Utf8(event.file));
      break;
  }
  ShowStates();
  if (news && !note.isEmpty()) ShowNote(note);
}

void QtStationUi::ShowNote(const QString& text) {
  // Losing the database and getting it back are said once, in a note in the
  // window's corner that goes by itself: the bench records on either way, so
  // nothing waits for an answer, and the table stays in view. The reason is
  // in the connect button's hint.
  if (m_note == nullptr) {
    m_note = new QLabel(&m_window);
    m_note->setObjectName(QStringLiteral("storeNote"));
    m_note->setAutoFillBackground(true);
    m_note->setBackgroundRole(QPalette::ToolTipBase);
    m_note->setForegroundRole(QPalette::ToolTipText);
    m_note->setFrameShape(QFrame::Box);
    m_note->setMargin(4);
    m_noteTimer.setSingleShot(true);
    // The window may be laid out anew (maximised at start, resized by the
    // user): the note stays in its corner.
    m_window.installEventFilter(&m_noteFollower);
    QObject::connect(&m_noteTimer, &QTimer::timeout, m_note, &QLabel::hide);
  }
  // News that comes while the note is up joins it (the outbox failing and
  // the database lost at once): each is read, the newest last.
  if (m_note->isHidden()) m_noteLines.clear();
  m_noteLines << text;
  while (m_noteLines.size() > kNoteLines) m_noteLines.removeFirst();
  const QString shown = m_noteLines.join(QLatin1Char('\n'));
  m_note->setText(shown);
  m_note->setAccessibleName(shown);
  m_note->adjustSize();
  m_note->show();
  PlaceNote();
  m_note->raise();
  m_noteTimer.start(kNoteMilliseconds);
}

void QtStationUi::PlaceNote() {
  if (m_note == nullptr || m_note->isHidden()) return;
  const Point place = NotePosition({m_window.width(), m_window.height()},
                                   {m_note->width(), m_note->height()});
  m_note->move(place.x, place.y);
}

void QtStationUi::ShowStates() {
  // Where a technician who wonders looks (the button's hint) and what a
  // screen reader says of the button; nothing that gets in the way.
  QPushButton& button = *m_controls.connect;
  if (!m_connectHint) m_connectHint = button.toolTip();
  QStringList states;
  for (const QString* state : {&m_linkState, &m_outboxState, &m_storeState}) {
    if (!state->isEmpty()) states << *state;
  }
  const QString state = states.join('\n');
  button.setToolTip(state.isEmpty() || m_connectHint->isEmpty() ? *m_connectHint + state
                                                                : *m_connectHint + '\n' + state);
  button.setAccessibleDescription(state);
}

void QtStationUi::ShowPartRecorded(const station::PartRecorded& part) {
  m_part = part;
  m_partUpdate.Request();
}

}  // namespace orvana::app
