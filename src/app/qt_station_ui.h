#pragma once

#include <QEvent>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <optional>

#include "app/main_window_controls.h"
#include "station/station_ui.h"
#include "ui/coalesced_update.h"

// The station's user interface made of the main window's widgets: message
// boxes parented to the window, the value fields, the bound fields and the
// port list.
namespace orvana::app {

class QtStationUi final : public station::IStationUi {
 public:
  QtStationUi(QWidget& window, const MainWindowControls& controls);

  void ShowMessage(const std::string& caption, const std::string& text) override;
  station::Answer AskQuestion(const std::string& caption, const std::string& text,
                              station::Answer byDefault) override;
  void ShowValues(const std::array<std::string, 4>& values) override;
  void ReadBoundFields(station::BoundFields& fields) override;
  void WriteBoundFields(const station::BoundFields& fields) override;
  void SelectSerialText() override;
  void ShowPortList(const std::vector<link::PortEntry>& ports) override;
  void MakeRowVisible(int row) override;
  void ShowLinkState(const std::string& linkText) override;
  void ShowStoreState(const store::StoreEvent& event, bool news) override;
  void ShowPartRecorded(const station::PartRecorded& part) override;

 private:
  QWidget& m_window;
  const MainWindowControls& m_controls;
  void ShowStates();
  void ShowNote(const QString& text);
  void PlaceNote();

  // Places the note again after the window's layout has changed.
  class NoteFollower final : public QObject {
   public:
    explicit NoteFollower(QtStationUi& ui) : m_ui(ui) {}
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Resize) {
        QTimer::singleShot(0, this, [this] { m_ui.PlaceNote(); });
      }
      return false;
    }

   private:
    QtStationUi& m_ui;
  };

  // The connect button's own hint, which the link's and the database's
  // states are added to.
  std::optional<QString> m_connectHint;
  QString m_linkState;
  QString m_storeState;
  QString m_outboxState;  // while the outbox cannot take results
  // How long a note about the database stays.
  static constexpr int kNoteMilliseconds = 10000;
  class QLabel* m_note = nullptr;  // the window's child
  QTimer m_noteTimer;
  QStringList m_noteLines;  // what the note shows now, the newest last
  static constexpr qsizetype kNoteLines = 3;
  NoteFollower m_noteFollower{*this};
  // The values of the newest result, put into the fields four times a second
  // at most: a field rewritten for every result of a fast meter is repainted
  // more often than anyone can read it.
  std::array<std::string, 4> m_values;
  ui::CoalescedUpdate m_valuesUpdate;
  // The bench mode's counts and note, as often as the values.
  station::PartRecorded m_part;
  ui::CoalescedUpdate m_partUpdate;
  // A field's text as last read, converted once: the fields are read at
  // every result, and between two results they seldom change.
  struct ReadText {
    QString shown;
    std::string text;
  };
  const std::string& Read(const QLineEdit& edit, ReadText& last);
  ReadText m_readSerial, m_readAutoNumber, m_readSaveFileName, m_readProductNumber,
      m_readOrderNumber;
  std::array<ReadText, 4> m_readValues;
};

}  // namespace orvana::app
