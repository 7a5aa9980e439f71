#include "shell/TessarineApplication.h"

#include <QFile>
#include <QFont>
#include <QToolTip>
#include <QtDebug>

#include "shell/BalloonHintStyle.h"
#include "shell/ErrorDisplay.h"

// The look's resources live in a static library: register them by hand.
static void initLookResources() { Q_INIT_RESOURCE(look); }

namespace tessarine {
namespace {

// The first of `families` that is installed, at `pixelSize`: the fonts of
// the original look first, then their nearest likes on Linux.
QFont lookFont(const QStringList& families, int pixelSize) {
  QFont font;
  font.setFamilies(families);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelSize);
  return font;
}

QString lookStyleSheet() {
  QFile file(QStringLiteral(":/look/tessarine.qss"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

}  // namespace

TessarineApplication::TessarineApplication(int& argc, char** argv)
    : QApplication(argc, argv) {
  // Only the name: a display name set on its own would be appended to
  // every window title ("Tessarine 2007 - Tessarine"); unset, it is the name.
  setApplicationName(QStringLiteral("Tessarine"));
  setDesktopFileName(QStringLiteral("tessarine"));
  setAttribute(Qt::AA_DontShowIconsInMenus);

  initLookResources();
  setStyle(new BalloonHintStyle);
  // MS Sans Serif 8 pt and Verdana 8 pt are 11 pixels high at 96 DPI.
  setFont(lookFont({QStringLiteral("MS Sans Serif"), QStringLiteral("Tahoma"),
                    QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                    QStringLiteral("Nimbus Sans"),
                    QStringLiteral("DejaVu Sans Condensed")},
                   11));
  QToolTip::setFont(lookFont(
      {QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")}, 11));
  setStyleSheet(lookStyleSheet());
}

void TessarineApplication::setDesktop(Desktop* desktop) { desktop_ = desktop; }

bool TessarineApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    if (desktop_) {
      QWidget* owner = activeModalWidget();
      if (!owner) owner = activeWindow();
      showCurrentException(*desktop_, owner);
    } else {
      qCritical("Tessarine: an error escaped an event handler");
    }
  }
  return false;
}

}  // namespace tessarine
