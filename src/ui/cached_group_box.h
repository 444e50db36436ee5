#pragma once

#include <QGroupBox>
#include <QImage>
#include <optional>

// A group box that draws its frame once per look and copies it afterwards.
// The fields inside a frame let it show through, so every repaint of one of
// them (four times a second for the meter's values) repaints the frame
// behind it too, and a style may draw a frame as a picture smoothly scaled
// to the frame's whole size, on worker threads, whatever little is shown.
// Where the frame stands on a plain background, the copy is made over that
// colour, so it is opaque and nothing behind it is painted.
namespace orvana::ui {

class CachedGroupBox final : public QGroupBox {
 public:
  explicit CachedGroupBox(const QString& title, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Everything the frame is drawn from.
  struct Look {
    QSize size;
    qreal ratio = 1;
    qint64 palette = 0;
    QString title;
    QString font;
    const void* style = nullptr;
    bool enabled = false;
    bool active = false;
    bool flat = false;
    int alignment = 0;
    int direction = 0;
    std::optional<QRgb> background;
    friend bool operator==(const Look&, const Look&) = default;
  };
  Look CurrentLook() const;
  // The plain colour the frame stands on; none when what is behind it is
  // not one colour.
  std::optional<QRgb> Background() const;

  QImage m_face;
  Look m_faceLook;
};

}  // namespace orvana::ui
