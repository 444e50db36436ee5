#include "app/orvana_app.h"

int main(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  int exitCode = 0;
  const auto options = orvana::app::ParseAppOptions(arguments, exitCode);
  if (!options) return exitCode;
  orvana::app::COrvanaApp app(argc, argv, *options);
  return app.Run();
}
