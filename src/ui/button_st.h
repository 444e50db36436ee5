#pragma once

#include <QColor>
#include <QFontMetrics>
#include <QPixmap>
#include <QPoint>
#include <QPushButton>
#include <QRect>
#include <QSize>
#include <QString>
#include <array>
#include <cstdint>

class QPainter;

// The main window's image button: a push button that draws itself with an
// icon beside or above its caption, six state colours, and an optional flat
// look that lights up only while the pointer is over it. Its clicked() signal
// is the plain push button's, so the window's handlers connect as usual.
class CButtonST : public QPushButton {
  Q_OBJECT

 public:
  // Results of the setters; a setter that returns anything but BtnOk changed nothing.
  enum Result {
    BtnOk = 0,
    BtnBadResource = 1,
    BtnBadSlot = 3,
    BtnBadAlignment = 4,
    BtnBadOffset = 5,
  };

  // Colour slots: face and caption colour for each state.
  enum ColorSlot {
    BackHover = 0,  // hovered or pressed
    ForeHover = 1,
    BackNormal = 2,
    ForeNormal = 3,
    BackFocus = 4,
    ForeFocus = 5,
  };
  static constexpr int kColorSlots = 6;

  // Where the icon sits relative to the caption.
  enum ImageAlignment : std::uint8_t {
    ImageLeft = 0,
    ImageAbove = 1,
    ImageRight = 2,
    ImageOverlap = 3,
  };

  // Gap between the icon and the button's edge or its caption.
  static constexpr int kImageMargin = 3;
  // How far the caption keeps from the button's rim: the 2-pixel raised edge
  // and the 1-pixel frame of a focused or default button.
  static constexpr int kCaptionInset = 3;

  explicit CButtonST(QWidget* parent = nullptr);
  explicit CButtonST(const QString& text, QWidget* parent = nullptr);
  ~CButtonST() override;

  // Loads our icon with this resource number at the size it was drawn for.
  // An icon that does not load leaves the button without one.
  int LoadIconImage(int resourceId);
  int SetStateColor(int slot, const QColor& color, bool repaint = true);
  // Brightens or darkens a slot's colour by the same step on every channel,
  // clamped so the hue stays (see ColorShiftStep).
  int ShiftStateColor(int slot, int offset, bool repaint = true);
  // Face slots take the palette's button colour, caption slots its button text colour.
  int ResetStateColors(bool repaint = true);
  int SetFlatLook(bool flat, bool repaint = true);
  int SetImageAlignment(int alignment, bool repaint = true);
  // An empty text does nothing; an inactive hint keeps its text but never shows.
  void SetHintText(const QString& text, bool activate = true);

  // The colour a slot holds. Nothing draws from it directly; the tests read
  // it to see what a shift or a reset of the flat look left in each slot.
  QColor StateColor(int slot) const;
  bool FlatLook() const { return m_isFlat; }
  bool IsHovered() const { return m_isHover; }
  int ImageAlignment() const { return m_alignment; }
  bool HasIconImage() const { return !m_iconSize.isEmpty(); }
  QSize IconImageSize() const { return m_iconSize; }
  QString HintText() const { return m_hintText; }
  bool HintActive() const { return m_hintActive; }

  // The arithmetic of the drawing, callable without painting.
  //
  // The step ShiftStateColor adds to all three channels of (r, g, b).
  static int ColorShiftStep(int red, int green, int blue, int offset);
  // Where the icon goes inside `item` and what is left to the caption.
  struct ImagePlacement {
    QRect image;
    QRect caption;
  };
  // `shift` is the pressed offset, or (0, 0) when the button is up.
  static ImagePlacement PlaceImage(const QRect& item, QSize icon, int alignment, bool hasCaption,
                                   QPoint shift);
  // The caption's measured block centred in the rectangle it was measured for.
  static QRect CentreCaption(const QRect& captionRect, QSize measured);
  // The block the caption's lines take in `captionRect`: wrapped at its width
  // less kCaptionInset on either side, and centred.
  static QRect CaptionBlock(const QRect& captionRect, const QFontMetrics& metrics,
                            const QString& caption);
  // The same for this button at its size, not pressed; empty without a caption.
  QRect CaptionBlock() const;

  // The height at which the icon and the caption, wrapped at `width`, fit
  // inside the edge.
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

 protected:
  // One paint of the button, in this order; each step may be overridden.
  virtual void DrawBackground(QPainter& painter, QRect& face);
  virtual void DrawBorder(QPainter& painter, const QRect& face);
  virtual void DrawImage(QPainter& painter, bool hasCaption, QRect& captionRect);
  virtual void DrawCaption(QPainter& painter, const QString& caption, QRect captionRect);

  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Init();
  void CancelHover();
  void Repaint(bool repaint);
  const QPixmap& IconPixmap(bool disabled);

  QPoint m_pressedShift{1, 1};
  bool m_isFlat = true;
  bool m_isHover = false;
  // Mirrors of the button's state, taken at each paint.
  bool m_isPressed = false;
  bool m_isFocused = false;
  bool m_isDisabled = false;
  bool m_isDefault = false;
  std::uint8_t m_alignment = ImageLeft;
  std::array<QColor, kColorSlots> m_stateColors;
  QString m_hintText;
  bool m_hintActive = false;

  // The icon: its source and its size as drawn; pixmaps are rendered for the
  // screen's pixel ratio on first use.
  QString m_iconPath;
  QSize m_iconSize;
  QPixmap m_iconNormal;
  QPixmap m_iconDisabled;
};

namespace orvana::ui {

// The resource path of our icon with this number, ":/icons/NNN.svg" (128 is
// the program's own icon).
QString IconResourcePath(int resourceId);

}  // namespace orvana::ui
