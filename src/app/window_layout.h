#pragma once

#include <array>
#include <optional>
#include <vector>

// Where the main window's controls go, as plain arithmetic on the client size,
// so the rules can be read and tested without a window.
namespace orvana::app {

// The controls of the main window, by the identifiers its template gives them.
enum ControlId : int {
  kSerialGroup = -1,  // the "Serial Number" frame, which has no identifier
  kOkButton = 1,
  kExitButton = 2,
  kPortCombo = 1000,
  kConnectButton = 1001,
  kExportButton = 1002,
  kResultList = 1003,
  kInfoButton = 1004,
  kSettingsButton = 1005,
  kBlankRowButton = 1006,
  kUploadButton = 1007,
  kImportButton = 1008,
  kEraseButton = 1009,
  kClearButton = 1010,
  kSerialEdit = 1017,
  kAutoNumberEdit = 1018,
  kAutoIncrementCheck = 1019,
  kScannerLabel = 1026,
  kPicture = 1027,
  kValueEdit1 = 1028,   // to 1031
  kValueLabel1 = 1032,  // to 1035
  kValueGroup = 1036,
  kProductNumberEdit = 1037,
  kOrderNumberEdit = 1038,
  kSaveFileNameEdit = 1039,
  kReportGroup = 1040,
  kProductNumberLabel = 1041,
  kOrderNumberLabel = 1042,
  kSaveFileNameLabel = 1043,
};

// The kind of the last size change, as the window reports it.
enum class SizeType { Restored = 0, Minimized = 1, Maximized = 2 };

struct Size {
  int width = 0;
  int height = 0;
  bool operator==(const Size&) const = default;
};

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int Right() const { return x + width; }    // one past the last column
  int Bottom() const { return y + height; }  // one past the last row
  bool operator==(const Rect&) const = default;
};

struct Placement {
  int id = 0;
  int x = 0;
  int y = 0;
  std::optional<Size> size;  // nothing: the control keeps its size
  bool operator==(const Placement&) const = default;
};

// The layout every paint applies: the table and the bottom row of controls
// follow the client's size. A size below zero counts as zero.
std::array<Placement, 18> PaintTimeLayout(int clientWidth, int clientHeight);

// The right-hand column moved on a resize (restored or maximised): each
// control keeps its size, its right edge 3 pixels from the client's.
struct RightColumnSizes {
  Size combo;
  Size connect;
  Size info;
  Size settings;
};
std::array<Placement, 4> RightColumnLayout(int clientWidth, const RightColumnSizes& sizes);

// The controls the template gives no place, shown in the bench mode: the four
// value fields and the numbering controls go in a strip above the report
// frame (placed by PaintTimeLayout for this height), and the table ends above
// it so nothing overlaps. The scanner label's own place runs under the report
// frame, with no room for its text: it goes inside the serial frame on the
// edit's right, as tall as the edit reaches, and the edit gives up the width
// it needs.
struct ExtraControlSizes {
  int reportGroupTop = 0;
  Size valueGroup;
  std::array<Size, 4> valueLabels;
  std::array<Size, 4> valueEdits;
  Size autoIncrement;
  Rect serialInside;  // the serial frame's inside, in the window's coordinates
  Rect scannerLabel;  // as PaintTimeLayout placed it
  Rect serialEdit;    // as PaintTimeLayout placed it
};
std::vector<Placement> ExtraControlsLayout(int clientWidth, const ExtraControlSizes& sizes);

// The database note: the window's bottom right corner, below the exit
// button, the one strip that holds no control at any window size.
Point NotePosition(Size client, Size note);

}  // namespace orvana::app
