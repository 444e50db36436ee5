#include "ui/button_st.h"

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QHideEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPolygon>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <QTextLayout>
#include <QToolTip>
#include <algorithm>

namespace orvana::ui {

QString IconResourcePath(int resourceId) {
  return QStringLiteral(":/icons/%1.svg").arg(resourceId);
}

}  // namespace orvana::ui

namespace {

// Tooltips wider than this wrap onto further lines.
constexpr int kHintMaxWidth = 400;

constexpr int kCaptionFlags = Qt::TextWordWrap | Qt::AlignHCenter | Qt::TextShowMnemonic;
// Taller than any button, for measuring what a caption needs.
constexpr int kUnboundedHeight = 32767;

// 1-pixel lines, as the edges are specified pixel by pixel: a pen would
// depend on the painter's antialiasing and pen-width rules.
void HLine(QPainter& p, int x, int y, int length, const QColor& c) {
  if (length > 0) p.fillRect(x, y, length, 1, c);
}
void VLine(QPainter& p, int x, int y, int length, const QColor& c) {
  if (length > 0) p.fillRect(x, y, 1, length, c);
}

void FrameRect(QPainter& p, const QRect& r, const QColor& c) {
  HLine(p, r.left(), r.top(), r.width(), c);
  HLine(p, r.left(), r.bottom(), r.width(), c);
  VLine(p, r.left(), r.top(), r.height(), c);
  VLine(p, r.right(), r.top(), r.height(), c);
}

// Top and left in one colour, bottom and right in the other; the top-right
// and bottom-left corner pixels belong to the bottom-right colour.
void Draw3dRect(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
  HLine(p, r.left(), r.top(), r.width() - 1, topLeft);
  VLine(p, r.left(), r.top(), r.height() - 1, topLeft);
  VLine(p, r.right(), r.top(), r.height(), bottomRight);
  HLine(p, r.left(), r.bottom(), r.width(), bottomRight);
}

// The classic dotted focus frame: every other pixel inverted, so it shows on
// any face colour.
void DrawFocusRect(QPainter& p, const QRect& r) {
  if (r.width() <= 0 || r.height() <= 0) return;
  QPolygon dots;
  auto add = [&dots](int x, int y) {
    if ((x + y) % 2 == 0) dots << QPoint(x, y);
  };
  for (int x = r.left(); x <= r.right(); ++x) {
    add(x, r.top());
    if (r.bottom() != r.top()) add(x, r.bottom());
  }
  for (int y = r.top() + 1; y < r.bottom(); ++y) {
    add(r.left(), y);
    if (r.right() != r.left()) add(r.right(), y);
  }
  p.save();
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  p.setPen(Qt::white);
  p.drawPoints(dots);
  p.restore();
}

// Breaks a hint into lines no wider than `width`; Qt's tooltips would
// otherwise run a long plain-text hint across the screen.
QString WrapHint(const QString& text, const QFont& font, int width) {
  const QFontMetrics metrics(font);
  QStringList lines;
  for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
    if (metrics.horizontalAdvance(paragraph) <= width) {
      lines << paragraph;
      continue;
    }
    QTextLayout layout(paragraph, font);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(width);
      QString part = paragraph.mid(line.textStart(), line.textLength());
      while (part.endsWith(QLatin1Char(' '))) part.chop(1);
      lines << part;
    }
    layout.endLayout();
  }
  const QString wrapped = lines.join(QLatin1Char('\n'));
  // A hint is plain text even when it happens to look like markup.
  return Qt::mightBeRichText(wrapped) ? Qt::convertFromPlainText(wrapped, Qt::WhiteSpacePre)
                                      : wrapped;
}

}  // namespace

CButtonST::CButtonST(QWidget* parent) : QPushButton(parent) { Init(); }

CButtonST::CButtonST(const QString& text, QWidget* parent) : QPushButton(text, parent) { Init(); }

CButtonST::~CButtonST() = default;

void CButtonST::Init() {
  // Hover follows every move over the button, not only drags.
  setMouseTracking(true);
  ResetStateColors(false);
  // Connected before anyone else, so the focus has moved by the time the
  // window's own handler for the click runs.
  connect(this, &QAbstractButton::clicked, this, [this] { setFocus(Qt::MouseFocusReason); });
}

void CButtonST::Repaint(bool repaint) {
  if (repaint) update();
}

int CButtonST::LoadIconImage(int resourceId) {
  m_iconPath.clear();
  m_iconSize = QSize();
  m_iconNormal = QPixmap();
  m_iconDisabled = QPixmap();

  int result = BtnBadResource;
  const QString path = orvana::ui::IconResourcePath(resourceId);
  if (QFile::exists(path)) {
    const QSvgRenderer renderer(path);
    if (renderer.isValid() && !renderer.defaultSize().isEmpty()) {
      m_iconPath = path;
      m_iconSize = renderer.defaultSize();
      result = BtnOk;
    }
  }
  update();
  return result;
}

const QPixmap& CButtonST::IconPixmap(bool disabled) {
  const qreal ratio = devicePixelRatioF();
  if (m_iconNormal.isNull() || m_iconNormal.devicePixelRatio() != ratio) {
    // Drawn at the icon's own size (times the screen's pixel ratio), never
    // scaled afterwards: the artwork sits on that pixel grid.
    QPixmap pixmap(m_iconSize * ratio);
    pixmap.fill(Qt::transparent);
    {
      QPainter painter(&pixmap);
      QSvgRenderer(m_iconPath).render(&painter, QRectF(QPointF(0, 0), QSizeF(pixmap.size())));
    }
    pixmap.setDevicePixelRatio(ratio);
    m_iconNormal = pixmap;
    m_iconDisabled = QPixmap();
  }
  if (!disabled) return m_iconNormal;
  if (m_iconDisabled.isNull()) {
    QStyleOption option;
    option.initFrom(this);
    m_iconDisabled = style()->generatedIconPixmap(QIcon::Disabled, m_iconNormal, &option);
  }
  return m_iconDisabled;
}

int CButtonST::SetStateColor(int slot, const QColor& color, bool repaint) {
  if (slot < 0 || slot >= kColorSlots) return BtnBadSlot;
  m_stateColors[slot] = color;
  Repaint(repaint);
  return BtnOk;
}

QColor CButtonST::StateColor(int slot) const {
  if (slot < 0 || slot >= kColorSlots) return {};
  return m_stateColors[slot];
}

int CButtonST::ColorShiftStep(int red, int green, int blue, int offset) {
  // One step for all three channels keeps the hue; the channel nearest its
  // limit decides how far the colour can go.
  if (offset > 0) return std::min({offset, 255 - red, 255 - green, 255 - blue});
  return std::max({offset, -red, -green, -blue});
}

int CButtonST::ShiftStateColor(int slot, int offset, bool repaint) {
  if (slot < 0 || slot >= kColorSlots) return BtnBadSlot;
  if (offset < -255 || offset > 255) return BtnBadOffset;
  const QColor c = m_stateColors[slot];
  const int step = ColorShiftStep(c.red(), c.green(), c.blue(), offset);
  m_stateColors[slot] = QColor(c.red() + step, c.green() + step, c.blue() + step);
  Repaint(repaint);
  return BtnOk;
}

int CButtonST::ResetStateColors(bool repaint) {
  const QColor face = palette().color(QPalette::Active, QPalette::Button);
  const QColor text = palette().color(QPalette::Active, QPalette::ButtonText);
  m_stateColors[BackHover] = face;
  m_stateColors[ForeHover] = text;
  m_stateColors[BackNormal] = face;
  m_stateColors[ForeNormal] = text;
  m_stateColors[BackFocus] = face;
  m_stateColors[ForeFocus] = text;
  Repaint(repaint);
  return BtnOk;
}

int CButtonST::SetFlatLook(bool flat, bool repaint) {
  m_isFlat = flat;
  // Only a flat button is ever lit, and nothing would unlight a framed one.
  if (!flat) m_isHover = false;
  Repaint(repaint);
  return BtnOk;
}

int CButtonST::SetImageAlignment(int alignment, bool repaint) {
  if (alignment < ImageLeft || alignment > ImageOverlap) return BtnBadAlignment;
  m_alignment = static_cast<std::uint8_t>(alignment);
  Repaint(repaint);
  return BtnOk;
}

void CButtonST::SetHintText(const QString& text, bool activate) {
  if (text.isEmpty()) return;
  m_hintText = text;
  m_hintActive = activate;
  setToolTip(activate ? WrapHint(text, QToolTip::font(), kHintMaxWidth) : QString());
}

CButtonST::ImagePlacement CButtonST::PlaceImage(const QRect& item, QSize icon, int alignment,
                                                bool hasCaption, QPoint shift) {
  const int w = icon.width();
  const int h = icon.height();
  const int centredX = item.left() + (item.width() - w) / 2;
  const int centredY = item.top() + (item.height() - h) / 2;
  QPoint at(centredX, centredY);
  QRect caption = item;

  switch (alignment) {
    case ImageLeft:
      if (hasCaption) {
        at.setX(item.left() + kImageMargin);
        caption.setLeft(item.left() + w + kImageMargin);
      }
      break;
    case ImageAbove:
      if (hasCaption) {
        at.setY(item.top() + kImageMargin);
        caption.setTop(item.top() + h);
      }
      break;
    case ImageRight:
      if (hasCaption) {
        caption.setLeft(item.left() + kImageMargin);
        caption.setRight(item.left() + item.width() - w - kImageMargin - 1);
        at.setX(item.left() + item.width() - w - kImageMargin);
      }
      break;
    default:  // ImageOverlap
      at = item.topLeft();
      break;
  }
  return {QRect(at + shift, icon), caption};
}

QRect CButtonST::CentreCaption(const QRect& captionRect, QSize measured) {
  return QRect(captionRect.left() + (captionRect.width() - measured.width()) / 2,
               captionRect.top() + (captionRect.height() - measured.height()) / 2, measured.width(),
               measured.height());
}

QRect CButtonST::CaptionBlock(const QRect& captionRect, const QFontMetrics& metrics,
                              const QString& caption) {
  // Wrapped inside the edge: a caption only a little narrower than the button
  // would otherwise stay on one line and run over the edge.
  const QRect inside = captionRect.adjusted(kCaptionInset, 0, -kCaptionInset, 0);
  const QSize measured =
      metrics
          .boundingRect(QRect(0, 0, std::max(0, inside.width()), kUnboundedHeight), kCaptionFlags,
                        caption)
          .size();
  return CentreCaption(inside, measured);
}

QRect CButtonST::CaptionBlock() const {
  const QString caption = text();
  if (caption.isEmpty()) return {};
  const QRect captionRect =
      HasIconImage() ? PlaceImage(rect(), m_iconSize, m_alignment, true, QPoint()).caption : rect();
  return CaptionBlock(captionRect, fontMetrics(), caption);
}

int CButtonST::heightForWidth(int width) const {
  const int icon = HasIconImage() ? m_iconSize.height() + 2 * kImageMargin : 0;
  const QString caption = text();
  if (caption.isEmpty()) return icon;
  // In a button taller than it could need, the caption's place starts where
  // the icon leaves it and its block says how many lines it takes.
  const QRect item(0, 0, width, kUnboundedHeight);
  const QRect captionRect =
      HasIconImage() ? PlaceImage(item, m_iconSize, m_alignment, true, QPoint()).caption : item;
  const QRect block = CaptionBlock(captionRect, fontMetrics(), caption);
  return std::max(icon, captionRect.top() - item.top() + block.height() + 2 * kCaptionInset);
}

void CButtonST::paintEvent(QPaintEvent*) {
  m_isPressed = isDown();
  m_isFocused = hasFocus();
  m_isDisabled = !isEnabled();
  m_isDefault = isDefault();

  QPainter painter(this);
  const QRect item = rect();
  QRect face = item;
  DrawBackground(painter, face);
  DrawBorder(painter, face);

  const QString caption = text();
  QRect captionRect = item;
  if (HasIconImage()) DrawImage(painter, !caption.isEmpty(), captionRect);
  if (!caption.isEmpty()) DrawCaption(painter, caption, captionRect);

  if (!m_isFlat && m_isFocused) DrawFocusRect(painter, face.adjusted(3, 3, -3, -3));
}

void CButtonST::DrawBackground(QPainter& painter, QRect& face) {
  if (!m_isFlat && (m_isFocused || m_isDefault)) {
    FrameRect(painter, face, Qt::black);
    face.adjust(1, 1, -1, -1);
  }
  const int slot = (m_isHover || m_isPressed) ? BackHover : m_isFocused ? BackFocus : BackNormal;
  painter.fillRect(face, m_stateColors[slot]);
}

void CButtonST::DrawBorder(QPainter& painter, const QRect& face) {
  const QPalette& pal = palette();
  const QColor highlight = pal.color(QPalette::Active, QPalette::Light);
  const QColor light = pal.color(QPalette::Active, QPalette::Midlight);
  const QColor shadow = pal.color(QPalette::Active, QPalette::Dark);
  const QColor darkShadow = pal.color(QPalette::Active, QPalette::Shadow);

  if (m_isPressed) {
    if (m_isFlat)
      Draw3dRect(painter, face, shadow, highlight);
    else
      FrameRect(painter, face, shadow);
    return;
  }
  if (m_isFlat) {
    if (m_isHover) Draw3dRect(painter, face, highlight, shadow);
    return;
  }
  // A 2-pixel raised edge: light from the top-left, darker towards the
  // bottom-right, the outer line the stronger of each pair.
  const int l = face.left(), t = face.top(), r = face.right(), b = face.bottom();
  VLine(painter, l, t, face.height() - 1, highlight);
  HLine(painter, l, t, face.width() - 1, highlight);
  VLine(painter, l + 1, t + 1, face.height() - 3, light);
  HLine(painter, l + 1, t + 1, face.width() - 3, light);
  HLine(painter, l, b, face.width(), darkShadow);
  VLine(painter, r, t, face.height(), darkShadow);
  HLine(painter, l + 1, b - 1, face.width() - 2, shadow);
  VLine(painter, r - 1, t + 1, face.height() - 2, shadow);
}

void CButtonST::DrawImage(QPainter& painter, bool hasCaption, QRect& captionRect) {
  const ImagePlacement place = PlaceImage(rect(), m_iconSize, m_alignment, hasCaption,
                                          m_isPressed ? m_pressedShift : QPoint());
  captionRect = place.caption;
  painter.drawPixmap(place.image.topLeft(), IconPixmap(m_isDisabled));
}

void CButtonST::DrawCaption(QPainter& painter, const QString& caption, QRect captionRect) {
  if (m_isPressed) captionRect.translate(m_pressedShift);

  painter.setFont(font());
  const QRect centred = CaptionBlock(captionRect, QFontMetrics(font()), caption);
  // Drawn across the width the caption was wrapped to, at the measured
  // height: each line is centred as in the measured block, and rounding in
  // the measurement cannot wrap a line differently from how it was measured.
  const QRect where(captionRect.left() + kCaptionInset, centred.top(),
                    std::max(0, captionRect.width() - 2 * kCaptionInset), centred.height());
  const int flags = kCaptionFlags | Qt::TextDontClip;

  if (m_isDisabled) {
    // Engraved: a light copy one pixel down and right under the shadow-coloured text.
    painter.setPen(palette().color(QPalette::Active, QPalette::Light));
    painter.drawText(where.translated(1, 1), flags, caption);
    painter.setPen(palette().color(QPalette::Active, QPalette::Dark));
    painter.drawText(where, flags, caption);
    return;
  }
  const int slot = (m_isHover || m_isPressed) ? ForeHover : m_isFocused ? ForeFocus : ForeNormal;
  painter.setPen(m_stateColors[slot]);
  painter.drawText(where, flags, caption);
}

bool CButtonST::event(QEvent* event) {
  const bool handled = QPushButton::event(event);
  switch (event->type()) {
    case QEvent::WindowDeactivate:
      // Qt passes the window's deactivation on to its widgets.
      CancelHover();
      break;
    case QEvent::WindowBlocked:
      // A modal window opening over ours is what cancels a button's modes on
      // other desktops; Qt tells the blocked window's widgets.
      CancelHover();
      break;
    default:
      break;
  }
  return handled;
}

void CButtonST::mouseMoveEvent(QMouseEvent* event) {
  QPushButton::mouseMoveEvent(event);
  // Pressing elsewhere and dragging in does not light the button.
  if ((event->buttons() & Qt::LeftButton) && !m_isHover) return;
  if (!m_isFlat) return;
  // The pointer may be over a window stacked above us, or outside while the
  // button holds the mouse during a press.
  if (QApplication::widgetAt(event->globalPosition().toPoint()) == this) {
    if (!m_isHover) {
      m_isHover = true;
      update();
    }
  } else {
    CancelHover();
  }
}

void CButtonST::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a fast double click is a click of its own.
  QMouseEvent press(QEvent::MouseButtonPress, event->position(), event->scenePosition(),
                    event->globalPosition(), event->button(), event->buttons(), event->modifiers(),
                    event->pointingDevice());
  mousePressEvent(&press);
  event->setAccepted(press.isAccepted());
}

void CButtonST::leaveEvent(QEvent* event) {
  QPushButton::leaveEvent(event);
  CancelHover();
}

void CButtonST::focusOutEvent(QFocusEvent* event) {
  QPushButton::focusOutEvent(event);
  CancelHover();
}

void CButtonST::hideEvent(QHideEvent* event) {
  QPushButton::hideEvent(event);
  // The pointer is no longer over a hidden button; it must not come back lit.
  CancelHover();
}

void CButtonST::changeEvent(QEvent* event) {
  QPushButton::changeEvent(event);
  switch (event->type()) {
    case QEvent::EnabledChange:
      // Qt itself passes the focus on to the next widget when a focused
      // button is disabled.
      if (!isEnabled()) CancelHover();
      break;
    case QEvent::PaletteChange:
      // The desktop's colours changed: every slot follows them, and colours
      // the program set are given up.
      ResetStateColors(true);
      break;
    default:
      break;
  }
}

void CButtonST::CancelHover() {
  if (m_isFlat && m_isHover) {
    m_isHover = false;
    update();
  }
}
