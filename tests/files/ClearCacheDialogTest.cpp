// "Delete Temporary Internet Files" on the recovery dialog, after a real
// run, on temporary copies of the IE, Chromium and Firefox fixtures.

#include <memory>

#include <QCryptographicHash>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "GetFileNowRun.h"
#include "cache/CacheWalk.h"
#include "platform/urlcache/UrlCacheConfig.h"
#include "shell/AppDir.h"
#include "shell/FileInfoList.h"
#include "shell/TessarineApplication.h"
#include "support/RecordingDesktop.h"
#include "support/TestFiles.h"

using namespace tessarine;

namespace {

const QString kData = QStringLiteral(TESSARINE_TEST_DATA);

// Every file below `folder`, relative path -> SHA-256 of its bytes.
QMap<QString, QByteArray> hashTree(const QString& folder) {
  QMap<QString, QByteArray> hashes;
  QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    QFile f(path);
    hashes[path.mid(folder.size())] =
        f.open(QIODevice::ReadOnly)
            ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex()
            : QByteArray("<unreadable>");
  }
  return hashes;
}

QStringList rows(const QTreeWidget* list) {
  QStringList out;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* r = list->topLevelItem(i);
    out << QStringList{r->text(0), r->text(1), r->text(2), r->text(3),
                       QString::number(r->checkState(0)), r->data(0, Qt::UserRole).toString()}
               .join('|');
  }
  return out;
}

int nonCookieEntries() {
  int count = 0;
  walkUrlCache(
      systemUrlCache(),
      [&](const INTERNET_CACHE_ENTRY_INFOA& e) {
        count += !(e.CacheEntryType & COOKIE_CACHE_ENTRY);
        return true;
      },
      {});
  return count;
}

}  // namespace

class ClearCacheDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    app.reset(new QTemporaryDir);
    caches.reset(new QTemporaryDir);
    QVERIFY(test::copyTree(kData + "/msie/main/INetCookies", caches->filePath("INetCookies")));
    QVERIFY(test::copyTree(kData + "/msie/main/INetCache", caches->filePath("INetCache")));
    QVERIFY(test::copyTree(kData + "/chromium-simple/cache", caches->filePath("chromium")));
    QVERIFY(test::copyTree(kData + "/firefox-cache2/cache2", caches->filePath("cache2")));
    urlcache::setCacheFolders({caches->filePath("INetCookies").toStdString(),
                               caches->filePath("INetCache/Content.IE5").toStdString(),
                               caches->filePath("chromium").toStdString(),
                               caches->filePath("cache2").toStdString()});
    desktop.reset(new test::RecordingDesktop);
    static_cast<TessarineApplication*>(qApp)->setDesktop(desktop.get());
    fileInfoList().clear();
  }
  void cleanup() { urlcache::useDefaultCacheFolders(); }

  void noKeepsEveryByteYesClearsAndNothingElseChanges() {
    TfrmMain main(*desktop, app->path() + "/");
    main.show();
    test::runGraphicsThroughTheWindows(main);
    main.RzListView()->topLevelItem(1)->setCheckState(0, Qt::Checked);
    const QStringList listBefore = rows(main.RzListView());
    QVERIFY(listBefore.size() > 10);
    const auto outputBefore = hashTree(defaultOutputFolder());
    const auto registerBefore = hashTree(appDir()).value("GetFileInfo.ini");
    QVERIFY(!registerBefore.isEmpty());
    const auto cacheBefore = hashTree(caches->path());
    QVERIFY(cacheBefore.size() > 40);
    QVERIFY(nonCookieEntries() > 30);
    desktop->boxes.clear();

    bool answeredNo = false, answeredYes = false;
    test::whenDialogOpens([&](TgetForm* d) {
      desktop->nextAnswer = kIdNo;
      QTest::mouseClick(d->RzBitBtn2(), Qt::LeftButton);
      QCOMPARE(desktop->boxes.size(), 1);
      QCOMPARE(desktop->boxes[0].text, QStringLiteral("Delete Temporary Internet Files Now?"));
      QCOMPARE(desktop->boxes[0].caption, QStringLiteral("Information"));
      QCOMPARE(desktop->boxes[0].style, kMbIconQuestion | kMbYesNo);
      QCOMPARE(hashTree(caches->path()), cacheBefore);
      answeredNo = true;

      desktop->nextAnswer = kIdYes;
      QTest::mouseClick(d->RzBitBtn2(), Qt::LeftButton);
      QCOMPARE(desktop->boxes.size(), 2);  // nothing shown at the end
      QVERIFY(d->okRzBitBtn()->isEnabled());
      QVERIFY(d->RzBitBtn2()->isEnabled());
      QVERIFY(d->isVisible());
      answeredYes = true;
      QTest::keyClick(d, Qt::Key_Escape);
    });
    main.RzToolButton1Click();
    QVERIFY(answeredNo && answeredYes);

    QCOMPARE(nonCookieEntries(), 0);
    QCOMPARE(CountCacheEntries(systemUrlCache(), {}), 2);  // the two cookies
    QVERIFY(hashTree(caches->path()) != cacheBefore);
    QCOMPARE(rows(main.RzListView()), listBefore);
    QCOMPARE(hashTree(defaultOutputFolder()), outputBefore);
    QCOMPARE(hashTree(appDir()).value("GetFileInfo.ini"), registerBefore);
    QCOMPARE(desktop->boxes.size(), 2);
  }

 private:
  std::unique_ptr<QTemporaryDir> app, caches;
  std::unique_ptr<test::RecordingDesktop> desktop;
};

int main(int argc, char** argv) {
  TessarineApplication app(argc, argv);
  ClearCacheDialogTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ClearCacheDialogTest.moc"
