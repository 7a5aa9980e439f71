// The desktop program: sets up the program-wide state, the application
// object and the main window, and runs the message loop.

#include <QIcon>

#include "platform/desktop/QtDesktop.h"
#include "shell/AppDir.h"
#include "shell/ErrorDisplay.h"
#include "shell/FileInfoList.h"
#include "shell/TessarineApplication.h"
#include "shell/U_main.h"

int main(int argc, char** argv) {
  using namespace tessarine;

  // Program-wide state before any window: no folder yet, no records.
  setAppDir(QString());
  fileInfoList().clear();

  TessarineApplication app(argc, argv);
  QtDesktop desktop;
  app.setDesktop(&desktop);
  app.setWindowIcon(QIcon(QStringLiteral(":/icons/tessarine.svg")));

  // An error escaping start-up or the message loop is shown, then the
  // program ends.
  try {
    TfrmMain frmMain(desktop, locateAppDirForThisProcess());
    frmMain.show();
    return app.exec();
  } catch (...) {
    showCurrentException(desktop, nullptr);
    return 1;
  }
}
