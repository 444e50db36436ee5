// The image button read back from its own pixels: the edges of each state,
// the pressed shift, the focus frame, where the icon lands, and the colour
// arithmetic that the main window's colours rely on.
#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTest>

#include "ui/button_st.h"
#include "ui/fonts.h"
#include "app/main_buttons.h"

namespace {

// The classic desktop's 3-D colours, each one distinct so a pixel tells which
// role drew it.
const QColor kFace(240, 240, 240);
const QColor kText(0, 0, 0);
const QColor kHighlight(255, 255, 255);
const QColor kLight(227, 227, 227);
const QColor kShadow(160, 160, 160);
const QColor kDarkShadow(105, 105, 105);

const QColor kSky(153, 204, 255);
const QColor kLime(204, 255, 51);

QPalette ClassicPalette() {
  QPalette p;
  p.setColor(QPalette::Button, kFace);
  p.setColor(QPalette::ButtonText, kText);
  p.setColor(QPalette::Light, kHighlight);
  p.setColor(QPalette::Midlight, kLight);
  p.setColor(QPalette::Dark, kShadow);
  p.setColor(QPalette::Shadow, kDarkShadow);
  return p;
}

QColor Pixel(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

QImage Grab(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A window holding one button (and an edit to take the focus elsewhere).
struct Host {
  QWidget window;
  CButtonST* button;
  QLineEdit* edit;

  explicit Host(QSize buttonSize = {100, 40}, const QString& caption = QString()) {
    window.resize(300, 200);
    button = new CButtonST(caption, &window);
    button->setGeometry(QRect(QPoint(50, 50), buttonSize));
    edit = new QLineEdit(&window);
    edit->setGeometry(50, 150, 100, 24);
    // Showing may activate the window; the focus starts on the edit, away
    // from the button.
    edit->setFocus();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
  }
  void Activate() {
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
  }
  void Hover() {
    QTest::mouseMove(button, button->rect().center());
    QTRY_VERIFY(button->IsHovered());
  }
};

}  // namespace

class ButtonStTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    orvana::ui::InstallFontSubstitutions();
    QApplication::setPalette(ClassicPalette());
    QApplication::setFont(orvana::ui::DialogFont(9));
  }

  void init() {
    // Every test starts with the pointer away from the buttons.
    QCursor::setPos(0, 0);
  }

  void flatButtonLightsOnlyUnderAFreePointer() {
    Host host;
    CButtonST& b = *host.button;
    b.SetStateColor(CButtonST::BackNormal, kSky);
    b.SetStateColor(CButtonST::BackHover, kLime);
    const int w = b.width(), h = b.height();

    QImage idle = Grab(b);
    QCOMPARE(Pixel(idle, w / 2, 0), kSky);
    QCOMPARE(Pixel(idle, w - 1, h / 2), kSky);

    host.Hover();
    QImage lit = Grab(b);
    QCOMPARE(Pixel(lit, w / 2, h / 2), kLime);
    QCOMPARE(Pixel(lit, w / 2, 0), kHighlight);
    QCOMPARE(Pixel(lit, 0, h / 2), kHighlight);
    QCOMPARE(Pixel(lit, w - 1, h / 2), kShadow);
    QCOMPARE(Pixel(lit, w / 2, h - 1), kShadow);

    QTest::mouseMove(&host.window, QPoint(10, 10));
    QTRY_VERIFY(!b.IsHovered());
    QCOMPARE(Pixel(Grab(b), w / 2, 0), kSky);

    // Pressed outside and dragged in: the move arrives with the left button held.
    QTest::mousePress(&host.window, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(&b, b.rect().center());
    const bool litWhileHeld = b.IsHovered();
    const QColor edgeWhileHeld = Pixel(Grab(b), w / 2, 0);
    QTest::mouseRelease(&host.window, Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!litWhileHeld);
    QCOMPARE(edgeWhileHeld, kSky);

    // A framed button never lights.
    b.SetFlatLook(false);
    QTest::mouseMove(&b, b.rect().center() + QPoint(3, 0));
    QVERIFY(!b.IsHovered());
  }

  void hoverIsCancelled_data() {
    QTest::addColumn<QString>("cause");
    QTest::newRow("pointer leaves") << "leave";
    QTest::newRow("focus moves on") << "focus";
    QTest::newRow("window deactivated") << "deactivate";
    QTest::newRow("button disabled") << "disable";
    QTest::newRow("modal window opens") << "modal";
  }
  void hoverIsCancelled() {
    QFETCH(QString, cause);
    Host host;
    host.Activate();
    // Only the focus row gives the button the focus: losing it would cancel
    // the hover in every other row too.
    if (cause == "focus") {
      host.button->setFocus();
      QTRY_VERIFY(host.button->hasFocus());
    }
    host.Hover();

    QWidget other;
    QDialog modal(&host.window);
    if (cause == "leave") {
      QTest::mouseMove(&host.window, QPoint(10, 10));
    } else if (cause == "focus") {
      host.edit->setFocus();
    } else if (cause == "deactivate") {
      other.setGeometry(400, 400, 50, 50);
      other.show();
      other.activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&other));
    } else if (cause == "disable") {
      host.button->setEnabled(false);
    } else {
      // Not activated, so only the blocking reaches the button.
      modal.setAttribute(Qt::WA_ShowWithoutActivating);
      modal.setModal(true);
      modal.setGeometry(400, 400, 50, 50);
      modal.show();
      QVERIFY(QTest::qWaitForWindowExposed(&modal));
    }
    QTRY_VERIFY(!host.button->IsHovered());
  }

  void pressShiftsImageAndCaption() {
    Host host({120, 40}, QStringLiteral("清屏"));
    CButtonST& b = *host.button;
    b.SetFlatLook(false);
    for (int slot : {CButtonST::BackNormal, CButtonST::BackHover, CButtonST::BackFocus})
      b.SetStateColor(slot, Qt::white);
    QCOMPARE(b.LoadIconImage(138), int(CButtonST::BtnOk));

    const QImage up = Grab(b);
    b.setDown(true);
    const QImage down = Grab(b);
    const int w = b.width(), h = b.height();

    // Raised edge up; a single shadow frame with the face right inside it down.
    QCOMPARE(Pixel(up, 0, h / 2), kHighlight);
    QCOMPARE(Pixel(up, 1, h / 2), kLight);
    QCOMPARE(Pixel(up, w - 1, h / 2), kDarkShadow);
    QCOMPARE(Pixel(down, 0, h / 2), kShadow);
    QCOMPARE(Pixel(down, 1, h / 2), QColor(Qt::white));
    QCOMPARE(Pixel(down, w - 1, h / 2), kShadow);

    int inked = 0, moved = 0;
    for (int y = 3; y < h - 4; ++y) {
      for (int x = 3; x < w - 4; ++x) {
        QCOMPARE(Pixel(down, x + 1, y + 1), Pixel(up, x, y));
        if (Pixel(up, x, y) != QColor(Qt::white)) ++inked;
        if (Pixel(down, x, y) != Pixel(up, x, y)) ++moved;
      }
    }
    QVERIFY(inked > 40);  // icon and caption are really there
    QVERIFY(moved > 20);
  }

  void focusedFramedButtonShowsFrameAndFocusRectangle() {
    Host host({80, 30});
    CButtonST& b = *host.button;
    b.SetFlatLook(false);
    b.SetStateColor(CButtonST::BackNormal, Qt::white);
    b.SetStateColor(CButtonST::BackFocus, Qt::white);
    const int w = b.width(), h = b.height();
    const QColor white(Qt::white), black(Qt::black);

    const QImage unfocused = Grab(b);
    QCOMPARE(Pixel(unfocused, 0, h / 2), kHighlight);

    host.Activate();
    b.setFocus();
    QTRY_VERIFY(b.hasFocus());
    const QImage focused = Grab(b);
    QCOMPARE(Pixel(focused, 0, h / 2), black);
    QCOMPARE(Pixel(focused, w / 2, 0), black);
    QCOMPARE(Pixel(focused, w - 1, h / 2), black);
    QCOMPARE(Pixel(focused, w / 2, h - 1), black);
    QCOMPARE(Pixel(focused, 1, h / 2), kHighlight);  // the raised edge inside the frame
    QCOMPARE(Pixel(focused, w - 2, h / 2), kDarkShadow);

    // Dotted frame on the 4th pixel line inside; the lines beside it stay face.
    int dotsLeft = 0, dotsTop = 0;
    for (int y = 6; y < h - 6; ++y) {
      dotsLeft += Pixel(focused, 4, y) == black;
      QCOMPARE(Pixel(focused, 3, y), white);
      QCOMPARE(Pixel(focused, 5, y), white);
      QCOMPARE(Pixel(unfocused, 4, y), white);
    }
    for (int x = 6; x < w - 6; ++x) {
      dotsTop += Pixel(focused, x, 4) == black;
      QCOMPARE(Pixel(focused, x, 3), white);
    }
    int dotsRight = 0;
    for (int y = 6; y < h - 6; ++y) dotsRight += Pixel(focused, w - 5, y) == black;
    QCOMPARE(dotsLeft, (h - 12) / 2);
    QCOMPARE(dotsRight, (h - 12) / 2);
    QCOMPARE(dotsTop, (w - 12) / 2);
  }

  void shiftStateColorKeepsHueInRange() {
    CButtonST b;
    b.SetStateColor(CButtonST::BackHover, kLime);
    QCOMPARE(b.ShiftStateColor(CButtonST::BackHover, 255), int(CButtonST::BtnOk));
    QCOMPARE(b.StateColor(CButtonST::BackHover), kLime);

    b.SetStateColor(CButtonST::BackNormal, kSky);
    QCOMPARE(b.ShiftStateColor(CButtonST::BackNormal, -255), int(CButtonST::BtnOk));
    QCOMPARE(b.StateColor(CButtonST::BackNormal), QColor(0, 51, 102));

    // The channel nearest its limit decides the step; a small step is taken whole.
    QCOMPARE(CButtonST::ColorShiftStep(100, 230, 10, 40), 25);
    QCOMPARE(CButtonST::ColorShiftStep(100, 230, 10, 20), 20);
    QCOMPARE(CButtonST::ColorShiftStep(100, 230, 10, -40), -10);
    QCOMPARE(CButtonST::ColorShiftStep(100, 230, 10, -5), -5);

    // Bad arguments change nothing.
    QCOMPARE(b.ShiftStateColor(6, 10), int(CButtonST::BtnBadSlot));
    QCOMPARE(b.SetStateColor(6, Qt::red), int(CButtonST::BtnBadSlot));
    QCOMPARE(b.ShiftStateColor(CButtonST::BackNormal, 256), int(CButtonST::BtnBadOffset));
    QCOMPARE(b.ShiftStateColor(CButtonST::BackNormal, -256), int(CButtonST::BtnBadOffset));
    QCOMPARE(b.StateColor(CButtonST::BackNormal), QColor(0, 51, 102));
    QCOMPARE(b.SetImageAlignment(4), int(CButtonST::BtnBadAlignment));
    QCOMPARE(b.ImageAlignment(), int(CButtonST::ImageLeft));
  }

  void imagePlacement() {
    const QRect item(0, 0, 101, 41);  // odd free space: centring rounds down
    const QSize icon(16, 16);
    for (int a : {0, 1, 2})
      QCOMPARE(CButtonST::PlaceImage(item, icon, a, false, {}).image, QRect(42, 12, 16, 16));
    QCOMPARE(CButtonST::PlaceImage(item, icon, 3, false, {}).image, QRect(0, 0, 16, 16));
    QCOMPARE(CButtonST::PlaceImage(item, icon, 3, true, {1, 1}).image, QRect(1, 1, 16, 16));

    auto left = CButtonST::PlaceImage(item, icon, 0, true, {});
    QCOMPARE(left.image, QRect(3, 12, 16, 16));
    QCOMPARE(left.caption, QRect(19, 0, 82, 41));
    auto above = CButtonST::PlaceImage(item, icon, 1, true, {1, 1});
    QCOMPARE(above.image, QRect(43, 4, 16, 16));
    QCOMPARE(above.caption, QRect(0, 16, 101, 25));
    auto right = CButtonST::PlaceImage(item, icon, 2, true, {});
    QCOMPARE(right.image, QRect(82, 12, 16, 16));
    QCOMPARE(right.caption, QRect(3, 0, 79, 41));

    QCOMPARE(CButtonST::CentreCaption(QRect(19, 0, 82, 41), QSize(25, 12)), QRect(47, 14, 25, 12));

    // The painted button puts the icon exactly there: nothing but the face
    // and the icon drawn at (42, 12).
    Host host(item.size());
    CButtonST& b = *host.button;
    b.SetStateColor(CButtonST::BackNormal, kSky);
    b.SetImageAlignment(CButtonST::ImageRight);
    QCOMPARE(b.LoadIconImage(143), int(CButtonST::BtnOk));
    QCOMPARE(b.IconImageSize(), icon);
    QImage expected(item.size(), QImage::Format_RGB32);
    expected.fill(kSky);
    {
      QPainter painter(&expected);
      QSvgRenderer(orvana::ui::IconResourcePath(143)).render(&painter, QRectF(42, 12, 16, 16));
    }
    QCOMPARE(Grab(b), expected);

    QCOMPARE(b.LoadIconImage(999), int(CButtonST::BtnBadResource));
    QVERIFY(!b.HasIconImage());
  }

  void paletteChangeResetsStateColors() {
    Host host;
    CButtonST& b = *host.button;
    b.SetStateColor(CButtonST::BackNormal, kSky);
    b.SetStateColor(CButtonST::ForeFocus, Qt::red);
    QCOMPARE(Pixel(Grab(b), 50, 20), kSky);

    QPalette changed = ClassicPalette();
    changed.setColor(QPalette::Button, QColor(10, 20, 30));
    changed.setColor(QPalette::ButtonText, QColor(200, 210, 220));
    host.window.setPalette(changed);

    for (int slot : {CButtonST::BackHover, CButtonST::BackNormal, CButtonST::BackFocus})
      QCOMPARE(b.StateColor(slot), QColor(10, 20, 30));
    for (int slot : {CButtonST::ForeHover, CButtonST::ForeNormal, CButtonST::ForeFocus})
      QCOMPARE(b.StateColor(slot), QColor(200, 210, 220));
    QCOMPARE(Pixel(Grab(b), 50, 20), QColor(10, 20, 30));
  }

  void clickTakesFocusAndDoubleClickCountsTwice() {
    Host host;
    host.Activate();
    host.edit->setFocus();
    QTRY_VERIFY(host.edit->hasFocus());
    QSignalSpy clicks(host.button, &QAbstractButton::clicked);

    host.button->click();  // as the keyboard or a screen reader presses it
    QVERIFY(host.button->hasFocus());

    QTest::mouseClick(host.button, Qt::LeftButton);
    QTest::mouseDClick(host.button, Qt::LeftButton);
    QTest::mouseRelease(host.button, Qt::LeftButton);
    QCOMPARE(clicks.count(), 3);
  }

  void mainWindowButtons() {
    struct Expected {
      int id;
      QSize icon;
      bool flat;
      int alignment;
      QColor normal;
      QString hint;
    };
    const QString connect = QStringLiteral("连接");
    const QColor white(Qt::white);
    const Expected table[] = {
        {1001, {48, 48}, true, 1, kSky, connect}, {1004, {64, 64}, true, 1, kSky, "信息"},
        {1005, {64, 64}, true, 1, kSky, "设置"},  {1006, {16, 16}, false, 0, white, {}},
        {1007, {16, 16}, false, 0, white, {}},    {1010, {16, 16}, false, 0, white, {}},
        {1002, {16, 16}, false, 0, white, {}},    {1008, {16, 16}, false, 0, white, {}},
        {1009, {16, 16}, false, 0, white, {}},
    };
    for (const Expected& e : table) {
      CButtonST b;
      QVERIFY(orvana::app::ConfigureMainWindowButton(b, e.id, connect));
      QCOMPARE(b.IconImageSize(), e.icon);
      QCOMPARE(b.FlatLook(), e.flat);
      QCOMPARE(b.ImageAlignment(), e.alignment);
      QCOMPARE(b.StateColor(CButtonST::BackNormal), e.normal);
      QCOMPARE(b.StateColor(CButtonST::BackHover), e.flat ? kLime : kFace);
      QCOMPARE(b.StateColor(CButtonST::BackFocus), e.flat ? QColor(204, 204, 204) : white);
      QCOMPARE(b.toolTip(), e.hint);
    }
    CButtonST other;
    QVERIFY(!orvana::app::ConfigureMainWindowButton(other, 1003, connect));
    QVERIFY(!other.HasIconImage());

    // An inactive hint keeps its text but shows nothing.
    other.SetHintText(QStringLiteral("提示"), false);
    QCOMPARE(other.HintText(), QStringLiteral("提示"));
    QVERIFY(other.toolTip().isEmpty());
  }
};

QTEST_MAIN(ButtonStTest)
#include "test_button_st.moc"
