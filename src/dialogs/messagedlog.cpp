#include "dialogs/messagedlog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/dialog_units.h"
#include "ui/fonts.h"

namespace orvana::dialogs {

messagedlog::messagedlog(records::ReportInformation& information, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_information(information) {
  setWindowTitle(tr("信息"));
  setModal(true);
  setFont(ui::DialogFont(8));
  CreateControls();
  OnInitDialog();
}

void messagedlog::CreateControls() {
  const ui::DialogUnits units(font());
  setFixedSize(units.Size(209, 180));

  // Template order, which is the tab order.
  const auto button = [&](const QString& text, const char* name, QRect rect) {
    auto* widget = new QPushButton(text, this);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(rect);
    return widget;
  };
  const auto edit = [&](size_t index, const char* name, int y) {
    auto* widget = new QLineEdit(this);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(units.Rect(29, y, 137, 16));
    // A screen reader calls each by the name the report gives its text, so
    // the user hears where it will go; the label above it says the same.
    widget->setAccessibleName(QString::fromUtf8(records::kReportTextNames[index]));
    auto* label = new QLabel(tr("信息 %1").arg(index + 1), this);
    label->setGeometry(units.Rect(29, y - 10, 137, 9));
    label->setBuddy(widget);
    m_reportEdits[index] = widget;
  };

  // The default button is hidden; Enter in an edit still reaches it.
  QPushButton* okButton = button(tr("确定"), "okButton", units.Rect(7, 159, 18, 14));
  okButton->setDefault(true);
  okButton->setVisible(false);
  QPushButton* cancelButton = button(tr("取消"), "cancelButton", units.Rect(109, 154, 54, 19));
  edit(0, "reportText1Edit", 38);
  edit(1, "reportText2Edit", 65);
  auto* header = new QLabel(tr("输入信息：该信息将会保存在测试报告中"), this);
  header->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  header->setGeometry(units.Rect(12, 12, 153, 15));
  edit(2, "reportText3Edit", 92);
  edit(3, "reportText4Edit", 120);
  QPushButton* applyButton = button(tr("应用"), "applyButton", units.Rect(28, 154, 54, 19));

  connect(okButton, &QPushButton::clicked, this, &messagedlog::OnOK);
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(applyButton, &QPushButton::clicked, this, &messagedlog::OnApply);
  cancelButton->setFocus();
}

void messagedlog::OnInitDialog() {
  m_reportTexts = {QString::fromStdString(m_information.reportText1),
                   QString::fromStdString(m_information.reportText2),
                   QString::fromStdString(m_information.reportText3),
                   QString::fromStdString(m_information.reportText4)};
  UpdateData(false);
}

void messagedlog::UpdateData(bool save) {
  for (size_t k = 0; k < m_reportTexts.size(); ++k) {
    if (save) {
      m_reportTexts[k] = m_reportEdits[k]->text();
    } else {
      m_reportEdits[k]->setText(m_reportTexts[k]);
    }
  }
}

void messagedlog::OnApply() {
  UpdateData(true);
  m_information.reportText1 = m_reportTexts[0].toStdString();
  m_information.reportText2 = m_reportTexts[1].toStdString();
  m_information.reportText3 = m_reportTexts[2].toStdString();
  m_information.reportText4 = m_reportTexts[3].toStdString();
  reject();
}

void messagedlog::OnOK() {
  // Closes with the OK result; what was typed is not kept.
  UpdateData(true);
  accept();
}

void messagedlog::keyPressEvent(QKeyEvent* event) {
  // Qt clicks only a visible default button; here Enter in an edit means the
  // hidden "确定". A focused push button takes Enter itself before this.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const bool plain = event->modifiers() == Qt::NoModifier ||
                     (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
  if (enter && plain) {
    OnOK();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace orvana::dialogs
