#include "app/window_layout.h"

#include <algorithm>

namespace orvana::app {

std::array<Placement, 18> PaintTimeLayout(int w, int h) {
  const Size table{std::max(0, w - 73), std::max(0, h - 110)};
  return {{
      {kResultList, 0, 10, table},
      {kClearButton, 5, h - 60, {}},
      {kExitButton, w - 73, h - 70, {}},
      {kBlankRowButton, 125, h - 60, {}},
      {kUploadButton, 245, h - 60, {}},
      {kExportButton, 365, h - 60, {}},
      {kEraseButton, 485, h - 60, {}},
      {kImportButton, 605, h - 60, {}},
      {kSerialGroup, 5, h - 120, {}},
      {kSerialEdit, 10, h - 102, {}},
      {kScannerLabel, 165, h - 100, {}},
      {kReportGroup, 200, h - 125, {}},
      {kProductNumberLabel, 210, h - 100, {}},
      {kOrderNumberLabel, 396, h - 100, {}},
      {kSaveFileNameLabel, 580, h - 100, {}},
      {kProductNumberEdit, 255, h - 100, {}},
      {kOrderNumberEdit, 440, h - 100, {}},
      {kSaveFileNameEdit, 642, h - 100, {}},
  }};
}

std::array<Placement, 4> RightColumnLayout(int w, const RightColumnSizes& sizes) {
  const int third = sizes.connect.height / 3;
  auto right = [w](const Size& size) { return w - size.width - 3; };
  return {{
      {kPortCombo, right(sizes.combo), 5, {}},
      {kConnectButton, right(sizes.connect), third + 5, {}},
      {kInfoButton, right(sizes.info), third + sizes.info.height + 8, {}},
      {kSettingsButton, right(sizes.settings), third + 2 * sizes.settings.height + 8, {}},
  }};
}

std::vector<Placement> ExtraControlsLayout(int w, const ExtraControlSizes& sizes) {
  constexpr int kFrameGap = 6;  // between two frames, one above the other
  constexpr int kInset = 7;     // from a frame's side to what it holds
  constexpr int kLabelGap = 2;  // from a value's label to its field
  constexpr int kPairGap = 10;  // from a field to the next value's label
  constexpr int kFieldGap = 6;  // from the serial edit to the scanner label
  constexpr int kFramePad = 3;  // from the inside of a frame to a label
  constexpr int kGroupLeft = 5;
  std::vector<Placement> places;
  const int top = sizes.reportGroupTop - kFrameGap - sizes.valueGroup.height;
  places.push_back({kResultList, 0, 10, Size{std::max(0, w - 73), std::max(0, top - 15)}});
  int x = kGroupLeft + kInset;
  for (int k = 0; k < 4; ++k) {
    const Size label = sizes.valueLabels[static_cast<size_t>(k)];
    const Size edit = sizes.valueEdits[static_cast<size_t>(k)];
    const int editX = x + label.width + kLabelGap;
    const int editY = top + 10;
    places.push_back({kValueEdit1 + k, editX, editY, {}});
    places.push_back({kValueLabel1 + k, x, editY + (edit.height - label.height) / 2, {}});
    x = editX + edit.width + kPairGap;
  }
  // The frame holds all four fields: one reaching over its edge looks cut off.
  const int groupWidth = x - kPairGap + kInset - kGroupLeft;
  places.push_back({kValueGroup, kGroupLeft, top, Size{groupWidth, sizes.valueGroup.height}});
  const int checkX = kGroupLeft + groupWidth + 10;
  places.push_back({kAutoIncrementCheck, checkX, top + 20, {}});
  places.push_back({kAutoNumberEdit, checkX + sizes.autoIncrement.width + 6, top + 16, {}});

  const Rect& scanner = sizes.scannerLabel;
  const Rect& serial = sizes.serialEdit;
  const int scannerX = sizes.serialInside.Right() - kFramePad - scanner.width;
  places.push_back(
      {kScannerLabel, scannerX, scanner.y, Size{scanner.width, serial.Bottom() - scanner.y}});
  places.push_back({kSerialEdit, serial.x, serial.y,
                    Size{std::max(0, scannerX - kFieldGap - serial.x), serial.height}});
  return places;
}

Point NotePosition(Size client, Size note) {
  return {std::max(0, client.width - note.width - 4), std::max(0, client.height - note.height - 2)};
}

}  // namespace orvana::app
