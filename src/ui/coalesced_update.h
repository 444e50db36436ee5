#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

// Runs a screen update at once when it is asked for after a quiet spell, and
// at most once per interval while requests keep coming: a meter sending
// forty results a second then costs four repaints, not forty, and no result
// waits on screen longer than one interval.
namespace orvana::ui {

class CoalescedUpdate {
 public:
  CoalescedUpdate(QObject* context, std::chrono::milliseconds interval,
                  std::function<void()> update);

  void Request();
  // Runs a held update now, so whoever reads the screen reads it current.
  void Flush();
  bool Held() const { return m_held; }

 private:
  std::function<void()> m_update;
  QTimer m_interval;
  bool m_held = false;
};

// Four updates a second while results stream in, as an instrument's own
// display changes: faster than anyone reads a changing value, and each one
// scrolls the whole table, which costs the same however few rows it brings.
// A result after a quiet spell shows at once.
inline constexpr std::chrono::milliseconds kScreenUpdateInterval{250};

}  // namespace orvana::ui
