// The bench mode's extra controls and the database note, placed by plain
// arithmetic: nothing reaches over its frame, into the table, or off the
// window, at a bench's size and at a cramped one.
#include <QTest>
#include <algorithm>
#include <map>

#include "app/window_layout.h"

using orvana::app::ExtraControlSizes;
using orvana::app::ExtraControlsLayout;
using orvana::app::NotePosition;
using orvana::app::Placement;
using orvana::app::Rect;
using orvana::app::Size;
namespace ids = orvana::app;

namespace {

// Sizes as the window makes them from its font, roughly.
ExtraControlSizes BenchSizes(int clientHeight) {
  ExtraControlSizes sizes;
  sizes.reportGroupTop = clientHeight - 125;
  sizes.valueGroup = {474, 48};
  sizes.valueLabels = {Size{80, 21}, Size{80, 21}, Size{80, 21}, Size{80, 21}};
  sizes.valueEdits = {Size{56, 30}, Size{56, 30}, Size{56, 30}, Size{56, 30}};
  sizes.autoIncrement = {102, 18};
  sizes.serialInside = {6, clientHeight - 110, 150, 36};
  sizes.scannerLabel = {165, clientHeight - 100, 32, 27};
  sizes.serialEdit = {10, clientHeight - 102, 162, 30};
  return sizes;
}

std::map<int, Rect> Placed(int width, const ExtraControlSizes& sizes) {
  std::map<int, Rect> rects;
  for (const Placement& place : ExtraControlsLayout(width, sizes)) {
    rects[place.id] = {place.x, place.y, place.size ? place.size->width : 0,
                       place.size ? place.size->height : 0};
  }
  return rects;
}

}  // namespace

class WindowLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void theValueStripHoldsItsFieldsAndTheTableEndsAboveIt() {
    const ExtraControlSizes sizes = BenchSizes(800);
    const auto placed = Placed(1280, sizes);
    const Rect group = placed.at(ids::kValueGroup);
    QVERIFY(group.Bottom() <= sizes.reportGroupTop);
    QVERIFY(placed.at(ids::kResultList).Bottom() < group.y);
    int previousRight = group.x;
    for (int k = 0; k < 4; ++k) {
      const Rect label = placed.at(ids::kValueLabel1 + k);
      const Rect edit = placed.at(ids::kValueEdit1 + k);
      const Size editSize = sizes.valueEdits[static_cast<size_t>(k)];
      const int labelWidth = sizes.valueLabels[static_cast<size_t>(k)].width;
      // In order, label before its field, every field whole inside the frame.
      QVERIFY(label.x > previousRight);
      QVERIFY(label.x + labelWidth < edit.x);
      QVERIFY(edit.x + editSize.width < group.Right());
      QVERIFY(edit.y > group.y && edit.y + editSize.height <= group.Bottom());
      previousRight = edit.x + editSize.width;
    }
    // The numbering controls start beyond the frame.
    QVERIFY(placed.at(ids::kAutoIncrementCheck).x > group.Right());
    QVERIFY(placed.at(ids::kAutoNumberEdit).x >
            placed.at(ids::kAutoIncrementCheck).x + sizes.autoIncrement.width);
  }

  void theScannerLabelGoesInsideTheSerialFrameAndTheEditMakesRoom() {
    for (const int height : {800, 400}) {
      const ExtraControlSizes sizes = BenchSizes(height);
      const auto placed = Placed(1280, sizes);
      const Rect scanner = placed.at(ids::kScannerLabel);
      const Rect serial = placed.at(ids::kSerialEdit);
      QVERIFY(scanner.Right() <= sizes.serialInside.Right());
      QCOMPARE(scanner.Bottom(), sizes.serialEdit.Bottom());
      QVERIFY(serial.Right() < scanner.x);
      QCOMPARE(serial.height, sizes.serialEdit.height);
    }
    // A window too small for a table still gets no negative sizes.
    const auto cramped = Placed(40, BenchSizes(100));
    QCOMPARE(cramped.at(ids::kResultList).width, 0);
    QCOMPARE(cramped.at(ids::kResultList).height, 0);
  }

  void theNoteSitsInTheBottomRightCornerAndNeverOffTheWindow() {
    QCOMPARE(NotePosition({1280, 800}, {300, 40}), (ids::Point{976, 758}));
    QCOMPARE(NotePosition({200, 30}, {300, 40}), (ids::Point{0, 0}));
  }
};

QTEST_APPLESS_MAIN(WindowLayoutTest)
#include "test_window_layout.moc"
