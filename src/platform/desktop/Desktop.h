#pragma once

#include <optional>

#include <QString>

class QWidget;

namespace tessarine {

// MessageBoxA styles and answers, as the windows use them.
constexpr unsigned kMbOk = 0x00;
constexpr unsigned kMbYesNo = 0x04;
constexpr unsigned kMbIconError = 0x10;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconInformation = 0x40;
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// Everything outside the process that the windows talk to: the shell,
// message boxes, the folder picker and the clipboard. One real
// implementation (QtDesktop); tests put a recorder in its place.
class Desktop {
 public:
  virtual ~Desktop() = default;

  // Asks the desktop to "open" a file, a folder or a web address with its
  // default program. The result is not reported: like the shell, a target
  // that cannot be opened is the desktop's business.
  virtual void shellOpen(QWidget* owner, const QString& target) = 0;

  // Shows a modal message box with the given text, caption and MB_ style
  // (icon and buttons); returns the answer (kIdOk, kIdYes, kIdNo).
  virtual int messageBox(QWidget* owner, const QString& text,
                         const QString& caption, unsigned style) = 0;

  // Lets the user pick a folder; the folder's path, or nothing when the
  // user cancels.
  virtual std::optional<QString> selectFolder(QWidget* owner,
                                              const QString& title) = 0;

  // Puts plain text on the clipboard in place of what it held.
  virtual void setClipboardText(const QString& text) = 0;
};

}  // namespace tessarine
