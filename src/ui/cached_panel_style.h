#pragma once

#include <QProxyStyle>

// The application's style, except that a line edit's panel (its frame and
// face) is drawn once per size, state and palette and then copied. For
// fields rewritten many times a second, where the style's rounded,
// antialiased frame costs more than the text inside it. The copy keeps the
// frame's see-through corners, so the field must let what is behind it be
// painted first (no Qt::WA_OpaquePaintEvent): drawn again over itself, an
// antialiased corner darkens a little more each time.
namespace orvana::ui {

class CachedPanelStyle final : public QProxyStyle {
 public:
  CachedPanelStyle();

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
};

}  // namespace orvana::ui
