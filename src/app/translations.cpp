#include "app/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>

#include "common/trace.h"

namespace orvana::app {

Translations::Translations(const std::string& language, const std::string& executableFolder) {
  if (language == texts::kChinese) {
    // Ours are Chinese already; Qt's come with Qt's translations
    // (qt6-translations-l10n), where the system keeps them.
    Install(QDir(QLibraryInfo::path(QLibraryInfo::TranslationsPath))
                .filePath(QStringLiteral("qtbase_zh_CN.qm")));
    return;
  }
  // Qt's own texts are English already.
  const std::string ours = texts::FindInstalledFile(
      executableFolder, std::string(kTranslationsFolder) + "/orvana_" + language + ".qm");
  if (ours.empty()) {
    common::Trace("no translation orvana_%s.qm above %s; the captions stay Chinese\n",
                  language.c_str(), executableFolder.c_str());
    return;
  }
  Install(QString::fromStdString(ours));
}

Translations::~Translations() {
  for (const auto& translator : m_translators) {
    QCoreApplication::removeTranslator(translator.get());
  }
}

void Translations::Install(const QString& path) {
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(path)) {
    common::Trace("cannot load the translation %s\n", path.toUtf8().constData());
    return;
  }
  QCoreApplication::installTranslator(translator.get());
  m_translators.push_back(std::move(translator));
  m_files << path;
}

}  // namespace orvana::app
