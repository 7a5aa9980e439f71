#pragma once

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "filetypes/FileTypeTree.h"
#include "recovery/U_get.h"
#include "shell/U_main.h"

namespace tessarine::test {

// Runs `action` on the recovery dialog once Get File Now has opened it.
inline void whenDialogOpens(std::function<void(TgetForm*)> action) {
  QTimer::singleShot(0, [action] {
    auto* dialog = qobject_cast<TgetForm*>(QApplication::activeModalWidget());
    QVERIFY(dialog);
    action(dialog);
  });
}

// A real run through the windows, as a user makes it: Graphics ticked,
// Get File Now, "Start..." on the recovery dialog's default folder.
inline void runGraphicsThroughTheWindows(TfrmMain& main) {
  if (main.RzCheckTree()->checkState(1) != 2)
    main.RzCheckTree()->toggleItem(main.RzCheckTree()->itemOfLine(1));
  whenDialogOpens([](TgetForm* d) { QTest::mouseClick(d->okRzBitBtn(), Qt::LeftButton); });
  main.RzToolButton1Click();
}

}  // namespace tessarine::test
