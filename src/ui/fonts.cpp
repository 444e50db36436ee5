#include "ui/fonts.h"

#include <QStringList>
#include <algorithm>

namespace orvana::ui {

void InstallFontSubstitutions() {
  // Same proportions as the originals: the dialog face gives the same dialog
  // base units, the Ming face is the Song design.
  QFont::insertSubstitutions(QString::fromUtf8(kDialogFace), {QStringLiteral("WenQuanYi Micro Hei"),
                                                              QStringLiteral("Noto Sans CJK SC"),
                                                              QStringLiteral("Liberation Sans")});
  const QStringList song{QStringLiteral("AR PL UMing CN"), QStringLiteral("WenQuanYi Micro Hei"),
                         QStringLiteral("Noto Serif CJK SC")};
  QFont::insertSubstitutions(QString::fromUtf8(kSongFace), song);
  QFont::insertSubstitutions(QStringLiteral("SimSun"), song);
  QFont::insertSubstitutions(
      QString::fromUtf8(kArialFace),
      {QStringLiteral("Liberation Sans"), QStringLiteral("WenQuanYi Micro Hei")});
}

QFont DialogFont(int points) {
  QFont font(QString::fromUtf8(kDialogFace));
  font.setPixelSize(PointsToPixels(points));
  return font;
}

QFont SongFont(int pixelHeight, int pixelWidth) {
  QFont font(QString::fromUtf8(kSongFace));
  font.setPixelSize(pixelHeight > 0 ? pixelHeight : 12);
  font.setStyleStrategy(QFont::NoAntialias);
  if (pixelWidth > 0) {
    // A width asks for narrower or wider glyphs than the face's own.
    const int natural = std::max(1, pixelHeight / 2);
    font.setStretch(std::clamp(100 * pixelWidth / natural, 1, 4000));
  }
  return font;
}

QFont DefaultGuiFont() { return DialogFont(8); }

QFont ArialFont(int points) {
  QFont font(QString::fromUtf8(kArialFace));
  font.setPixelSize(PointsToPixels(points));
  return font;
}

}  // namespace orvana::ui
