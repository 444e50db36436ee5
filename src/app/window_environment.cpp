#include "app/window_environment.h"

#include <utility>

namespace orvana::app {
namespace {

std::function<std::vector<link::PortEntry>()> PortLister(const WindowOptions& options) {
  auto discover = options.discoverPorts ? options.discoverPorts : [] {
    return link::DiscoverPorts(link::DiscoveryRoots::System());
  };
  if (!options.firstPort) return discover;
  return [discover, first = *options.firstPort] {
    std::vector<link::PortEntry> ports{first};
    for (link::PortEntry& port : discover()) {
      if (port.designation != first.designation) ports.push_back(std::move(port));
    }
    return ports;
  };
}

}  // namespace

WindowEnvironment ComposeWindow(WindowOptions options) {
  WindowEnvironment environment;
  environment.full = options.full;
  environment.texts = options.languageFile.empty()
                          ? texts::LoadMessageTexts(options.startDirectory)
                          : texts::LoadMessageTextFile(options.languageFile);
  const std::string& start = options.startDirectory;
  environment.logFolder = !options.logFolder.empty()
                              ? options.logFolder
                              : (start.empty() ? std::string(".") : start) + "/Savetemp";
  environment.listPorts = PortLister(options);
  environment.chooseImportFile = std::move(options.chooseImportFile);
  environment.reportExport = std::move(options.reportExport);
  environment.reportExport.logFolder = environment.logFolder;
  if (!options.store.conninfo.empty()) {
    environment.store =
        std::make_unique<store::ResultStore>(options.store, environment.logFolder + "/outbox");
  }
  return environment;
}

}  // namespace orvana::app
