#include "support/RecordingDesktop.h"

namespace tessarine::test {

void RecordingDesktop::shellOpen(QWidget*, const QString& target) {
  opened << target;
}

int RecordingDesktop::messageBox(QWidget*, const QString& text,
                                 const QString& caption, unsigned style) {
  boxes.push_back({text, caption, style});
  return (style & 0x0F) == kMbYesNo ? nextAnswer : kIdOk;
}

std::optional<QString> RecordingDesktop::selectFolder(QWidget*,
                                                      const QString& title) {
  folderTitles << title;
  return folderAnswer;
}

void RecordingDesktop::setClipboardText(const QString& text) {
  clipboard = text;
  ++clipboardWrites;
}

}  // namespace tessarine::test
