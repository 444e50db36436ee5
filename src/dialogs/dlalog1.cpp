#include "dialogs/dlalog1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <utility>

#include "results/settings_input.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"

namespace orvana::dialogs {
namespace {

// A label's text as it reads: "&&" stands for one '&', and a single '&' only
// marks the mnemonic letter after it.
QString WithoutMnemonic(const QString& text) {
  QString plain;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
    plain += text[i];
  }
  return plain;
}

// The label beside a field is what names it for a screen reader, and its
// mnemonic (should it get one) moves the focus into the field.
void NameAfter(QLabel* label, QWidget* field) {
  label->setBuddy(field);
  field->setAccessibleName(WithoutMnemonic(label->text()));
}

}  // namespace

dlalog1::dlalog1(results::TestSettings& settings, std::function<void()> onApplied, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_settings(settings),
      m_onApplied(std::move(onApplied)) {
  setWindowTitle(tr("设置……"));
  setModal(true);
  setFont(ui::DialogFont(8));
  CreateControls();
  OnInitDialog();
}

void dlalog1::CreateControls() {
  const ui::DialogUnits units(font());
  setFixedSize(units.Size(332, 255));

  // Children are made in template order, which is also the tab order; every
  // group box comes before what it frames, so it is drawn underneath.
  const auto place = [&units](QWidget* widget, int x, int y, int width, int height) {
    widget->setGeometry(units.Rect(x, y, width, height));
  };
  const auto label = [&](const QString& text, int x, int y, int width, int height) {
    auto* widget = new QLabel(text, this);
    widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(widget, x, y, width, height);
    return widget;
  };
  const auto group = [&](const QString& text, int x, int y, int width, int height) {
    auto* widget = new QGroupBox(text, this);
    widget->setFocusPolicy(Qt::NoFocus);
    place(widget, x, y, width, height);
    return widget;
  };
  const auto edit = [&](const char* name, int x, int y, int width, int height) {
    auto* widget = new QLineEdit(this);
    widget->setObjectName(QString::fromLatin1(name));
    place(widget, x, y, width, height);
    return widget;
  };
  const auto button = [&](const QString& text, const char* name, int x) {
    auto* widget = new QPushButton(text, this);
    widget->setObjectName(QString::fromLatin1(name));
    place(widget, x, 234, 50, 14);
    return widget;
  };
  const auto combo = [&](const char* name, int x, int y, int width, int height) {
    auto* widget = new QComboBox(this);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setEditable(true);  // a drop-down combo: an edit field over the list
    widget->setEnabled(false);
    place(widget, x, y, width, height);
    // A template gives a drop-down combo the height of its open list; the
    // closed field is as tall as its font needs.
    widget->resize(widget->width(), widget->sizeHint().height());
    return widget;
  };
  const auto checkBox = [&](const QString& text, int x) {
    // Bound to nothing and never enabled: placeholders for a choice of values.
    auto* widget = new QCheckBox(text, this);
    widget->setEnabled(false);
    place(widget, x, 139, 48, 13);
  };
  const auto radio = [&](const QString& text, const char* name, int x) {
    // Both share the dialog as parent, so they form one exclusive group.
    auto* widget = new QRadioButton(text, this);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setFocusPolicy(Qt::ClickFocus);  // no tab stop
    place(widget, x, 94, 85, 10);
    // Our font's figures run a little wider than the original's; the caption
    // grows into the empty space on its right rather than losing its end.
    widget->resize(std::max(widget->width(), widget->sizeHint().width()), widget->height());
    return widget;
  };

  // The captions in Latin letters (wavelengths, units) read the same in
  // every language; the others are translated.
  m_exitButton = button(tr("退出"), "exitButton", 275);
  m_exitButton->setDefault(true);
  QPushButton* cancelButton = button(tr("取消"), "cancelButton", 7);
  cancelButton->setVisible(false);
  m_applyButton = button(tr("应用"), "applyButton", 191);
  QLabel* deviceNameLabel = label(tr("器件名称："), 19, 20, 41, 13);
  m_deviceNameEdit = edit("deviceNameEdit", 73, 17, 220, 14);
  NameAfter(deviceNameLabel, m_deviceNameEdit);
  group(tr("测试器件端口数量"), 17, 39, 276, 36);
  m_portComboA = combo("portComboA", 82, 56, 51, 12);
  m_portComboB = combo("portComboB", 223, 56, 51, 14);
  NameAfter(label(tr("A端口数量："), 24, 57, 50, 11), m_portComboA);
  NameAfter(label(tr("B端口数量："), 169, 57, 50, 11), m_portComboB);
  // The field of a drop-down combo is an edit of its own to a screen reader.
  for (QComboBox* portCombo : {m_portComboA, m_portComboB}) {
    portCombo->lineEdit()->setAccessibleName(portCombo->accessibleName());
  }
  group(tr("测试选项："), 17, 118, 277, 44);
  checkBox(QStringLiteral("λ1 IL"), 28);
  checkBox(QStringLiteral("λ1 RL"), 92);
  checkBox(QStringLiteral("λ2 IL"), 166);
  checkBox(QStringLiteral("λ2 RL"), 237);
  group(tr("阈值设置："), 17, 169, 277, 57);
  QLabel* il1Label = label(QStringLiteral("1310nm IL:"), 31, 185, 40, 13);
  QLabel* rl1Label = label(QStringLiteral("1310nm RL:"), 32, 208, 41, 10);
  QLabel* il2Label = label(QStringLiteral("1625nm IL:"), 167, 185, 40, 13);
  QLabel* rl2Label = label(QStringLiteral("1625nm RL:"), 168, 208, 40, 13);
  m_thresholdEdits[Il1] = edit("ilThreshold1Edit", 80, 185, 41, 12);
  m_thresholdEdits[Rl1] = edit("rlThreshold1Edit", 79, 206, 41, 12);
  m_thresholdEdits[Il2] = edit("ilThreshold2Edit", 213, 183, 41, 12);
  m_thresholdEdits[Rl2] = edit("rlThreshold2Edit", 213, 207, 41, 12);
  NameAfter(il1Label, m_thresholdEdits[Il1]);
  NameAfter(rl1Label, m_thresholdEdits[Rl1]);
  NameAfter(il2Label, m_thresholdEdits[Il2]);
  NameAfter(rl2Label, m_thresholdEdits[Rl2]);
  const QString decibel = QStringLiteral("dB");
  label(decibel, 130, 187, 16, 9);
  label(decibel, 131, 209, 16, 9);
  label(decibel, 261, 184, 16, 9);
  label(decibel, 262, 209, 16, 9);
  const QGroupBox* wavelengths = group(tr("测试波长选择"), 17, 78, 276, 36);
  m_singleModeRadio = radio(tr("单模1310nm/1625nm"), "singleModeRadio", 26);
  m_multiModeRadio = radio(tr("多模850nm/1300nm"), "multiModeRadio", 197);
  // A caption longer than the template's (the English one) would reach over
  // the frame's right edge; the button moves left into the empty middle of
  // the frame instead, never onto the other button.
  const int frameRight = wavelengths->geometry().right() - units.X(4);
  if (m_multiModeRadio->geometry().right() > frameRight) {
    const int left = std::max(m_singleModeRadio->geometry().right() + units.X(8),
                              frameRight - m_multiModeRadio->width());
    m_multiModeRadio->move(left, m_multiModeRadio->y());
  }

  connect(m_exitButton, &QPushButton::clicked, this, &dlalog1::OnOK);
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(m_applyButton, &QPushButton::clicked, this, &dlalog1::OnApply);
  // Esc and the close box reach QDialog::reject too: nothing is written.
}

void dlalog1::OnInitDialog() {
  UpdateData(false);
  QStringList items;
  for (const int count : results::kPortCounts) items << QString::number(count);
  m_portComboA->addItems(items);
  m_portComboA->setCurrentIndex(m_settings.portIndexA);
  m_portComboB->addItems(items);
  m_portComboB->setCurrentIndex(m_settings.portIndexB);
  (m_settings.multiMode ? m_multiModeRadio : m_singleModeRadio)->setChecked(true);

  // The device name is not loaded: every opening offers the dialog's own.
  m_thresholds = {m_settings.ilThreshold1, m_settings.ilThreshold2, m_settings.rlThreshold1,
                  m_settings.rlThreshold2};
  UpdateData(false);
  m_exitButton->setFocus();
}

bool dlalog1::UpdateData(bool saveAndValidate) {
  if (!saveAndValidate) {
    m_deviceNameEdit->setText(m_deviceName);
    for (int k = 0; k < ThresholdCount; ++k) {
      m_thresholdEdits[k]->setText(
          QString::fromStdString(results::FormatThreshold(m_thresholds[k])));
    }
    return true;
  }
  m_deviceName = m_deviceNameEdit->text();
  for (int k = 0; k < ThresholdCount; ++k) {
    QLineEdit* edit = m_thresholdEdits[k];
    const auto value = results::ParseThreshold(edit->text().toStdString());
    if (!value) {
      QMessageBox::warning(this, windowTitle(), tr("请输入一个数字。"));
      // After the box, so the focus it hands back does not land on the button.
      edit->setFocus(Qt::OtherFocusReason);
      edit->selectAll();
      return false;
    }
    m_thresholds[k] = *value;
  }
  return true;
}

void dlalog1::OnApply() {
  // Nothing is written unless every threshold reads: a half-applied set of
  // thresholds would judge the next result against values nobody chose.
  if (!UpdateData(true)) return;
  const results::PortIndices ports =
      results::ResolvePortIndices(m_portComboA->currentIndex(), m_portComboB->currentIndex());
  m_settings.deviceName = m_deviceName.toStdString();
  m_settings.portIndexA = ports.a;
  m_settings.portIndexB = ports.b;
  m_settings.multiMode = m_multiModeRadio->isChecked();
  m_settings.ilThreshold1 = m_thresholds[Il1];
  m_settings.rlThreshold1 = m_thresholds[Rl1];
  m_settings.ilThreshold2 = m_thresholds[Il2];
  m_settings.rlThreshold2 = m_thresholds[Rl2];
  // Synchronously, so the table has its wavelength row before the dialog goes.
  if (m_onApplied) m_onApplied();
  OnOK();
}

void dlalog1::OnOK() {
  // Reads the controls and closes; the Test settings are left as they were.
  if (UpdateData(true)) accept();
}

}  // namespace orvana::dialogs
