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

}  // namespace orvana::app
