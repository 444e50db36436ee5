#include "ui/cached_group_box.h"

#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionGroupBox>

namespace orvana::ui {

CachedGroupBox::CachedGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

std::optional<QRgb> CachedGroupBox::Background() const {
  // The first widget up the chain that fills its background is what shows
  // behind the frame, when the frame's siblings leave it alone: frames are
  // kept below every other control.
  for (const QWidget* widget = parentWidget(); widget != nullptr; widget = widget->parentWidget()) {
    if (!widget->isWindow() && !widget->autoFillBackground()) continue;
    const QBrush brush = widget->palette().brush(widget->backgroundRole());
    if (brush.style() != Qt::SolidPattern || !brush.isOpaque()) return std::nullopt;
    return brush.color().rgb();
  }
  return std::nullopt;
}

CachedGroupBox::Look CachedGroupBox::CurrentLook() const {
  Look look;
  look.size = size();
  look.ratio = devicePixelRatioF();
  look.palette = palette().cacheKey();
  look.title = title();
  look.font = font().key();
  look.style = style();
  look.enabled = isEnabled();
  look.active = isActiveWindow();
  look.flat = isFlat();
  look.alignment = static_cast<int>(alignment());
  look.direction = static_cast<int>(layoutDirection());
  look.background = Background();
  return look;
}

void CachedGroupBox::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  // Over a plain background the picture is made in the screen's own format,
  // so that it blends as the frame drawn straight onto the screen does (a
  // smoothly scaled edge may still round one step otherwise).
  QImage::Format format = QImage::Format_ARGB32_Premultiplied;
  const Look look = CurrentLook();
  const QPaintDevice* screen =
      painter.paintEngine() != nullptr ? painter.paintEngine()->paintDevice() : nullptr;
  if (look.background && screen != nullptr && screen->devType() == QInternal::Image) {
    format = static_cast<const QImage*>(screen)->format();
  }
  if (m_face.isNull() || !(look == m_faceLook) || m_face.format() != format) {
    m_face = QImage(size() * look.ratio, format);
    m_face.setDevicePixelRatio(look.ratio);
    m_face.fill(look.background ? QColor::fromRgb(*look.background) : QColor(Qt::transparent));
    // Drawn as the base draws itself, into the picture.
    QPainter face(&m_face);
    face.setFont(font());
    face.setPen(palette().color(foregroundRole()));
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    style()->drawComplexControl(QStyle::CC_GroupBox, &option, &face, this);
    face.end();
    m_faceLook = look;
    setAttribute(Qt::WA_OpaquePaintEvent, look.background.has_value());
  }
  // Only what is exposed: copying the whole picture into a small clip still
  // has the raster engine share the copy out among its worker threads.
  for (const QRect& part : event->region()) {
    painter.drawImage(part.topLeft(), m_face,
                      QRect(part.topLeft() * look.ratio, part.size() * look.ratio));
  }
}

}  // namespace orvana::ui
