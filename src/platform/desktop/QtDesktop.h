#pragma once

#include "platform/desktop/Desktop.h"

namespace tessarine {

// The real desktop: QDesktopServices, QMessageBox, QFileDialog, QClipboard.
class QtDesktop : public Desktop {
 public:
  void shellOpen(QWidget* owner, const QString& target) override;
  int messageBox(QWidget* owner, const QString& text, const QString& caption,
                 unsigned style) override;
  std::optional<QString> selectFolder(QWidget* owner,
                                      const QString& title) override;
  void setClipboardText(const QString& text) override;
};

}  // namespace tessarine
