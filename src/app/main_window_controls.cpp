#include "app/main_window_controls.h"

#include <QStyle>
#include <algorithm>

#include "app/bench_panel.h"
#include "app/main_buttons.h"
#include "app/template_texts.h"
#include "ui/button_st.h"
#include "ui/cached_group_box.h"
#include "ui/cached_panel_style.h"
#include "ui/fonts.h"

namespace orvana::app {
namespace {

QString Utf8(const std::string& text) { return QString::fromStdString(text); }

// Sizes in dialog units: the template's own controls keep these, the window
// only moves them.
struct UnitSize {
  int width;
  int height;
};
constexpr UnitSize kRightColumnButton{38, 46};
// The right-hand column puts the information button one of its own heights
// and the settings button two of its own heights below the top: were all
// three as tall as the connect button, the information and settings faces
// would touch and read as one block. Each a little taller than the one above
// leaves a gap of a few pixels between them.
constexpr UnitSize kInfoButtonSize{38, 48};
constexpr UnitSize kSettingsButtonSize{38, 50};
// Wide enough for a designation such as /dev/ttyUSB0; it reaches over the
// empty end of the table's header, never over a column.
constexpr UnitSize kPortComboSize{58, 12};
constexpr UnitSize kBottomButton{64, 18};
constexpr UnitSize kExitSize{38, 18};
constexpr UnitSize kOkSize{50, 14};
constexpr UnitSize kEditSize{77, 14};
constexpr UnitSize kSerialEditSize{80, 14};
constexpr UnitSize kScannerLabelSize{21, 18};
constexpr UnitSize kSerialGroupSize{108, 30};
constexpr UnitSize kReportGroupSize{334, 31};
constexpr UnitSize kShortLabel{21, 14};
constexpr UnitSize kLongLabel{35, 14};
constexpr UnitSize kValueLabelSize{37, 14};
constexpr UnitSize kValueEditSize{37, 20};
constexpr UnitSize kValueGroupSize{316, 32};
constexpr UnitSize kAutoIncrementSize{68, 12};
constexpr UnitSize kAutoNumberSize{34, 14};

// The widest value a value field shows whole: a loss of two digits with its
// two decimals. The template's width cuts off even "-0.21" in the 20-point face.
constexpr const char* kWidestValue = "-00.00";
// Qt keeps this much room between an edit's frame and its text, and one
// pixel for the cursor after the last character.
constexpr int kEditTextMargin = 2;
constexpr int kEditCursorWidth = 1;

int EditWidthFor(const QLineEdit& edit, const QString& text) {
  const int frame = edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &edit);
  return edit.fontMetrics().horizontalAdvance(text) + 2 * (frame + kEditTextMargin) +
         kEditCursorWidth;
}

class Builder {
 public:
  Builder(QWidget& window, const ui::DialogUnits& units, bool showAll, MainWindowControls& controls)
      : m_window(window), m_units(units), m_showAll(showAll), m_controls(controls) {}

  template <typename Widget>
  Widget* Add(int id, Widget* widget, UnitSize size, bool visibleInTemplate,
              bool hiddenAlways = false) {
    widget->resize(m_units.Size(size.width, size.height));
    widget->setVisible(!hiddenAlways && (visibleInTemplate || m_showAll));
    if (id != 0) m_controls.byId[id] = widget;
    return widget;
  }

  // The nine image buttons draw themselves; OK and exit stay plain.
  QPushButton* Button(int id, const QString& caption, UnitSize size, bool visible) {
    const bool image = std::find(kMainWindowButtonIds.begin(), kMainWindowButtonIds.end(), id) !=
                       kMainWindowButtonIds.end();
    QPushButton* button = image ? new CButtonST(&m_window) : new QPushButton(&m_window);
    button->setText(caption);
    button->setAccessibleName(caption.trimmed());
    return Add(id, button, size, visible);
  }
  QLineEdit* Edit(int id, UnitSize size, bool visible) {
    auto* edit = new QLineEdit(&m_window);
    return Add(id, edit, size, visible);
  }
  QLabel* Label(int id, const QString& caption, UnitSize size, bool visible) {
    auto* label = new QLabel(caption, &m_window);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return Add(id, label, size, visible);
  }
  QGroupBox* Group(int id, const QString& caption, UnitSize size, bool visible) {
    auto* group = new ui::CachedGroupBox(caption, &m_window);
    group->lower();  // frames stay behind what they frame
    return Add(id, group, size, visible);
  }

 private:
  QWidget& m_window;
  const ui::DialogUnits& m_units;
  bool m_showAll;
  MainWindowControls& m_controls;
};

}  // namespace

QWidget* MainWindowControls::ById(int id) const {
  const auto found = byId.find(id);
  return found == byId.end() ? nullptr : found->second;
}

MainWindowControls CreateMainWindowControls(QWidget& window, const texts::MessageTexts& texts,
                                            const ui::DialogUnits& units, bool showAll) {
  MainWindowControls c;
  Builder make(window, units, showAll, c);
  const auto caption = [](const char* text) { return captions::Caption(text); };

  c.ok = make.Button(kOkButton, caption(captions::kOk), kOkSize, false);
  c.ok->setVisible(false);  // never shown, even with every control shown
  c.ok->setDefault(true);
  c.exit = make.Button(kExitButton, Utf8(texts.exit), kExitSize, true);
  c.portCombo = make.Add(kPortCombo, new PortComboBox(&window), kPortComboSize, true);
  c.portCombo->setEditable(true);
  c.portCombo->setInsertPolicy(QComboBox::NoInsert);
  c.portCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  c.portCombo->setAccessibleName(QStringLiteral("Port"));
  // Its typing field is an edit of its own to a screen reader.
  c.portCombo->lineEdit()->setAccessibleName(c.portCombo->accessibleName());
  c.portCombo->view()->setMinimumWidth(units.X(70));
  c.connect = make.Button(kConnectButton, Utf8(texts.connect), kRightColumnButton, true);
  c.exportReport = make.Button(kExportButton, Utf8(texts.save), kBottomButton, true);
  c.resultList = make.Add(kResultList, new results::CListCtrlCl(&window), {200, 100}, true);
  c.info = make.Button(kInfoButton, QString(), kInfoButtonSize, false);
  c.info->setAccessibleName(caption(captions::kInfoHint));
  c.settings = make.Button(kSettingsButton, QString(), kSettingsButtonSize, false);
  c.settings->setAccessibleName(caption(captions::kSettingsHint));
  c.blankRow = make.Button(kBlankRowButton, Utf8(texts.dellsel), kBottomButton, true);
  c.upload = make.Button(kUploadButton, Utf8(texts.readrecord), kBottomButton, true);
  c.import = make.Button(kImportButton, caption(captions::kImport), kBottomButton, false);
  c.erase = make.Button(kEraseButton, Utf8(texts.dellall), kBottomButton, true);
  c.clear = make.Button(kClearButton, Utf8(texts.clearlcd), kBottomButton, true);

  c.serialGroup =
      make.Group(kSerialGroup, caption(captions::kSerialGroup), kSerialGroupSize, false);
  c.serialEdit = make.Edit(kSerialEdit, kSerialEditSize, false);
  c.serialEdit->setAccessibleName(caption(captions::kSerialGroup));
  c.autoNumberEdit = make.Edit(kAutoNumberEdit, kAutoNumberSize, false);
  c.autoIncrement =
      make.Add(kAutoIncrementCheck, new QCheckBox(caption(captions::kAutoIncrement), &window),
               kAutoIncrementSize, false);
  // The number counts on when "Auto Increment" is ticked; the box beside it
  // is all that says what the number is.
  c.autoNumberEdit->setAccessibleName(caption(captions::kAutoIncrement));
  c.scannerLabel =
      make.Label(kScannerLabel, caption(captions::kScannerLabel), kScannerLabelSize, false);
  // One line: wrapped into its template width the word for scanner breaks in
  // two and the second line falls out of the frame. It is placed beside the
  // serial edit where it is shown.
  c.scannerLabel->setWordWrap(false);
  c.scannerLabel->resize(c.scannerLabel->sizeHint().width(), c.scannerLabel->height());
  // The frame names the serial edit; the label says what else it takes.
  c.serialEdit->setAccessibleDescription(c.scannerLabel->text());
  c.picture = make.Add(kPicture, new QLabel(&window), {20, 20}, false, true);
  c.valueGroup = make.Group(kValueGroup, QString(), kValueGroupSize, false);
  for (size_t k = 0; k < 4; ++k) {
    c.valueLabels[k] = make.Label(kValueLabel1 + static_cast<int>(k),
                                  caption(captions::kValueLabels[k]), kValueLabelSize, false);
    c.valueLabels[k]->setWordWrap(false);
  }
  const QFont valueFont = ui::ArialFont(20);
  for (size_t k = 0; k < 4; ++k) {
    QLineEdit* edit = make.Edit(kValueEdit1 + static_cast<int>(k), kValueEditSize, false);
    edit->setFont(valueFont);
    edit->resize(std::max(edit->width(), EditWidthFor(*edit, QString::fromLatin1(kWidestValue))),
                 edit->height());
    edit->setAccessibleName(caption(captions::kValueLabels[k]));
    c.valueLabels[k]->setBuddy(edit);
    c.valueEdits[k] = edit;
  }
  // Made after the fields, so that it goes after them when the window does.
  auto* fieldStyle = new ui::CachedPanelStyle;
  fieldStyle->setParent(&window);
  for (QLineEdit* edit : c.valueEdits) edit->setStyle(fieldStyle);
  c.reportGroup =
      make.Group(kReportGroup, caption(captions::kReportGroup), kReportGroupSize, false);
  c.productNumberLabel =
      make.Label(kProductNumberLabel, caption(captions::kProductNumber), kShortLabel, false);
  c.productNumberEdit = make.Edit(kProductNumberEdit, kEditSize, false);
  c.productNumberEdit->setAccessibleName(caption(captions::kProductNumber));
  c.productNumberLabel->setBuddy(c.productNumberEdit);
  c.orderNumberLabel =
      make.Label(kOrderNumberLabel, caption(captions::kOrderNumber), kShortLabel, false);
  c.orderNumberEdit = make.Edit(kOrderNumberEdit, kEditSize, false);
  c.orderNumberEdit->setAccessibleName(caption(captions::kOrderNumber));
  c.orderNumberLabel->setBuddy(c.orderNumberEdit);
  c.saveFileNameLabel =
      make.Label(kSaveFileNameLabel, caption(captions::kSaveFileName), kLongLabel, false);
  c.saveFileNameEdit = make.Edit(kSaveFileNameEdit, kEditSize, false);
  c.saveFileNameEdit->setAccessibleName(caption(captions::kSaveFileName));
  c.saveFileNameLabel->setBuddy(c.saveFileNameEdit);

  for (int id : kMainWindowButtonIds) {
    ConfigureMainWindowButton(*static_cast<CButtonST*>(c.ById(id)), id, Utf8(texts.connect));
  }
  // A caption too long for one line beside its icon ("Erase meter data")
  // wraps inside the button; the whole row grows to the tallest caption, so
  // the buttons stay one size. Their places are fixed, so they cannot widen.
  const std::array<QPushButton*, 6> bottomRow{c.clear,        c.blankRow, c.upload,
                                              c.exportReport, c.erase,    c.import};
  int rowHeight = units.Y(kBottomButton.height);
  for (const QPushButton* button : bottomRow) {
    rowHeight = std::max(rowHeight, button->heightForWidth(button->width()));
  }
  for (QPushButton* button : bottomRow) button->resize(button->width(), rowHeight);
  // It reaches over the table's header, so it stays on top of it.
  c.portCombo->raise();
  if (showAll) {
    c.benchCounts = new QLabel(&window);
    c.benchCounts->setAccessibleName(QStringLiteral("Counts"));
    QFont countsFont = c.benchCounts->font();
    if (countsFont.pixelSize() > 0) {
      countsFont.setPixelSize(countsFont.pixelSize() * 7 / 5);
    } else {
      countsFont.setPointSizeF(countsFont.pointSizeF() * 1.4);
    }
    countsFont.setBold(true);
    c.benchCounts->setFont(countsFont);
    c.benchCounts->setText(BenchCountsText({}));
    c.serialNote = new QLabel(&window);
    c.serialNote->setAccessibleName(QStringLiteral("Serial note"));
    QFont noteFont = c.serialNote->font();
    noteFont.setBold(true);
    c.serialNote->setFont(noteFont);
    // Dark red on the window's grey: a warning that reads from a step away.
    c.serialNote->setStyleSheet(QStringLiteral("color: #A00000"));
  }
  return c;
}

}  // namespace orvana::app
