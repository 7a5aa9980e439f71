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

QString currentExceptionMessage() {
  try {
    throw;
  } catch (const std::exception& error) {
    return QString::fromUtf8(error.what());
  } catch (...) {
    return QString();  // not an error object: the box shows an empty text
  }
}

void showCurrentException(Desktop& desktop, QWidget* owner) {
  showErrorBox(desktop, owner, currentExceptionMessage());
}

}  // namespace tessarine
