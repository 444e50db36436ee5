#include "ui/cached_panel_style.h"

#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyleOptionFrame>

namespace orvana::ui {

CachedPanelStyle::CachedPanelStyle() = default;

void CachedPanelStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                     QPainter* painter, const QWidget* widget) const {
  const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
  if (element != PE_PanelLineEdit || frame == nullptr || option->rect.isEmpty()) {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    return;
  }
  const qreal ratio = painter->device()->devicePixelRatioF();
  // Everything the style draws the panel from.
  const QString key = QStringLiteral("orvana-panel-%1x%2-%3-%4-%5-%6-%7-%8-%9")
                          .arg(option->rect.width())
                          .arg(option->rect.height())
                          .arg(static_cast<int>(option->state))
                          .arg(option->palette.cacheKey())
                          .arg(ratio)
                          .arg(static_cast<int>(option->direction))
                          .arg(frame->lineWidth)
                          .arg(frame->midLineWidth)
                          .arg(static_cast<int>(frame->features));
  QPixmap panel;
  if (!QPixmapCache::find(key, &panel)) {
    panel = QPixmap(option->rect.size() * ratio);
    panel.setDevicePixelRatio(ratio);
    panel.fill(Qt::transparent);
    QPainter face(&panel);
    QStyleOptionFrame atOrigin = *frame;
    atOrigin.rect = QRect(QPoint(0, 0), option->rect.size());
    QProxyStyle::drawPrimitive(element, &atOrigin, &face, widget);
    face.end();
    QPixmapCache::insert(key, panel);
  }
  painter->drawPixmap(option->rect.topLeft(), panel);
}

}  // namespace orvana::ui
