#include "app/bench_mode_setting.h"

#include <QSettings>
#include <QStandardPaths>

namespace orvana::app {
namespace {

const QString kKey = QStringLiteral("window/bench-mode");

}  // namespace

QString BenchModeSettingFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/orvana/orvana.conf");
}

bool DecideBenchMode(const AppOptions& options) {
  QSettings settings(BenchModeSettingFile(), QSettings::IniFormat);
  if (options.full || options.plain) {
    settings.setValue(kKey, options.full);
    return options.full;
  }
  const QByteArray asked = qgetenv("ORVANA_FULL");
  if (asked == "1") return true;
  if (asked == "0") return false;
  return settings.value(kKey, false).toBool();
}

}  // namespace orvana::app
