#pragma once

#include <QDialog>
#include <QString>
#include <array>

#include "records/report_information.h"

class QKeyEvent;
class QLineEdit;

namespace orvana::dialogs {

// The report information dialog: four texts for the test report. Built for
// one opening; only "应用" copies what was typed into the program's Report
// information (all four, empty ones included, as typed), and it then closes
// as "取消" does. "取消", Esc, Enter and the close box store nothing.
class messagedlog : public QDialog {
  Q_OBJECT

 public:
  explicit messagedlog(records::ReportInformation& information, QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void CreateControls();
  void OnInitDialog();
  void OnApply();
  void OnOK();
  void UpdateData(bool save);

  records::ReportInformation& m_information;
  std::array<QString, 4> m_reportTexts;
  std::array<QLineEdit*, 4> m_reportEdits{};
};

}  // namespace orvana::dialogs
