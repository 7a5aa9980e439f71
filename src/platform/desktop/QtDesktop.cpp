#include "platform/desktop/QtDesktop.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace tessarine {

void QtDesktop::shellOpen(QWidget*, const QString& target) {
  const QUrl url(target);
  const bool isWebAddress = url.isValid() && url.scheme().size() > 1 &&
                            !url.scheme().isEmpty() && !target.startsWith('/');
  QDesktopServices::openUrl(isWebAddress ? url : QUrl::fromLocalFile(target));
}

int QtDesktop::messageBox(QWidget* owner, const QString& text,
                          const QString& caption, unsigned style) {
  QMessageBox box(owner);
  box.setWindowTitle(caption);
  box.setText(text);
  switch (style & 0xF0) {
    case kMbIconError: box.setIcon(QMessageBox::Critical); break;
    case kMbIconQuestion: box.setIcon(QMessageBox::Question); break;
    case kMbIconInformation: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
  }
  if ((style & 0x0F) == kMbYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? kIdYes : kIdNo;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return kIdOk;
}

std::optional<QString> QtDesktop::selectFolder(QWidget* owner,
                                               const QString& title) {
  QFileDialog dialog(owner, title);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setFilter(dialog.filter() | QDir::Hidden);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return std::nullopt;
  return dialog.selectedFiles().first();
}

void QtDesktop::setClipboardText(const QString& text) {
  QApplication::clipboard()->setText(text);
}

}  // namespace tessarine
