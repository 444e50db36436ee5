#include "app/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/template_texts.h"
#include "ui/dialog_units.h"
#include "ui/fonts.h"

namespace orvana::app {

CAboutDlg::CAboutDlg(const QIcon& icon, QWidget* parent) : QDialog(parent) {
  setWindowTitle(captions::Caption(captions::kAboutTitle));
  setFont(ui::DialogFont(9));
  const ui::DialogUnits units(font());
  setFixedSize(units.Size(170, 62));

  auto* picture = new QLabel(this);
  picture->setPixmap(icon.pixmap(32, 32));
  picture->setGeometry(QRect(units.Point(14, 14), QSize(32, 32)));
  auto* text = new QLabel(captions::Caption(captions::kAboutText), this);
  text->setGeometry(units.Rect(42, 14, 114, 10));
  auto* ok = new QPushButton(captions::Caption(captions::kOk), this);
  ok->setGeometry(units.Rect(113, 41, 50, 14));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace orvana::app
