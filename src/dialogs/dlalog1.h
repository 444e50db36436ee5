#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>

#include "results/settings_record.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace orvana::dialogs {

// The settings dialog: thresholds, wavelength family, the port counts of the
// device under test and its name. Built for one opening and destroyed after
// it; whatever outlives it is in the Test settings it edits. Only "应用"
// writes them, and it calls `onApplied` (the window sets up the table's
// wavelength row there) before the dialog closes. "退出", Enter, Esc and the
// close box leave them as they were.
class dlalog1 : public QDialog {
  Q_OBJECT

 public:
  dlalog1(results::TestSettings& settings, std::function<void()> onApplied,
          QWidget* parent = nullptr);

 private:
  // The thresholds in the order the exchange visits them.
  enum Threshold { Il1, Il2, Rl1, Rl2, ThresholdCount };

  void CreateControls();
  void OnInitDialog();
  void OnApply();
  void OnOK();

  // Writes the dialog's values to their controls, or reads them back in the
  // same order. Reading stops at a threshold that is not a number: it says
  // so, puts the focus on that edit with its text selected and returns false.
  bool UpdateData(bool saveAndValidate);

  results::TestSettings& m_settings;
  std::function<void()> m_onApplied;

  QString m_deviceName = QStringLiteral("FC/APC-2.0");
  std::array<float, ThresholdCount> m_thresholds{-0.3f, -0.3f, 55.0f, 55.0f};

  QPushButton* m_exitButton = nullptr;
  QPushButton* m_applyButton = nullptr;
  QLineEdit* m_deviceNameEdit = nullptr;
  QComboBox* m_portComboA = nullptr;
  QComboBox* m_portComboB = nullptr;
  std::array<QLineEdit*, ThresholdCount> m_thresholdEdits{};
  QRadioButton* m_singleModeRadio = nullptr;
  QRadioButton* m_multiModeRadio = nullptr;
};

}  // namespace orvana::dialogs
