#pragma once

#include <QApplication>

namespace tessarine {

class Desktop;

// The application object: named "Tessarine" from its construction on, with
// the program's look (style, style sheet, fonts), and the error display:
// an exception that escapes any event handler or slot is shown in the
// error box on the desktop given by setDesktop, and the program goes on.
class TessarineApplication : public QApplication {
  Q_OBJECT
 public:
  // Sets the application name (and so its display name) to "Tessarine"
  // and applies the look before any window exists.
  TessarineApplication(int& argc, char** argv);

  // The desktop the error box is shown on. Until one is set, escaping
  // exceptions are only logged.
  void setDesktop(Desktop* desktop);
  Desktop* desktop() const { return desktop_; }

  // Delivers the event; an exception escaping the receiver is shown
  // (std::exception: its message; anything else: empty text) and the
  // event counts as not handled.
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  Desktop* desktop_ = nullptr;
};

}  // namespace tessarine
