#pragma once

#include <QString>

class QWidget;

namespace tessarine {

class Desktop;

// The text of the application's error box for an error `message`: the
// message with "." appended when it is not empty and its last character's
// code is greater than that of "." ("Disk full" -> "Disk full.", "Done!"
// and "Stop." unchanged).
QString errorBoxText(const QString& message);

// Shows `message` in the application's error box: caption "Tessarine",
// error icon, one OK button, text as errorBoxText gives it.
void showErrorBox(Desktop& desktop, QWidget* owner, const QString& message);

// The message of the exception being handled (call only inside a catch
// block): a std::exception's what() (UTF-8); empty for anything else.
QString currentExceptionMessage();

// Shows the exception being handled (call only inside a catch block) with
// the text currentExceptionMessage gives.
void showCurrentException(Desktop& desktop, QWidget* owner);

}  // namespace tessarine
