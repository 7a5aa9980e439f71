#include "filetypes/FileTypeTree.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/Error.h"

using tessarine::Error;
using tessarine::FileTypeModel;
using tessarine::FileTypeTree;

class FileTypeTreeTest : public QObject {
  Q_OBJECT

 private:
  // Shows `tree` and expands every node so all boxes can be clicked.
  static void showAll(FileTypeTree& tree) {
    tree.resize(400, 900);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    tree.expandAll();
  }

  static void click(FileTypeTree& tree, int line) {
    const QRect box = tree.checkBoxRect(tree.itemOfLine(line));
    QVERIFY(!box.isEmpty());
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
  }

  static QList<int> states(const FileTypeTree& tree) {
    QList<int> s;
    for (int i = 0; i < tree.model().size(); ++i) s << tree.checkState(i);
    return s;
  }

  static QList<int> visibleLines(const FileTypeTree& tree) {
    QList<int> lines;
    for (int i = 0; i < tree.model().size(); ++i)
      if (!tree.visualItemRect(tree.itemOfLine(i)).isEmpty()) lines << i;
    return lines;
  }

  static void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }

 private slots:
  void startsWithBuiltInTreeCollapsed() {
    FileTypeTree tree;
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    QCOMPARE(tree.topLevelItemCount(), 1);
    QCOMPARE(tree.model().size(), 35);
    QCOMPARE(tree.itemOfLine(0)->text(0), QString("Temporary Internet Files"));
    QCOMPARE(tree.itemOfLine(3)->text(0), QString("GIF graphis file (.gif)"));
    QCOMPARE(tree.itemOfLine(34)->text(0), QString("Fonts (.woff, .woff2, .ttf, .otf)"));
    QCOMPARE(visibleLines(tree), QList<int>{0});
    QVERIFY(!tree.itemOfLine(0)->isExpanded());
    QCOMPARE(tree.indentation(), 19);
    QVERIFY(tree.rootIsDecorated());
    QCOMPARE(tree.editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(tree.autoExpand());
    for (int i = 0; i < tree.model().size(); ++i) {
      QCOMPARE(tree.checkState(i), 1);
      // Qt's own check boxes stay out of it.
      QVERIFY(!(tree.itemOfLine(i)->flags() & Qt::ItemIsUserCheckable));
      QVERIFY(!tree.itemOfLine(i)->data(0, Qt::CheckStateRole).isValid());
    }
  }

  void clickOnBoxTogglesWithCascade() {
    FileTypeTree tree;
    showAll(tree);
    click(tree, 1);  // Graphics
    QList<int> want(35, 1);
    want[0] = 3;
    for (int i = 1; i <= 6; ++i) want[i] = 2;
    QCOMPARE(states(tree), want);

    click(tree, 4);  // JPEG off again
    want[1] = 3;
    want[4] = 1;
    QCOMPARE(states(tree), want);

    // A click on the caption selects but does not toggle.
    const QRect cell = tree.visualItemRect(tree.itemOfLine(8));
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(cell.left() + 60, cell.center().y()));
    QCOMPARE(states(tree), want);
    QCOMPARE(tree.currentItem(), tree.itemOfLine(8));

    click(tree, 0);  // root checks everything
    QCOMPARE(states(tree), QList<int>(35, 2));
  }

  void spaceTogglesSelectedNode() {
    FileTypeTree tree;
    showAll(tree);
    tree.setFocus();
    tree.setCurrentItem(tree.itemOfLine(7));  // Audio
    QTest::keyClick(&tree, Qt::Key_Space);
    QCOMPARE(tree.checkState(7), 2);
    QCOMPARE(tree.checkState(9), 2);
    QCOMPARE(tree.checkState(0), 3);
    QCOMPARE(tree.currentItem(), tree.itemOfLine(7));
    QVERIFY(tree.itemOfLine(7)->isSelected());
    QTest::keyClick(&tree, Qt::Key_Space);
    QCOMPARE(states(tree), QList<int>(35, 1));
  }

  void stateZeroNodeHasNoBoxAndIgnoresToggles() {
    QTemporaryDir dir;
    const QString path = dir.filePath("SeFile.ini");
    writeFile(path, "1|0|0|r\r\n\t0|3|3|g\r\n\t\t1|0|5|a\r\n");
    FileTypeTree tree;
    tree.loadFromFile(path);
    showAll(tree);
    QTreeWidgetItem* group = tree.itemOfLine(1);
    QVERIFY(tree.checkBoxRect(group).isEmpty());
    const QRect cell = tree.visualItemRect(group);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(cell.left() + 8, cell.center().y()));
    tree.setCurrentItem(group);
    QTest::keyClick(&tree, Qt::Key_Space);
    QCOMPARE(states(tree), (QList<int>{1, 0, 1}));
    click(tree, 0);  // the root's toggle reaches the state-0 node
    QCOMPARE(states(tree), (QList<int>{2, 2, 2}));
  }

  void drawsItsOwnBoxes() {
    QTemporaryDir dir;
    const QString path = dir.filePath("SeFile.ini");
    writeFile(path, "0|0|0|r\r\n\t1|0|0|a\r\n\t2|0|0|b\r\n\t3|0|0|c\r\n");
    FileTypeTree tree;
    tree.loadFromFile(path);
    showAll(tree);
    QList<QImage> boxes;
    for (int line = 1; line <= 3; ++line)
      boxes << tree.viewport()->grab(tree.checkBoxRect(tree.itemOfLine(line))).toImage();
    QVERIFY(boxes[0] != boxes[1]);
    QVERIFY(boxes[1] != boxes[2]);
    QVERIFY(boxes[0] != boxes[2]);
    // No box for the state-0 root: the same area is plain background.
    const QRect cell = tree.visualItemRect(tree.itemOfLine(0));
    const QRect where(cell.left() + 2, cell.top() + (cell.height() - 13) / 2, 13, 13);
    const QImage none = tree.viewport()->grab(where).toImage();
    QCOMPARE(none.pixelColor(6, 6), none.pixelColor(0, 0));
    QVERIFY(none != boxes[0]);
  }

  void singleExpand() {
    FileTypeTree tree;
    tree.resize(400, 900);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    auto expanded = [&] {
      QList<int> lines;
      for (int i = 0; i < tree.model().size(); ++i)
        if (tree.itemOfLine(i)->isExpanded()) lines << i;
      return lines;
    };
    struct Step {
      int select;
      QList<int> expanded;
    };
    const QList<Step> steps = {
        {0, {0}},       // the root opens
        {1, {0, 1}},    // Graphics opens inside it
        {4, {0, 1}},    // a leaf: nothing to open, Graphics stays
        {7, {0, 7}},    // Audio: the branch of JPEG (Graphics) collapses
        {11, {0, 11}},  // Video: Audio collapses
        {0, {0}},       // back to the root: Video collapses
    };
    for (const Step& s : steps) {
      // Selecting through the mouse, as a user does.
      const QRect cell = tree.visualItemRect(tree.itemOfLine(s.select));
      QVERIFY(!cell.isEmpty());
      QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier,
                        QPoint(cell.left() + 50, cell.center().y()));
      QCOMPARE(tree.currentItem(), tree.itemOfLine(s.select));
      QCOMPARE(expanded(), s.expanded);
    }
    QCOMPARE(visibleLines(tree), (QList<int>{0, 1, 7, 11, 16, 20, 24, 30}));

    tree.setAutoExpand(false);
    tree.setCurrentItem(tree.itemOfLine(16));
    QCOMPARE(expanded(), QList<int>{0});
  }

  void loadFailureKeepsBuiltInTree() {
    QTemporaryDir dir;
    const QString bad = dir.filePath("bad.ini");
    writeFile(bad, "2|0|0|r\r\n\t2|0|0|a\r\n\t\t\t2|0|0|b\r\n");
    const QString missing = dir.filePath("missing.ini");
    const QList<QPair<QString, QString>> cases = {
        {bad, "Invalid level (3) for item \"b\""},
        {missing, "Cannot open file " + missing},
    };
    for (const auto& [path, message] : cases) {
      FileTypeTree tree;
      showAll(tree);
      click(tree, 0);
      QString error;
      try {
        tree.loadFromFile(path);
      } catch (const Error& e) {
        error = QString::fromStdString(e.what());
      }
      QCOMPARE(error, message);
      QCOMPARE(tree.model().toLines(), FileTypeModel::builtIn().toLines());
      QCOMPARE(tree.topLevelItemCount(), 1);
      QCOMPARE(tree.itemOfLine(34)->text(0), QString("Fonts (.woff, .woff2, .ttf, .otf)"));
      QCOMPARE(visibleLines(tree), QList<int>{0});
    }
  }

  void saveRestoreRoundTrip() {
    QTemporaryDir dir;
    const QString path = dir.filePath("SeFile.ini");
    QByteArray saved;
    {
      FileTypeTree tree;
      showAll(tree);
      click(tree, 4);
      click(tree, 24);
      tree.saveToFile(path);
      QFile f(path);
      QVERIFY(f.open(QIODevice::ReadOnly));
      saved = f.readAll();
    }
    QVERIFY(saved.contains("\t\t2|0|5|JPEG (.jpeg, .jpg)\r\n"));
    FileTypeTree restored;
    restored.show();
    QVERIFY(QTest::qWaitForWindowExposed(&restored));
    restored.loadFromFile(path);
    QCOMPARE(visibleLines(restored), QList<int>{0});
    QCOMPARE(restored.checkState(0), 3);
    QCOMPARE(restored.checkState(4), 2);
    QCOMPARE(restored.checkState(29), 2);
    QCOMPARE(restored.checkState(1), 3);
    const QString again = dir.filePath("again.ini");
    restored.saveToFile(again);
    QFile f(again);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), saved);
  }

  void loadingAppliesNoCascade() {
    QTemporaryDir dir;
    const QString path = dir.filePath("SeFile.ini");
    QStringList lines = FileTypeModel::builtIn().toLines();
    lines[1] = "\t2|3|3|Graphics";
    writeFile(path, lines.join("\r\n").toUtf8());
    FileTypeTree tree;
    tree.loadFromFile(path);
    QCOMPARE(tree.checkState(1), 2);
    QCOMPARE(tree.checkState(2), 1);
    QCOMPARE(tree.checkState(0), 1);
  }
};

QTEST_MAIN(FileTypeTreeTest)
#include "FileTypeTreeTest.moc"
