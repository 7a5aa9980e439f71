// The Preview pane driven through the main window: rows whose files lie
// in the output folder are selected in the list, and PreviewImage is
// looked at.

#include <memory>

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "shell/AppDir.h"
#include "shell/Settings.h"
#include "shell/TessarineApplication.h"
#include "shell/U_main.h"
#include "support/RecordingDesktop.h"

using namespace tessarine;

namespace {

const QRect kFirstBounds(8, 8, 208, 166);

// Four quadrants of distinct colours, so a picture cut to its corner and
// one scaled whole tell apart.
QImage quadrants(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  QPainter p(&image);
  const int midX = width / 2, midY = height / 2;
  p.fillRect(0, 0, midX, midY, Qt::red);
  p.fillRect(midX, 0, width - midX, midY, Qt::green);
  p.fillRect(0, midY, midX, height - midY, Qt::blue);
  p.fillRect(midX, midY, width - midX, height - midY, Qt::yellow);
  return image;
}

QImage shown(const QLabel* label) { return label->pixmap().toImage(); }

// The colour nearest to `c` among the four of `quadrants`.
QString nearest(QColor c) {
  const std::pair<const char*, QColor> colours[] = {
      {"red", Qt::red}, {"green", Qt::green}, {"blue", Qt::blue}, {"yellow", Qt::yellow}};
  QString best;
  int bestDistance = INT_MAX;
  for (const auto& [name, colour] : colours) {
    const int d = qAbs(c.red() - colour.red()) + qAbs(c.green() - colour.green()) +
                  qAbs(c.blue() - colour.blue());
    if (d < bestDistance) bestDistance = d, best = name;
  }
  return best;
}

}  // namespace

class ImagePreviewTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    app.reset(new QTemporaryDir);
    desktop.reset(new test::RecordingDesktop);
    static_cast<TessarineApplication*>(qApp)->setDesktop(desktop.get());
    main.reset(new TfrmMain(*desktop, app->path() + "/"));
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main.get()));
    folder = app->path() + "/out";
    QVERIFY(QDir().mkpath(folder));
    settings::writeFolder(folder);
  }
  void cleanup() { main.reset(); }

  void fitsEverySizeIntoTheBox_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QSize>("natural");
    QTest::addColumn<QRect>("bounds");
    const struct {
      QSize natural;
      QRect bounds;
    } sizes[] = {
        {{100, 50}, {61, 66, 100, 50}},   {{400, 300}, {42, 40, 137, 103}},
        {{300, 100}, {39, 67, 145, 48}},  {{100, 200}, {85, 40, 51, 103}},
        {{50, 400}, {105, 40, 12, 103}},  {{145, 103}, {39, 40, 145, 103}},
        {{146, 103}, {39, 40, 145, 102}}, {{32, 32}, {95, 75, 32, 32}},
        {{640, 480}, {42, 40, 137, 103}}, {{1024, 768}, {42, 40, 137, 103}},
    };
    for (const char* format : {"png", "jpg", "bmp"})
      for (const auto& s : sizes)
        QTest::addRow("%s %dx%d", format, s.natural.width(), s.natural.height())
            << QString(format) << s.natural << s.bounds;
  }
  void fitsEverySizeIntoTheBox() {
    QFETCH(QString, format);
    QFETCH(QSize, natural);
    QFETCH(QRect, bounds);
    const QString name = "picture." + format;
    QVERIFY(quadrants(natural.width(), natural.height()).save(folder + "/" + name, nullptr, 100));
    select(addRow(name, "." + format));
    QLabel* image = main->PreviewImage();
    QCOMPARE(image->parentWidget(), main->Panel6());
    QCOMPARE(image->geometry(), bounds);
    // The whole picture, scaled into the bounds (never its corner only).
    const QImage picture = shown(image);
    QCOMPARE(picture.size(), bounds.size());
    const int w = picture.width(), h = picture.height();
    QCOMPARE(nearest(picture.pixelColor(w / 4, h / 4)), QStringLiteral("red"));
    QCOMPARE(nearest(picture.pixelColor(w * 3 / 4, h / 4)), QStringLiteral("green"));
    QCOMPARE(nearest(picture.pixelColor(w / 4, h * 3 / 4)), QStringLiteral("blue"));
    QCOMPARE(nearest(picture.pixelColor(w * 3 / 4, h * 3 / 4)), QStringLiteral("yellow"));
    QVERIFY(desktop->boxes.isEmpty());
  }

  // Every type the tree offers as a picture, any letter case, and a file
  // whose extension lies.
  void showsEachImageType_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QByteArray>("writeAs");
    QTest::newRow("gif holding PNG") << "fake.gif" << ".gif" << QByteArray("png");
    QTest::newRow("ico") << "icon.ico" << ".ico" << QByteArray("ico");
    QTest::newRow("webp") << "photo.webp" << ".webp" << QByteArray("webp");
    QTest::newRow("capitals") << "PHOTO[0].JPG" << ".JPG" << QByteArray("jpg");
    QTest::newRow("mixed case png") << "Shot.Png" << ".Png" << QByteArray("png");
    QTest::newRow("ico holding png") << "x.ico" << ".ico" << QByteArray("png");
    QTest::newRow("png holding jpg") << "x.png" << ".png" << QByteArray("jpg");
    QTest::newRow("webp holding png") << "x.webp" << ".webp" << QByteArray("png");
    QTest::newRow("svg holding png") << "x.svg" << ".svg" << QByteArray("png");
    QTest::newRow("bmp holding ico") << "x.bmp" << ".bmp" << QByteArray("ico");
    QTest::newRow("jpeg holding BMP") << "scan.jpeg" << ".jpeg" << QByteArray("bmp");
  }
  void showsEachImageType() {
    QFETCH(QString, name);
    QFETCH(QString, type);
    QFETCH(QByteArray, writeAs);
    QVERIFY(quadrants(64, 48).save(folder + "/" + name, writeAs.constData(), 100));
    select(addRow(name, type));
    QCOMPARE(main->PreviewImage()->geometry(), QRect(79, 67, 64, 48));
    QCOMPARE(nearest(shown(main->PreviewImage()).pixelColor(48, 36)), QStringLiteral("yellow"));
    QVERIFY(desktop->boxes.isEmpty());
  }

  void svgIsDrawnAtTheFittedSize() {
    QFile svg(folder + "/drawing.svg");
    QVERIFY(svg.open(QIODevice::WriteOnly));
    svg.write("<svg xmlns='http://www.w3.org/2000/svg' width='400' height='300'>"
              "<rect width='200' height='150' fill='red'/>"
              "<rect x='200' y='150' width='200' height='150' fill='yellow'/></svg>");
    svg.close();
    select(addRow("drawing.svg", ".svg"));
    QCOMPARE(main->PreviewImage()->geometry(), QRect(42, 40, 137, 103));
    const QImage picture = shown(main->PreviewImage());
    QCOMPARE(picture.size(), QSize(137, 103));
    QCOMPARE(nearest(picture.pixelColor(30, 20)), QStringLiteral("red"));
    QCOMPARE(nearest(picture.pixelColor(110, 80)), QStringLiteral("yellow"));
  }

  void pictureThinnerThanAPixelLeavesTheBoxEmpty() {
    QVERIFY(quadrants(1, 2000).save(folder + "/thin.png"));
    select(addRow("thin.png", ".png"));
    QCOMPARE(main->PreviewImage()->geometry(), QRect(111, 40, 0, 103));
    QVERIFY(main->PreviewImage()->pixmap().isNull());
    QVERIFY(desktop->boxes.isEmpty());
  }

  void undecodableFileEmptiesThePreviewAndIsShownOnce() {
    QVERIFY(quadrants(100, 50).save(folder + "/good.png"));
    QFile broken(folder + "/broken.jpg");
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray(500, 'x'));
    broken.close();
    QTreeWidgetItem* good = addRow("good.png", ".png");
    QTreeWidgetItem* bad = addRow("broken.jpg", ".jpg");
    select(good);
    QVERIFY(!main->PreviewImage()->pixmap().isNull());
    click(bad);
    QCOMPARE(desktop->boxes.size(), 1);
    const test::RecordingDesktop::Box box = desktop->boxes[0];
    QVERIFY2(box.text.startsWith("Cannot show the preview of " + folder + "/broken.jpg: "),
             qPrintable(box.text));
    QVERIFY(box.text.endsWith('.'));
    QCOMPARE(box.caption, QStringLiteral("Tessarine"));
    QVERIFY(main->PreviewImage()->pixmap().isNull());
    QCOMPARE(main->PreviewImage()->geometry(), QRect(61, 66, 100, 50));
    // The program goes on: the next image shows.
    click(good);
    QVERIFY(!main->PreviewImage()->pixmap().isNull());
    QCOMPARE(desktop->boxes.size(), 1);
  }

  void deselectionKeepsThePictureAndOtherTypesEmptyIt() {
    QVERIFY(quadrants(300, 100).save(folder + "/a.jpg"));
    QTreeWidgetItem* jpg = addRow("a.jpg", ".jpg");
    QTreeWidgetItem* mp3 = addRow("song.mp3", ".mp3");
    QTreeWidgetItem* avif = addRow("new.avif", ".avif");
    QCOMPARE(main->PreviewImage()->geometry(), kFirstBounds);
    select(jpg);
    const QRect bounds(39, 67, 145, 48);
    QCOMPARE(main->PreviewImage()->geometry(), bounds);
    main->RzListView()->clearSelection();
    QVERIFY(!main->PreviewImage()->pixmap().isNull());
    QCOMPARE(main->PreviewImage()->geometry(), bounds);

    select(mp3);
    QVERIFY(main->PreviewImage()->pixmap().isNull());
    QCOMPARE(main->PreviewImage()->geometry(), bounds);
    select(jpg);
    QVERIFY(!main->PreviewImage()->pixmap().isNull());
    select(avif);  // no reader on this system: emptied, no error
    QVERIFY(main->PreviewImage()->pixmap().isNull());
    QVERIFY(desktop->boxes.isEmpty());
  }

  void withoutAStoredFolderTheDefaultOutputFolderIsShown() {
    QVERIFY(QFile::remove(appDir() + "Set.ini"));
    QVERIFY(QDir().mkpath(defaultOutputFolder()));
    QVERIFY(quadrants(32, 32).save(defaultOutputFolder() + "icon.png"));
    select(addRow("icon.png", ".png"));
    QCOMPARE(main->PreviewImage()->geometry(), QRect(95, 75, 32, 32));
    QVERIFY(!main->PreviewImage()->pixmap().isNull());
  }

 private:
  QTreeWidgetItem* addRow(const QString& name, const QString& type) {
    return main->addRecoveredRow(name, type, "1KB", "http://h/" + name,
                                 name + "^" + type.toLower() + "^1^http://h/" + name);
  }
  void select(QTreeWidgetItem* row) { main->RzListView()->setCurrentItem(row); }
  // As a user selects: a click on the row, so an error reaches the box.
  void click(QTreeWidgetItem* row) {
    QTreeWidget* list = main->RzListView();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(row).center());
    QVERIFY(row->isSelected());
  }

  std::unique_ptr<QTemporaryDir> app;
  std::unique_ptr<test::RecordingDesktop> desktop;
  std::unique_ptr<TfrmMain> main;
  QString folder;
};

int main(int argc, char** argv) {
  TessarineApplication app(argc, argv);
  ImagePreviewTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ImagePreviewTest.moc"
