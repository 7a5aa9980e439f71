#pragma once

#include <optional>

#include <QString>
#include <QStringList>
#include <QVector>

#include "platform/desktop/Desktop.h"

namespace tessarine::test {

// A Desktop that records every request and answers as the test says.
class RecordingDesktop : public Desktop {
 public:
  struct Box {
    QString text;
    QString caption;
    unsigned style = 0;
  };

  void shellOpen(QWidget* owner, const QString& target) override;
  int messageBox(QWidget* owner, const QString& text, const QString& caption,
                 unsigned style) override;
  std::optional<QString> selectFolder(QWidget* owner,
                                      const QString& title) override;
  void setClipboardText(const QString& text) override;

  QStringList opened;             // every shellOpen target, in order
  QVector<Box> boxes;             // every message box shown
  int nextAnswer = kIdYes;        // answer for Yes/No boxes
  QStringList folderTitles;       // titles of the folder pickers shown
  std::optional<QString> folderAnswer;  // what the folder picker returns
  QString clipboard;              // last text put on the clipboard
  int clipboardWrites = 0;
};

}  // namespace tessarine::test
