#include "support/message_box_answerer.h"

#include <QApplication>
#include <QMessageBox>

namespace orvana::guitest {

MessageBoxAnswerer::MessageBoxAnswerer() {
  QObject::connect(&m_timer, &QTimer::timeout, [this] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      captions << box->windowTitle();
      texts << box->text();
      box->done(QMessageBox::Ok);
    }
  });
  m_timer.start(5);
}

QStringList MessageBoxAnswerer::Seen() const {
  QStringList seen;
  for (qsizetype i = 0; i < texts.size(); ++i) seen << captions[i] + QLatin1Char('|') + texts[i];
  return seen;
}

}  // namespace orvana::guitest
