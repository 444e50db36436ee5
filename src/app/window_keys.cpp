#include "app/window_keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

namespace orvana::app {

WindowKeys::WindowKeys(QWidget& window, const QLineEdit& serialEdit, Handlers handlers)
    : m_window(window), m_serialEdit(serialEdit), m_handlers(std::move(handlers)) {
  qApp->installEventFilter(this);
}

WindowKeys::~WindowKeys() { qApp->removeEventFilter(this); }

bool WindowKeys::IsOwnWidget(QObject* object) const {
  const auto* widget = qobject_cast<QWidget*>(object);
  // Message boxes and dialogs have their own windows and keys.
  return widget != nullptr && widget->window() == &m_window;
}

bool WindowKeys::eventFilter(QObject* watched, QEvent* event) {
  // Every event of the program passes here: the kind is asked first.
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::MouseButtonPress &&
      type != QEvent::MouseButtonDblClick) {
    return false;
  }
  if (!IsOwnWidget(watched)) return false;
  if (type != QEvent::KeyPress) {
    OnMouseButtonPress(*static_cast<QMouseEvent*>(event));
    return false;
  }
  const int key = static_cast<QKeyEvent*>(event)->key();
  if (key == Qt::Key_Escape) return true;
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    m_handlers.enter();
    return true;
  }
  if (key == Qt::Key_F1) {
    m_handlers.help();
    return true;
  }
  return false;
}

void WindowKeys::OnMouseButtonPress(const QMouseEvent& event) {
  if (event.button() != Qt::LeftButton) return;
  if (&event == m_lastPress && event.timestamp() == m_lastPressTime) return;
  m_lastPress = &event;
  m_lastPressTime = event.timestamp();
  const QRect serialRect(m_serialEdit.mapToGlobal(QPoint(0, 0)), m_serialEdit.size());
  m_handlers.leftButtonDown(m_serialEdit.isVisible() &&
                            serialRect.contains(event.globalPosition().toPoint()));
}

}  // namespace orvana::app
