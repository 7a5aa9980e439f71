#include <QCoreApplication>

#include "cli/CacheCommand.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Tessarine"));
  std::vector<std::string> args(argv + 1, argv + argc);
  return tessarine::runCacheCommand(args, stdin, stdout, stderr);
}
