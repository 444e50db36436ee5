#pragma once

#include <QStringList>
#include <QTimer>

// Answers every message box that opens while it lives, noting its caption and
// text. The box is closed before anything is compared, so a failing check
// cannot leave it open with a nested event loop running.
namespace orvana::guitest {

class MessageBoxAnswerer {
 public:
  MessageBoxAnswerer();

  // The boxes answered, in the order they came.
  QStringList captions;
  QStringList texts;
  // "caption|text" of each, to compare in one go.
  QStringList Seen() const;

 private:
  QTimer m_timer;
};

}  // namespace orvana::guitest
