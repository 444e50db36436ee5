#pragma once

#include <QStringList>
#include <QTranslator>
#include <memory>
#include <string>
#include <vector>

#include "texts/work_place.h"

// The language of the window's own captions and of Qt's buttons. The
// captions are written in Chinese; in English they come from the program's
// translation, installed as share/orvana/translations/orvana_en.qm beside
// the language files. In Chinese it is Qt's buttons (OK, Cancel, Yes, No,
// the file dialogs') that need Qt's own translation to match the captions.
namespace orvana::app {

// Where an install keeps the window's translations, below its prefix.
inline constexpr const char* kTranslationsFolder = "share/orvana/translations";

class Translations {
 public:
  // Loads and installs, for the application, what `language` ("en" or
  // "zh_CN", as the work place names it) needs; what cannot be found is
  // traced and left out, and the captions then read as written.
  Translations(const std::string& language, const std::string& executableFolder);
  ~Translations();
  Translations(const Translations&) = delete;
  Translations& operator=(const Translations&) = delete;

  // The files installed, in the order they were.
  const QStringList& Files() const { return m_files; }

 private:
  void Install(const QString& path);

  std::vector<std::unique_ptr<QTranslator>> m_translators;
  QStringList m_files;
};

}  // namespace orvana::app
