#include "shell/ErrorDisplay.h"

#include <exception>

#include "platform/desktop/Desktop.h"

namespace tessarine {

QString errorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back().unicode() > u'.')
    return message + u'.';
  return message;
}

void showErrorBox(Desktop& desktop, QWidget* owner, const QString& message) {
  desktop.messageBox(owner, errorBoxText(message), QStringLiteral("Tessarine"),
                     kMbIconError | kMbOk);
}

void showCurrentException(Desktop& desktop, QWidget* owner) {
  QString message;
  try {
    throw;
  } catch (const std::exception& error) {
    message = QString::fromUtf8(error.what());
  } catch (...) {
    // Not an error object: the box shows an empty text.
  }
  showErrorBox(desktop, owner, message);
}

}  // namespace tessarine
