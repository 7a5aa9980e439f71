#include <QtTest>

#include "platform/Error.h"
#include "shell/ErrorDisplay.h"
#include "support/RecordingDesktop.h"

using namespace tessarine;

class ErrorDisplayTest : public QObject {
  Q_OBJECT
 private slots:
  void periodRule_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("letter") << "Cannot create file /x/SeFile.ini"
                            << "Cannot create file /x/SeFile.ini.";
    QTest::newRow("digit") << "List index out of bounds (3" << "List index out of bounds (3.";
    QTest::newRow("period") << "Stop." << "Stop.";
    QTest::newRow("exclamation") << "Done!" << "Done!";
    QTest::newRow("closing parenthesis") << "bounds (3)" << "bounds (3)";
    QTest::newRow("hyphen, just below") << "a-" << "a-";
    QTest::newRow("slash, just above") << "a/" << "a/.";
    QTest::newRow("blank") << "trailing " << "trailing ";
    QTest::newRow("quote") << "'x' is not valid'" << "'x' is not valid'";
    QTest::newRow("non-ASCII letter") << QString::fromUtf8("Fehler \xC3\xA4")
                                      << QString::fromUtf8("Fehler \xC3\xA4.");
    QTest::newRow("lone period") << "." << ".";
  }
  void periodRule() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(errorBoxText(message), shown);
  }

  void boxIsCaptionedTessarineWithErrorIconAndOk() {
    test::RecordingDesktop desktop;
    showErrorBox(desktop, nullptr, QStringLiteral("Disk full"));
    QCOMPARE(desktop.boxes.size(), 1);
    QCOMPARE(desktop.boxes[0].text, QStringLiteral("Disk full."));
    QCOMPARE(desktop.boxes[0].caption, QStringLiteral("Tessarine"));
    QCOMPARE(desktop.boxes[0].style, kMbIconError | kMbOk);
  }

  void currentExceptionGivesItsMessageOrEmptyText() {
    test::RecordingDesktop desktop;
    try {
      throw Error("Unable to write to /ro/Set.ini");
    } catch (...) {
      showCurrentException(desktop, nullptr);
    }
    try {
      throw 42;
    } catch (...) {
      showCurrentException(desktop, nullptr);
    }
    QCOMPARE(desktop.boxes.size(), 2);
    QCOMPARE(desktop.boxes[0].text, QStringLiteral("Unable to write to /ro/Set.ini."));
    QCOMPARE(desktop.boxes[1].text, QString());
    QCOMPARE(desktop.boxes[1].caption, QStringLiteral("Tessarine"));
  }
};

QTEST_GUILESS_MAIN(ErrorDisplayTest)
#include "ErrorDisplayTest.moc"
