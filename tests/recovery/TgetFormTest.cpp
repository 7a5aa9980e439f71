#include <QCheckBox>
#include <QLabel>
#include <QCryptographicHash>
#include <QDir>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <functional>

#include "filetypes/FileTypeTree.h"
#include "platform/Error.h"
#include "platform/urlcache/UrlCacheConfig.h"
#include "recovery/U_get.h"
#include "shell/AppDir.h"
#include "shell/FileInfoList.h"
#include "shell/TextLines.h"
#include "shell/U_main.h"
#include "support/RecordingDesktop.h"

using namespace tessarine;

namespace {

const QString kFixture = QStringLiteral(TESSARINE_TEST_DATA "/msie/main");

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QMap<QString, QByteArray> manifestHashes() {
  QMap<QString, QByteArray> m;
  for (const QByteArray& line : readAll(kFixture + "/manifest.tsv").split('\n')) {
    const QList<QByteArray> cols = line.split('\t');
    if (cols.size() > 4 && !line.startsWith('#')) m[QString::fromLatin1(cols[0])] = cols[4];
  }
  return m;
}

// Runs `action` on the recovery dialog once Get File Now has opened it.
void whenDialogOpens(std::function<void(TgetForm*)> action) {
  QTimer::singleShot(0, [action] {
    auto* dialog = qobject_cast<TgetForm*>(QApplication::activeModalWidget());
    QVERIFY(dialog);
    action(dialog);
  });
}

}  // namespace

class TgetFormTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    app.reset(new QTemporaryDir);
    urlcache::setCacheFolders({(kFixture + "/INetCookies").toStdString(),
                               (kFixture + "/INetCache/Content.IE5").toStdString()});
    fileInfoList().clear();
  }
  void cleanup() { urlcache::useDefaultCacheFolders(); }

  void graphicsRunEndToEnd() {
    test::RecordingDesktop desktop;
    TfrmMain main(desktop, app->path() + "/");
    main.show();
    main.RzCheckTree()->toggleItem(main.RzCheckTree()->itemOfLine(1));  // Graphics

    bool sawDialog = false;
    whenDialogOpens([&](TgetForm* d) {
      sawDialog = true;
      QCOMPARE(d->windowTitle(), QStringLiteral("Recover temporary Internet Files Now! "));
      QCOMPARE(d->folderRzEdit()->text(), appDir() + "GetFiles/");
      QVERIFY(d->overRzCheckBox()->isChecked());
      QVERIFY(d->RzProgressBar()->isHidden());
      QTest::mouseClick(d->okRzBitBtn(), Qt::LeftButton);
    });
    main.RzToolButton1Click();
    QVERIFY(sawDialog);
    QVERIFY(!QApplication::activeModalWidget());

    QCOMPARE(main.selectedExts(),
             (QStringList{".bmp", ".gif", ".jpg", ".jpeg", ".ico", ".png"}));
    // The one message: the total, from the dialog.
    QCOMPARE(desktop.boxes.size(), 1);
    QCOMPARE(desktop.boxes[0].caption, QStringLiteral("Completed!"));
    const QStringList records = loadTextLines(appDir() + "GetFileInfo.ini");
    QTreeWidget* list = main.RzListView();
    QCOMPARE(desktop.boxes[0].text, QStringLiteral("Total get: %1 files.").arg(records.size()));
    QCOMPARE(list->topLevelItemCount(), records.size());
    QVERIFY(records.size() > 10);

    // Rows in name order; the register in walk order; bytes as received.
    QStringList names;
    for (int i = 0; i < list->topLevelItemCount(); ++i) names << list->topLevelItem(i)->text(0);
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end(),
              [](const QString& a, const QString& b) { return a.localeAwareCompare(b) < 0; });
    QCOMPARE(names, sorted);
    QStringList walkOrder;
    const auto hashes = manifestHashes();
    for (const QString& r : records) {
      const FileInfoFields f = splitFileInfoRecord(r);
      walkOrder << f.name;
      const QByteArray got = QCryptographicHash::hash(readAll(appDir() + "GetFiles/" + f.name),
                                                      QCryptographicHash::Sha256).toHex();
      QCOMPARE(got, hashes.value(f.address));
    }
    QVERIFY(walkOrder != names);
    const QTreeWidgetItem* first = list->topLevelItem(0);
    QVERIFY(first->text(2).endsWith("KB"));

    // Settings written at the close; the tree's ticks come back.
    QCOMPARE(readAll(appDir() + "Set.ini"),
             QByteArray("[GetFiles]\r\nFolder=") + (appDir() + "GetFiles/").toUtf8() +
                 "\r\nOverWrite=1\r\n");
    main.close();
    TfrmMain again(desktop, app->path() + "/");
    again.show();
    QCOMPARE(again.RzCheckTree()->checkState(4), 2);
    QCOMPARE(again.RzCheckTree()->checkState(8), 1);
  }

  void closeWithoutRunWritesSettings() {
    test::RecordingDesktop desktop;
    TfrmMain main(desktop, app->path() + "/");
    main.show();
    desktop.folderAnswer = app->path() + "/chosen";
    whenDialogOpens([](TgetForm* d) {
      d->overRzCheckBox()->setChecked(false);
      QTest::mouseClick(d->pathRzBitBtn(), Qt::LeftButton);
      QTest::keyClick(d, Qt::Key_Escape);
    });
    main.RzToolButton1Click();
    QCOMPARE(readAll(appDir() + "Set.ini"),
             QByteArray("[GetFiles]\r\nFolder=") + (app->path() + "/chosen").toUtf8() +
                 "\r\nOverWrite=0\r\n");
    QVERIFY(desktop.boxes.isEmpty());
  }

  void emptyFolderTrashesOnlyTopLevelFilesOfAChosenFolder() {
    test::RecordingDesktop desktop;
    TfrmMain main(desktop, app->path() + "/");
    main.show();
    // The default folder: its files are deleted; sub-folders stay.
    QDir().mkpath(app->path() + "/GetFiles/keep");
    QFile old(app->path() + "/GetFiles/old.txt");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.close();
    whenDialogOpens([](TgetForm* d) { QTest::mouseClick(d->okRzBitBtn(), Qt::LeftButton); });
    main.RzToolButton1Click();
    QVERIFY(!QFile::exists(app->path() + "/GetFiles/old.txt"));
    QVERIFY(QDir(app->path() + "/GetFiles/keep").exists());
    QCOMPARE(desktop.boxes.value(0).text, QStringLiteral("Total get: 0 files."));
    QCOMPARE(readAll(appDir() + "GetFileInfo.ini"), QByteArray());
  }

  void unwritableRegisterKeepsTheDialogOpenWithTheError() {
    test::RecordingDesktop desktop;
    TfrmMain main(desktop, app->path() + "/");
    main.setSelectedExts({".gif"});
    QVERIFY(QDir().mkdir(appDir() + "GetFileInfo.ini"));  // fails even for root
    TgetForm d(main);
    d.show();
    QVERIFY_THROWS_EXCEPTION(Error, d.okRzBitBtnClick());
    QCOMPARE(desktop.boxes.size(), 1);  // the total came first
    QVERIFY(desktop.boxes[0].text.startsWith("Total get: "));
    QVERIFY(d.isVisible());
    QVERIFY(d.RzProgressBar()->isHidden());
    QVERIFY(d.pfileLabel()->isHidden());
    QVERIFY(d.okRzBitBtn()->isEnabled());
  }

  void outputFailureIsRaisedWithItsReasonAndKeepsEarlierRecords() {
    test::RecordingDesktop desktop;
    TfrmMain main(desktop, app->path() + "/");
    main.setSelectedExts({".gif"});
    QFile plain(app->path() + "/plain");
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    TgetForm d(main);
    d.show();
    d.overRzCheckBox()->setChecked(false);
    d.folderRzEdit()->setText(app->path() + "/plain/out");  // a folder under a file
    try {
      d.okRzBitBtnClick();
      QFAIL("no error");
    } catch (const Error& e) {
      const QString msg = QString::fromUtf8(e.what());
      QVERIFY2(msg.contains("Not a directory") && msg.contains(app->path() + "/plain/out/"),
               qPrintable(msg));
    }
    QVERIFY(desktop.boxes.isEmpty());
    QVERIFY(d.isVisible());
    QCOMPARE(readAll(appDir() + "GetFileInfo.ini"), QByteArray());
  }

  void closeDuringARunEndsItAfterTheCurrentEntryAndCompletes() {
    test::RecordingDesktop desktop;
    TfrmMain main(desktop, app->path() + "/");
    main.setSelectedExts({".gif", ".png", ".jpg", ".html", ".txt", ".pdf"});
    TgetForm d(main);
    d.show();
    QTimer::singleShot(0, &d, [&d] { QTest::mouseClick(d.closeRzBitBtn(), Qt::LeftButton); });
    d.okRzBitBtnClick();
    QCOMPARE(desktop.boxes.size(), 1);
    const QStringList records = loadTextLines(appDir() + "GetFileInfo.ini");
    QCOMPARE(desktop.boxes[0].text, QStringLiteral("Total get: %1 files.").arg(records.size()));
    QVERIFY(records.size() <= 2);  // the pump runs after the second entry
    QVERIFY(!d.isVisible());
    QVERIFY(QFile::exists(appDir() + "Set.ini"));
  }

  void rootOrEmptyFolderFallsBackToTheDefault() {
    test::RecordingDesktop desktop;
    TfrmMain main(desktop, app->path() + "/");
    main.setSelectedExts({".png"});
    QVERIFY(QDir().mkpath(appDir() + "GetFiles"));
    for (const QString& folder : {QStringLiteral("/"), QString()}) {
      TgetForm d(main);
      d.show();
      d.overRzCheckBox()->setChecked(false);
      d.folderRzEdit()->setText(folder);
      d.okRzBitBtnClick();
      QCOMPARE(d.folderRzEdit()->text(), appDir() + "GetFiles/");
      QVERIFY(QFile::exists(appDir() + "GetFiles/photo[0].png"));
    }
  }

  void emptyFolderMovesFilesOfAChosenFolderToTheTrash() {
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    test::RecordingDesktop desktop;
    TfrmMain main(desktop, app->path() + "/");
    const QString chosen = app->path() + "/mine";
    QVERIFY(QDir().mkpath(chosen + "/sub"));
    for (const char* name : {"/letter.txt", "/.hidden", "/sub/deep.txt"}) {
      QFile f(chosen + name);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("keep me");
    }
    TgetForm d(main);
    d.show();
    d.folderRzEdit()->setText(chosen);
    d.overRzCheckBox()->setChecked(true);
    d.okRzBitBtnClick();
    QVERIFY(!QFile::exists(chosen + "/letter.txt"));
    QVERIFY(QFile::exists(data.path() + "/Trash/files/letter.txt"));
    QVERIFY(QFile::exists(chosen + "/.hidden"));
    QVERIFY(QFile::exists(chosen + "/sub/deep.txt"));
    qunsetenv("XDG_DATA_HOME");
  }

  void unwritableSettingsAreShownOnceAndTheDialogStillCloses() {
    test::RecordingDesktop desktop;
    TfrmMain main(desktop, app->path() + "/");
    QVERIFY(QDir().mkdir(appDir() + "Set.ini"));
    TgetForm d(main);
    d.show();
    d.close();
    QVERIFY(!d.isVisible());
    QCOMPARE(desktop.boxes.size(), 1);
    QCOMPARE(desktop.boxes[0].caption, QStringLiteral("Tessarine"));
    QCOMPARE(desktop.boxes[0].text, "Unable to write to " + appDir() + "Set.ini.");
  }

 private:
  std::unique_ptr<QTemporaryDir> app;
};

QTEST_MAIN(TgetFormTest)
#include "TgetFormTest.moc"
