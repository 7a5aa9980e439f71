// The commands on the recovered-file list, driven through the main window
// after a real run on the IE fixture or on rows whose files are in the
// output folder.

#include <memory>

#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include "GetFileNowRun.h"
#include "platform/urlcache/UrlCacheConfig.h"
#include "shell/AppDir.h"
#include "shell/FileInfoList.h"
#include "shell/Settings.h"
#include "shell/TessarineApplication.h"
#include "shell/U_main.h"
#include "support/RecordingDesktop.h"

using namespace tessarine;

namespace {

const QString kFixture = QStringLiteral(TESSARINE_TEST_DATA "/msie/main");

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QStringList rowNames(const QTreeWidget* list) {
  QStringList names;
  for (int i = 0; i < list->topLevelItemCount(); ++i) names << list->topLevelItem(i)->text(0);
  return names;
}

QString recordOf(const QString& name) {
  return makeFileInfoRecord(name, name.mid(name.lastIndexOf('.')).toLower(), 1000 + name.size(),
                            "http://h/" + name);
}

}  // namespace

class RecoveredFileActionsTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    app.reset(new QTemporaryDir);
    desktop.reset(new test::RecordingDesktop);
    static_cast<TessarineApplication*>(qApp)->setDesktop(desktop.get());
    urlcache::setCacheFolders({(kFixture + "/INetCookies").toStdString(),
                               (kFixture + "/INetCache/Content.IE5").toStdString()});
    fileInfoList().clear();
    main.reset(new TfrmMain(*desktop, app->path() + "/"));
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main.get()));
  }
  void cleanup() {
    main.reset();
    urlcache::useDefaultCacheFolders();
  }

  // Rows stand in name order, the register in the run's order; each row
  // finds its own record, never by its place in the list.
  void deleteKeepsTheRegisterOrder_data() {
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QStringList>("tick");
    QTest::addColumn<QStringList>("rowsLeft");
    QTest::addColumn<QStringList>("registerLeft");
    QTest::newRow("b c a, tick a") << QStringList{"b.gif", "c.jpg", "a.png"} << QStringList{"a.png"}
                                   << QStringList{"b.gif", "c.jpg"} << QStringList{"b.gif", "c.jpg"};
    QTest::newRow("c a b, tick a") << QStringList{"c.jpg", "a.png", "b.gif"} << QStringList{"a.png"}
                                   << QStringList{"b.gif", "c.jpg"} << QStringList{"c.jpg", "b.gif"};
    QTest::newRow("c a b, tick c b") << QStringList{"c.jpg", "a.png", "b.gif"}
                                     << QStringList{"c.jpg", "b.gif"} << QStringList{"a.png"}
                                     << QStringList{"a.png"};
    QTest::newRow("nothing ticked") << QStringList{"c.jpg", "a.png", "b.gif"} << QStringList{}
                                    << QStringList{"a.png", "b.gif", "c.jpg"}
                                    << QStringList{"c.jpg", "a.png", "b.gif"};
    QTest::newRow("all ticked") << QStringList{"c.jpg", "a.png"} << QStringList{"a.png", "c.jpg"}
                                << QStringList{} << QStringList{};
  }
  void deleteKeepsTheRegisterOrder() {
    QFETCH(QStringList, found);
    QFETCH(QStringList, tick);
    QFETCH(QStringList, rowsLeft);
    QFETCH(QStringList, registerLeft);
    QVERIFY(QDir().mkpath(defaultOutputFolder()));
    QStringList records;
    for (const QString& name : found) {
      records << recordOf(name);
      main->addRecoveredRow(name, name.mid(name.lastIndexOf('.')), "1KB", "http://h/" + name,
                            recordOf(name));
      QVERIFY(writeFile(defaultOutputFolder() + name, name.toUtf8()));
    }
    saveRegister(registerPath(), records);
    QTreeWidget* list = main->RzListView();
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      if (tick.contains(list->topLevelItem(i)->text(0)))
        list->topLevelItem(i)->setCheckState(0, Qt::Checked);

    QTest::mouseClick(main->findChild<QToolButton*>("RzToolButton4"), Qt::LeftButton);

    QCOMPARE(rowNames(list), rowsLeft);
    QStringList expected;
    for (const QString& name : registerLeft) expected << recordOf(name);
    QCOMPARE(readRegister(registerPath()), expected);
    for (const QString& name : found) QVERIFY(QFile::exists(defaultOutputFolder() + name));
    QVERIFY(desktop->boxes.isEmpty());
  }

  void deleteWithNothingTickedDropsTheRecordsOfNoRow() {
    main->addRecoveredRow("b.gif", ".gif", "1KB", "http://h/b.gif", recordOf("b.gif"));
    main->addRecoveredRow("a.png", ".png", "1KB", "http://h/a.png", recordOf("a.png"));
    saveRegister(registerPath(), {recordOf("b.gif"), recordOf("old.jpg"), recordOf("a.png")});
    main->findChild<QAction*>("DeleteCheckedFiles1")->trigger();
    QCOMPARE(rowNames(main->RzListView()), (QStringList{"a.png", "b.gif"}));
    QCOMPARE(readAll(registerPath()),
             (recordOf("b.gif") + "\r\n" + recordOf("a.png") + "\r\n").toUtf8());

    // An empty list rewrites the register empty.
    main->clearRecoveredRows();
    main->RzToolButton4Click();
    QCOMPARE(readAll(registerPath()), QByteArray());
  }

  void deleteWithoutARegisterDoesNothing() {
    main->addRecoveredRow("a.png", ".png", "1KB", "http://h/a.png", recordOf("a.png"));
    main->dg1Click();
    main->RzToolButton4Click();
    QCOMPARE(rowNames(main->RzListView()), QStringList{"a.png"});
    QVERIFY(!QFile::exists(registerPath()));
  }

  void registerThatCannotBeReadRemovesNoRowAndIsShown() {
    main->addRecoveredRow("a.png", ".png", "1KB", "http://h/a.png", recordOf("a.png"));
    main->dg1Click();
    QVERIFY(QDir().mkpath(registerPath()));  // exists, but is no file
    QTest::mouseClick(main->findChild<QToolButton*>("RzToolButton4"), Qt::LeftButton);
    QCOMPARE(rowNames(main->RzListView()), QStringList{"a.png"});
    QCOMPARE(desktop->boxes.size(), 1);
    QCOMPARE(desktop->boxes[0].text, "Cannot open file " + registerPath() + ".");
  }

  // After a real run: ticked rows dropped from the list and the register,
  // the files left on disk.
  void deleteAfterARealRun() {
    test::runGraphicsThroughTheWindows(*main);
    const QStringList before = readRegister(registerPath());
    QTreeWidget* list = main->RzListView();
    QVERIFY(list->topLevelItemCount() > 10);
    QCOMPARE(list->topLevelItemCount(), before.size());
    QStringList tickedNames, expected;
    for (int i = 0; i < list->topLevelItemCount(); i += 3) {
      list->topLevelItem(i)->setCheckState(0, Qt::Checked);
      tickedNames << list->topLevelItem(i)->text(0);
    }
    for (const QString& r : before)
      if (!tickedNames.contains(splitFileInfoRecord(r).name)) expected << r;
    // The selected row goes too; its picture stays in the preview.
    list->setCurrentItem(list->topLevelItem(3));
    const QImage preview = main->PreviewImage()->pixmap().toImage();
    main->RzToolButton4Click();
    QCOMPARE(main->PreviewImage()->pixmap().toImage(), preview);
    QVERIFY(list->selectedItems().isEmpty());
    QCOMPARE(readRegister(registerPath()), expected);
    QCOMPARE(list->topLevelItemCount(), expected.size());
    for (const QString& name : rowNames(list)) QVERIFY(!tickedNames.contains(name));
    for (const QString& name : tickedNames) QVERIFY(QFile::exists(settings::readFolder() + "/" + name));
  }

  void copyCheckedFilesCopiesExactlyTheTickedFiles() {
    test::runGraphicsThroughTheWindows(*main);
    const QString source = settings::readFolder();
    QTreeWidget* list = main->RzListView();
    QStringList tickedNames;
    for (int i = 1; i < list->topLevelItemCount(); i += 4) {
      list->topLevelItem(i)->setCheckState(0, Qt::Checked);
      tickedNames << list->topLevelItem(i)->text(0);
    }
    QVERIFY(tickedNames.size() >= 3);
    QTemporaryDir target;
    // One name already there: replaced without asking. One more file that
    // is none of the rows': left alone.
    QVERIFY(writeFile(target.filePath(tickedNames[0]), "old content"));
    QVERIFY(writeFile(target.filePath("unrelated.txt"), "mine"));
    desktop->folderAnswer = target.path();

    QTest::mouseClick(main->findChild<QToolButton*>("RzToolButton3"), Qt::LeftButton);

    QCOMPARE(desktop->folderTitles, QStringList{"Copy the Checked Files to Folder"});
    QStringList expected = tickedNames;
    expected << "unrelated.txt";
    expected.sort();
    QStringList got = QDir(target.path()).entryList(QDir::Files | QDir::Hidden);
    got.sort();
    QCOMPARE(got, expected);
    for (const QString& name : tickedNames) QCOMPARE(readAll(target.filePath(name)), readAll(source + "/" + name));
    QCOMPARE(QFileInfo(target.filePath(tickedNames[1])).lastModified(),
             QFileInfo(source + "/" + tickedNames[1]).lastModified());
    QCOMPARE(readAll(target.filePath("unrelated.txt")), QByteArray("mine"));
    // Rows and ticks stay; nothing shown.
    QCOMPARE(list->topLevelItem(1)->checkState(0), Qt::Checked);
    QCOMPARE(desktop->boxes.size(), 1);  // the run's total only
  }

  void copyIntoTheOutputFolderItselfLeavesTheFilesAlone() {
    test::runGraphicsThroughTheWindows(*main);
    const QString source = settings::readFolder();
    const QStringList filesBefore = QDir(source).entryList(QDir::Files | QDir::Hidden);
    QMap<QString, QByteArray> bytes;
    for (const QString& name : filesBefore) bytes[name] = readAll(source + "/" + name);
    main->dg1Click();
    desktop->folderAnswer = source;
    main->RzToolButton3Click();
    QCOMPARE(QDir(source).entryList(QDir::Files | QDir::Hidden), filesBefore);
    for (const QString& name : filesBefore) QCOMPARE(readAll(source + "/" + name), bytes[name]);
  }

  void copyCancelledOrWithNothingTickedCopiesNothing() {
    test::runGraphicsThroughTheWindows(*main);
    main->dg1Click();
    QTemporaryDir target;
    desktop->folderAnswer.reset();
    main->RzToolButton3Click();
    main->wef1Click();
    desktop->folderAnswer = target.path();
    main->RzToolButton3Click();
    QCOMPARE(desktop->folderTitles.size(), 2);
    QVERIFY(QDir(target.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
  }

  void copyPassesOverAFileThatIsGone() {
    QVERIFY(QDir().mkpath(defaultOutputFolder()));
    for (const char* name : {"a.png", "b.gif", "c.jpg"}) {
      main->addRecoveredRow(name, ".x", "1KB", "http://h/", recordOf(name));
      if (QString(name) != "b.gif") QVERIFY(writeFile(defaultOutputFolder() + name, name));
    }
    main->dg1Click();
    QTemporaryDir target;
    desktop->folderAnswer = target.path();
    main->RzToolButton3Click();  // no Folder stored: the default output folder
    QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"a.png", "c.jpg"}));
  }

  void shellOpensTheFolderAndTheSelectedFile() {
    test::runGraphicsThroughTheWindows(*main);
    const QString folder = settings::readFolder();
    QCOMPARE(folder, defaultOutputFolder());
    QTreeWidget* list = main->RzListView();
    desktop->opened.clear();

    main->RzToolButton5Click();  // nothing selected
    QTest::mouseClick(main->findChild<QToolButton*>("RzToolButton2"), Qt::LeftButton);
    list->setCurrentItem(list->topLevelItem(2));
    QTest::mouseClick(main->findChild<QToolButton*>("RzToolButton5"), Qt::LeftButton);
    const QRect row = list->visualItemRect(list->topLevelItem(4));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QCOMPARE(desktop->opened,
             (QStringList{folder + "/", folder + "/" + list->topLevelItem(2)->text(0),
                          folder + "/" + list->topLevelItem(4)->text(0)}));

    // Another folder chosen in the dialog and closed without a run: the
    // commands look there at once.
    desktop->folderAnswer = app->path() + "/elsewhere";
    test::whenDialogOpens([](TgetForm* d) {
      QTest::mouseClick(d->pathRzBitBtn(), Qt::LeftButton);
      QTest::keyClick(d, Qt::Key_Escape);
    });
    main->RzToolButton1Click();
    desktop->opened.clear();
    main->RzToolButton2Click();
    main->RzToolButton5Click();
    QCOMPARE(desktop->opened, (QStringList{app->path() + "/elsewhere/",
                                           app->path() + "/elsewhere/" +
                                               list->selectedItems().value(0)->text(0)}));
    QVERIFY(desktop->boxes.value(0).caption == "Completed!" && desktop->boxes.size() == 1);
  }

  void openWithoutAStoredFolderUsesTheDefaultOutputFolder() {
    main->RzToolButton2Click();
    main->RzToolButton5Click();  // empty list
    main->addRecoveredRow("a.txt", ".txt", "1KB", "http://h/a.txt", recordOf("a.txt"));
    main->RzListView()->setCurrentItem(main->RzListView()->topLevelItem(0));
    main->findChild<QAction*>("OpentheFile1")->trigger();
    QCOMPARE(desktop->opened,
             (QStringList{defaultOutputFolder() + "/", defaultOutputFolder() + "/a.txt"}));
  }

  void checkedAllAndUncheckedAll() {
    main->dg1Click();  // empty list: nothing happens
    for (const char* name : {"c.jpg", "a.png", "b.gif"})
      main->addRecoveredRow(name, ".x", "1KB", "http://h/", recordOf(name));
    QTreeWidget* list = main->RzListView();
    list->topLevelItem(1)->setCheckState(0, Qt::Checked);
    list->setCurrentItem(list->topLevelItem(2));
    auto states = [list] {
      QList<int> s;
      for (int i = 0; i < list->topLevelItemCount(); ++i) s << list->topLevelItem(i)->checkState(0);
      return s;
    };
    main->findChild<QAction*>("dg1")->trigger();
    QCOMPARE(states(), (QList<int>{Qt::Checked, Qt::Checked, Qt::Checked}));
    main->findChild<QAction*>("wef2")->trigger();
    QCOMPARE(states(), (QList<int>{Qt::Unchecked, Qt::Unchecked, Qt::Unchecked}));
    main->findChild<QAction*>("dg2")->trigger();
    QCOMPARE(states(), (QList<int>{Qt::Checked, Qt::Checked, Qt::Checked}));
    QCOMPARE(rowNames(list), (QStringList{"a.png", "b.gif", "c.jpg"}));
    QCOMPARE(list->selectedItems(), QList<QTreeWidgetItem*>{list->topLevelItem(2)});
  }

  void copyTheWebAddressPutsItOnTheClipboard() {
    main->addRecoveredRow("a.html", ".html", "1KB", "http://h/a.png?x=1&y=2", recordOf("a.html"));
    main->addRecoveredRow("b.css", ".css", "1KB", "http://h/b.gif", recordOf("b.css"));
    QAction* copy = main->findChild<QAction*>("CopytheWebAddress1");
    copy->trigger();  // nothing selected: the clipboard is not touched
    QCOMPARE(desktop->clipboardWrites, 0);
    QTreeWidget* list = main->RzListView();
    list->setCurrentItem(list->topLevelItem(0));
    copy->trigger();
    QCOMPARE(desktop->clipboard, QStringLiteral("http://h/a.png?x=1&y=2"));
    QCOMPARE(main->Edit()->text(), QStringLiteral("http://h/a.png?x=1&y=2"));
    QVERIFY(main->Edit()->isHidden());
    list->setCurrentItem(list->topLevelItem(1));
    copy->trigger();
    QCOMPARE(desktop->clipboard, QStringLiteral("http://h/b.gif"));
    QCOMPARE(desktop->clipboardWrites, 2);
    list->clearSelection();
    copy->trigger();
    QCOMPARE(desktop->clipboardWrites, 2);
    QCOMPARE(main->Edit()->text(), QStringLiteral("http://h/b.gif"));
  }

 private:
  std::unique_ptr<QTemporaryDir> app;
  std::unique_ptr<test::RecordingDesktop> desktop;
  std::unique_ptr<TfrmMain> main;
};

int main(int argc, char** argv) {
  TessarineApplication app(argc, argv);
  RecoveredFileActionsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "RecoveredFileActionsTest.moc"
