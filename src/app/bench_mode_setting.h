#pragma once

#include <QString>

#include "app/orvana_app.h"

// Whether the window opens in the bench mode. A bench that runs it keeps it
// without a command line: --full turns it on and --plain off, and either is
// remembered for the user in $XDG_CONFIG_HOME/orvana/orvana.conf. Without
// either, ORVANA_FULL=1 (or 0) decides for this start only; else what was
// remembered; else the default window.
namespace orvana::app {

bool DecideBenchMode(const AppOptions& options);

// Where the choice is remembered.
QString BenchModeSettingFile();

}  // namespace orvana::app
