#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <map>

#include "app/window_layout.h"
#include "results/list_ctrl_cl.h"
#include "texts/message_texts.h"
#include "ui/dialog_units.h"

// Every control of the main window's template, made with its caption, size
// and visibility. The window wires them; nothing here reacts to anything.
namespace orvana::app {

// The port list, which says when it is about to drop down so the window can
// rebuild it from what is plugged in now.
class PortComboBox final : public QComboBox {
  Q_OBJECT

 public:
  using QComboBox::QComboBox;
  void showPopup() override {
    emit aboutToShowPopup();
    QComboBox::showPopup();
  }
  // The item chosen, -1 when none is or when text typed into the field no
  // longer names it.
  int Selection() const {
    const int index = currentIndex();
    return index >= 0 && currentText() == itemText(index) ? index : -1;
  }

 signals:
  void aboutToShowPopup();
};

struct MainWindowControls {
  QPushButton* ok = nullptr;  // hidden default button
  QPushButton* exit = nullptr;
  PortComboBox* portCombo = nullptr;
  QPushButton* connect = nullptr;
  QPushButton* exportReport = nullptr;
  results::CListCtrlCl* resultList = nullptr;
  QPushButton* info = nullptr;
  QPushButton* settings = nullptr;
  QPushButton* blankRow = nullptr;
  QPushButton* upload = nullptr;
  QPushButton* import = nullptr;
  QPushButton* erase = nullptr;
  QPushButton* clear = nullptr;
  QGroupBox* serialGroup = nullptr;
  QLineEdit* serialEdit = nullptr;
  QLineEdit* autoNumberEdit = nullptr;
  QCheckBox* autoIncrement = nullptr;
  QLabel* scannerLabel = nullptr;
  QLabel* picture = nullptr;
  QGroupBox* valueGroup = nullptr;
  std::array<QLabel*, 4> valueLabels{};
  std::array<QLineEdit*, 4> valueEdits{};
  QGroupBox* reportGroup = nullptr;
  QLabel* productNumberLabel = nullptr;
  QLineEdit* productNumberEdit = nullptr;
  QLabel* orderNumberLabel = nullptr;
  QLineEdit* orderNumberEdit = nullptr;
  QLabel* saveFileNameLabel = nullptr;
  QLineEdit* saveFileNameEdit = nullptr;
  // The bench mode's own, none otherwise: the day's counts above the table
  // and the note beside the serial field.
  QLabel* benchCounts = nullptr;
  QLabel* serialNote = nullptr;

  // The control with template identifier `id`; nullptr for none.
  QWidget* ById(int id) const;

  std::map<int, QWidget*> byId;
};

// Creates the controls as children of `window`, in template order (which is
// the tab order). With `showAll` the controls the template hides are shown
// too (all but the hidden OK button and the unused picture).
MainWindowControls CreateMainWindowControls(QWidget& window, const texts::MessageTexts& texts,
                                            const ui::DialogUnits& units, bool showAll);

}  // namespace orvana::app
