#pragma once

#include <QProxyStyle>

// The application's style, except that a line edit's panel (its frame and
// face) is drawn once per size, state and palette and then copied. For
// fields rewritten many times a second, where the style's rounded,
// antialiased frame costs more than the text inside it. The panel is made
// opaque over the window's background colour, so an edit that says it paints
// all of its face (Qt::WA_OpaquePaintEvent) truly does, and drawing it again
// over itself changes nothing.
namespace orvana::ui {

class CachedPanelStyle final : public QProxyStyle {
 public:
  CachedPanelStyle();

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
};

}  // namespace orvana::ui
