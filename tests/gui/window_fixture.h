#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/orvana_dlg.h"
#include "support/temp_folder.h"
#include "ui/coalesced_update.h"
#include "ui/fonts.h"

// A main window started in a scratch folder holding the Chinese language file,
// with a port list the test gives, so no box about missing ports appears.
namespace orvana::guitest {

inline app::COrvanaDlg::Options WindowOptions(const testing::TempFolder& folder,
                                              std::vector<link::PortEntry> ports) {
  std::filesystem::copy_file(ORVANA_LANG_DIR "/zh_CN/language.ini", folder / "language.ini",
                             std::filesystem::copy_options::overwrite_existing);
  app::COrvanaDlg::Options options;
  options.startDirectory = folder.Path();
  options.discoverPorts = [ports] { return ports; };
  return options;
}

// Long enough for a held screen update to have run.
inline constexpr int kScreenUpdate = static_cast<int>(ui::kScreenUpdateInterval.count()) * 3 / 2;

inline void PrepareApplication() {
  ui::InstallFontSubstitutions();
  QApplication::setFont(ui::DialogFont(9));
}

// Calls `step` every few milliseconds, also inside the nested loop of a modal
// box, until it returns true. Checks belong after the box is closed: a failed
// check inside would leave the box open.
class Poller {
 public:
  explicit Poller(std::function<bool()> step) : m_step(std::move(step)) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      if (m_step()) m_timer.stop();
    });
    m_timer.start(10);
  }
  bool Done() const { return !m_timer.isActive(); }

 private:
  std::function<bool()> m_step;
  QTimer m_timer;
};

inline QMessageBox* OpenBox() {
  return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

// Accepts every box that opens and keeps its text.
class BoxAnswerer {
 public:
  BoxAnswerer()
      : m_poller([this] {
          if (QMessageBox* box = OpenBox()) {
            m_texts << box->text();
            box->accept();
          }
          return false;
        }) {}
  const QStringList& Texts() const { return m_texts; }

 private:
  QStringList m_texts;
  Poller m_poller;
};

}  // namespace orvana::guitest
