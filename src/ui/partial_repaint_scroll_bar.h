#pragma once

#include <QRect>
#include <QScrollBar>
#include <QStyle>

// A scroll bar that, when its range or value changes, repaints only where its
// handle was and where it is now. A plain QScrollBar repaints all of itself
// at every change: beside a table that grows four times a second that is a
// full-height gradient each time (which Qt's raster engine splits across its
// worker threads), although the handle moved a pixel or not at all. When the
// handle stays where it was, nothing is repainted; when an arrow's enabled
// look may have changed (the value reached or left an end), that arrow is
// repainted too.
namespace orvana::ui {

class PartialRepaintScrollBar final : public QScrollBar {
 public:
  explicit PartialRepaintScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

 protected:
  void sliderChange(SliderChange change) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // What a range or value change can alter in the drawing.
  struct Look {
    QRect handle;
    bool atMinimum = false;
    bool atMaximum = false;
    friend bool operator==(const Look&, const Look&) = default;
  };
  Look CurrentLook() const;
  QRect SubControlRect(QStyle::SubControl control) const;

  Look m_painted;  // as last painted
  bool m_paintedValid = false;
};

}  // namespace orvana::ui
