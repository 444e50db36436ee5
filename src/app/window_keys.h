#pragma once

#include <QLineEdit>
#include <QObject>
#include <QWidget>
#include <functional>

// The main window's keys and clicks, seen before any control sees them: Esc
// never closes the window, Enter is the station's (a scanner ends every
// serial number with it), F1 opens the About box, and a left click anywhere
// tells the station whether it landed in the serial-number field.
namespace orvana::app {

class WindowKeys final : public QObject {
 public:
  struct Handlers {
    std::function<void()> enter;
    std::function<void()> help;
    std::function<void(bool insideSerialEdit)> leftButtonDown;
  };

  // Watches every event of the program (as an application event filter),
  // acting only on those of `window`'s own widgets, until it is destroyed.
  WindowKeys(QWidget& window, const QLineEdit& serialEdit, Handlers handlers);
  ~WindowKeys() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool IsOwnWidget(QObject* object) const;
  void OnMouseButtonPress(const QMouseEvent& event);

  QWidget& m_window;
  const QLineEdit& m_serialEdit;
  Handlers m_handlers;
  // A click travels up through the parents; it is seen once.
  const QEvent* m_lastPress = nullptr;
  quint64 m_lastPressTime = 0;
};

}  // namespace orvana::app
