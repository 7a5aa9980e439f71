// The main window driven as a user drives it: its layout, the command
// table, the shell's own commands, the state file at show and close, and
// the application's error display.

#include <memory>

#include <QtTest>
#include <QAction>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

#include "filetypes/FileTypeTree.h"
#include "platform/Error.h"
#include "shell/AppDir.h"
#include "shell/CollapsibleGroup.h"
#include "shell/SizePanelHandle.h"
#include "shell/TessarineApplication.h"
#include "shell/U_main.h"
#include "support/RecordingDesktop.h"

using namespace tessarine;

namespace {

// A main window whose handlers only record that they ran, and throw when
// told to: shows which handler each control reaches.
class ProbeMain : public TfrmMain {
 public:
  using TfrmMain::TfrmMain;

  QStringList calls;
  QString throwIn;         // the handler that throws
  bool throwError = true;  // tessarine::Error, or a non-error object

  void RzToolButton1Click() override { hit("RzToolButton1Click"); }
  void RzToolButton2Click() override { hit("RzToolButton2Click"); }
  void RzToolButton5Click() override { hit("RzToolButton5Click"); }
  void RzToolButton3Click() override { hit("RzToolButton3Click"); }
  void RzToolButton4Click() override { hit("RzToolButton4Click"); }
  void Help1Click() override { hit("Help1Click"); }
  void HomePage1Click() override { hit("HomePage1Click"); }
  void Exit1Click() override { hit("Exit1Click"); }
  void dg1Click() override { hit("dg1Click"); }
  void wef1Click() override { hit("wef1Click"); }
  void CopytheWebAddress1Click() override { hit("CopytheWebAddress1Click"); }
  void RzListViewSelectItem(QTreeWidgetItem* item, bool selected) override {
    hit(QStringLiteral("RzListViewSelectItem %1 %2")
            .arg(item->text(0), selected ? "true" : "false"));
  }
  void FormShow() override { hit("FormShow"); }
  void FormClose() override { hit("FormClose"); }

 private:
  void hit(const QString& name) {
    calls << name;
    if (name != throwIn) return;
    if (throwError) throw Error("Boom in " + name.toStdString());
    throw 42;
  }
};

// A menu as its captions, "-" for a separator.
QStringList captions(const QMenu* menu) {
  QStringList result;
  for (const QAction* action : menu->actions())
    result << (action->isSeparator() ? QStringLiteral("-") : action->text());
  return result;
}

TessarineApplication* application() {
  return static_cast<TessarineApplication*>(QCoreApplication::instance());
}

}  // namespace

class TfrmMainTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<test::RecordingDesktop> desktop_;

  QString appDirPath() const { return dir_->path() + QStringLiteral("/"); }

  template <typename Window = TfrmMain>
  std::unique_ptr<Window> shownWindow() {
    auto window = std::make_unique<Window>(*desktop_, appDirPath());
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) return nullptr;
    return window;
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    desktop_ = std::make_unique<test::RecordingDesktop>();
    application()->setDesktop(desktop_.get());
  }
  void cleanup() {
    application()->setDesktop(nullptr);
    desktop_.reset();
    dir_.reset();
  }

  void applicationIsNamedTessarine() {
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Tessarine"));
    QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("Tessarine"));
    QCOMPARE(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 500);
  }

  void constructorSetsAppDirAndStartsEmpty() {
    setAppDir(QString());
    TfrmMain window(*desktop_, appDirPath());
    QCOMPARE(appDir(), appDirPath());
    QVERIFY(window.selectedExts().isEmpty());
    QCOMPARE(window.RzListView()->topLevelItemCount(), 0);
    QVERIFY(!window.isVisible());
  }

  void windowGeometry() {
    auto window = shownWindow();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("Tessarine 2007"));
    QCOMPARE(window->size(), QSize(773, 544));
    const QPoint screenCentre = window->screen()->availableGeometry().center();
    QVERIFY((window->geometry().center() - screenCentre).manhattanLength() <= 2);
    QCOMPARE(window->minimumSize(), QSize(130, 50));
    window->resize(20, 10);
    QCOMPARE(window->size(), QSize(130, 50));
  }

  void everyControlBearsItsName() {
    TfrmMain window(*desktop_, appDirPath());
    const char* names[] = {
        "MainMenu",       "TbrMain",           "RzToolButton1",  "RzToolButton2",
        "RzToolButton5",  "RzToolButton3",     "RzToolButton4",  "RzToolButton7",
        "RzSizePanel1",   "RzGroupBar1",       "RzGroup1",       "RzGroup2",
        "RzCheckTree",    "Panel6",            "PreviewImage",   "RzListView",
        "StsMain",        "RzFieldStatus1",    "RzClockStatus1", "RzResourceStatus1",
        "Edit",           "PopupMenu"};
    for (const char* name : names)
      QVERIFY2(window.findChild<QObject*>(QLatin1String(name)), name);
    QCOMPARE(window.findChild<FileTypeTree*>("RzCheckTree"), window.RzCheckTree());
    QCOMPARE(window.findChild<QTreeWidget*>("RzListView"), window.RzListView());
    QCOMPARE(window.findChild<QLabel*>("PreviewImage"), window.PreviewImage());
    QCOMPARE(window.findChild<QLineEdit*>("Edit"), window.Edit());
  }

  void mainMenuCaptionsInOrder() {
    TfrmMain window(*desktop_, appDirPath());
    const QList<QAction*> menus = window.menuBar()->actions();
    QCOMPARE(menus.size(), 3);
    QCOMPARE(menus[0]->text(), QStringLiteral("File(&F)"));
    QCOMPARE(captions(menus[0]->menu()),
             (QStringList{"Get File Now!", "Open Foler", "Open File ", "-",
                          "Copy Files", "Delete Files", "-", "Exit(&A) Alt + F4"}));
    QCOMPARE(menus[1]->text(), QStringLiteral("Edit(&E)"));
    QCOMPARE(captions(menus[1]->menu()), (QStringList{"Checked All", "Unchecked All"}));
    QCOMPARE(menus[2]->text(), QStringLiteral("Help(&H)"));
    QCOMPARE(captions(menus[2]->menu()), (QStringList{"Help", "Home Page"}));
    QCOMPARE(captions(window.PopupMenu()),
             (QStringList{"Checked All", "Unchecked All", "-", "Open the File ", "-",
                          "Copy Checked Files", "Delete Checked Files", "-",
                          "Copy the Web Address"}));
    for (QAction* action : window.findChildren<QAction*>())
      QVERIFY2(action->icon().isNull(), qPrintable(action->text()));
  }

  void ctrlGIsTheOnlyShortcut() {
    TfrmMain window(*desktop_, appDirPath());
    int withShortcut = 0;
    for (const QAction* action : window.findChildren<QAction*>()) {
      if (action->shortcuts().isEmpty()) continue;
      ++withShortcut;
      QCOMPARE(action->text(), QStringLiteral("Get File Now!"));
      QCOMPARE(action->shortcuts(), QList<QKeySequence>{QKeySequence(QStringLiteral("Ctrl+G"))});
    }
    QCOMPARE(withShortcut, 1);
    for (const QToolButton* button : window.findChildren<QToolButton*>())
      QVERIFY(button->shortcut().isEmpty());
  }

  void ctrlGGetsFilesNow() {
    auto window = shownWindow<ProbeMain>();
    QVERIFY(window);
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    window->RzListView()->setFocus();
    QTest::keyClick(window->RzListView(), Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(window->calls.count("RzToolButton1Click"), 1);
  }

  void toolBarOrderGlyphsAndHints() {
    auto window = shownWindow();
    QVERIFY(window);
    auto* bar = window->findChild<QToolBar*>("TbrMain");
    QCOMPARE(bar->height(), 44);
    QStringList order;
    for (QAction* action : bar->actions()) {
      QWidget* widget = bar->widgetForAction(action);
      if (auto* frame = qobject_cast<QFrame*>(widget))
        order << (frame->frameShadow() == QFrame::Raised ? "bar" : "sep");
      else if (qobject_cast<QToolButton*>(widget))
        order << widget->objectName();
      else
        order << QStringLiteral("gap %1").arg(widget->width());
    }
    QCOMPARE(order, (QStringList{"bar", "gap 3", "RzToolButton1", "sep", "RzToolButton2",
                                 "RzToolButton5", "sep", "RzToolButton3", "RzToolButton4",
                                 "sep", "RzToolButton7", "sep"}));
    for (const QFrame* frame : bar->findChildren<QFrame*>())
      if (frame->frameShadow() == QFrame::Sunken) QCOMPARE(frame->height(), 33);

    const struct {
      const char* name;
      const char* hint;
      int glyph;
    } buttons[] = {
        {"RzToolButton1", "Click here Recover temporary Internet Files Now! ", 0},
        {"RzToolButton2", "Open Folder", 1},
        {"RzToolButton5", "Open the File ", 4},
        {"RzToolButton3", "Copy the Checked Files to Folder", 2},
        {"RzToolButton4", "Delete the Checked Files", 3},
        {"RzToolButton7", "Open Help File", 6},
    };
    QCOMPARE(window->toolImageList().size(), 8);
    QCOMPARE(window->menuImageList().size(), 8);
    for (const auto& expected : buttons) {
      auto* button = bar->findChild<QToolButton*>(expected.name);
      QVERIFY2(button, expected.name);
      QCOMPARE(button->toolTip(), QString::fromLatin1(expected.hint));
      QCOMPARE(button->size(), QSize(60, 40));
      QCOMPARE(button->iconSize(), QSize(32, 32));
      QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
      QVERIFY(button->text().isEmpty());
      QCOMPARE(button->icon().cacheKey(),
               window->toolImageList()[expected.glyph].cacheKey());
    }
    for (const QIcon& icon : window->toolImageList())
      QCOMPARE(icon.availableSizes().value(0), QSize(32, 32));
    for (const QIcon& icon : window->menuImageList())
      QCOMPARE(icon.availableSizes().value(0), QSize(16, 16));
  }

  void bodyLayout() {
    auto window = shownWindow();
    QVERIFY(window);
    QCOMPARE(window->menuBar()->height(), 22);
    for (QAction* menu : window->menuBar()->actions())
      QVERIFY2(window->menuBar()->rect().contains(window->menuBar()->actionGeometry(menu)),
               qPrintable(menu->text()));
    const QMenu* file = window->menuBar()->actions()[0]->menu();
    QCOMPARE(file->actionGeometry(file->actions()[0]).height(), 20);
    QCOMPARE(file->actionGeometry(file->actions()[3]).height(), 12);
    auto* pane = window->findChild<QWidget*>("RzSizePanel1");
    auto* splitter = qobject_cast<QSplitter*>(pane->parentWidget());
    QVERIFY(splitter);
    QCOMPARE(splitter->handleWidth(), 7);
    QVERIFY(splitter->opaqueResize());
    QCOMPARE(pane->width() + splitter->handle(1)->width(), 265);

    auto* treeGroup = window->findChild<CollapsibleGroup*>("RzGroup1");
    auto* previewGroup = window->findChild<CollapsibleGroup*>("RzGroup2");
    QCOMPARE(treeGroup->caption(), QStringLiteral("What file types would you like find?"));
    QCOMPARE(previewGroup->caption(), QStringLiteral("Preview"));
    QVERIFY(treeGroup->isOpen() && previewGroup->isOpen());
    QCOMPARE(treeGroup->height(), 183);
    QCOMPARE(previewGroup->height(), 204);
    QVERIFY(treeGroup->isAncestorOf(window->RzCheckTree()));
    QVERIFY(previewGroup->isAncestorOf(window->Panel6()));
    QCOMPARE(window->Panel6()->size(), QSize(239, 183));
    QCOMPARE(window->PreviewImage()->parentWidget(), window->Panel6());
    QCOMPARE(window->PreviewImage()->geometry(), QRect(8, 8, 208, 166));
    QVERIFY(!window->Edit()->isVisible());
  }

  void listColumns() {
    auto window = shownWindow();
    QVERIFY(window);
    QTreeWidget* list = window->RzListView();
    const QStringList names{"Name", "Type", "Size", "Web Address"};
    const int widths[] = {120, 50, 50};
    const int alignments[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignHCenter,
                              Qt::AlignLeft};
    QCOMPARE(list->columnCount(), 4);
    for (int column = 0; column < 4; ++column) {
      QCOMPARE(list->headerItem()->text(column), names[column]);
      QCOMPARE(list->headerItem()->textAlignment(column) & Qt::AlignHorizontal_Mask,
               alignments[column]);
      if (column < 3) QCOMPARE(list->columnWidth(column), widths[column]);
    }
    QVERIFY(list->header()->stretchLastSection());
    QVERIFY(list->columnWidth(3) >= 267);
    QVERIFY(!list->header()->sectionsClickable());
    QVERIFY(!list->isSortingEnabled());
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!list->rootIsDecorated());
  }

  void statusBarPanes() {
    auto window = shownWindow();
    QVERIFY(window);
    QCOMPARE(window->statusBar()->objectName(), QStringLiteral("StsMain"));
    QCOMPARE(window->statusBar()->height(), 19);
    QVERIFY(window->statusBar()->isSizeGripEnabled());
    auto* field = window->findChild<QLabel*>("RzFieldStatus1");
    QCOMPARE(field->text(), QStringLiteral("Tessarine 2007 V2.1"));
    QCOMPARE(field->width(), 489);

    const QString clock = window->findChild<QLabel*>("RzClockStatus1")->text();
    const QDate today = QDate::currentDate();
    const QLocale locale;
    QVERIFY2(clock.startsWith(locale.toString(today, QLocale::ShortFormat) + ' ') ||
                 clock.startsWith(locale.toString(today.addDays(-1), QLocale::ShortFormat) + ' '),
             qPrintable(clock));

    auto* gauge = window->findChild<QProgressBar*>("RzResourceStatus1");
    QCOMPARE(gauge->width(), 100);
    QVERIFY(!gauge->isTextVisible());
    const QRegularExpressionMatch hint =
        QRegularExpression(QStringLiteral("^Memory: (\\d+)%$")).match(gauge->toolTip());
    QVERIFY2(hint.hasMatch(), qPrintable(gauge->toolTip()));
    QCOMPARE(hint.captured(1).toInt(), gauge->value());
    QVERIFY(gauge->value() > 0 && gauge->value() <= 100);
  }

  void commandTable_data() {
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("handler");
    const char* rows[][2] = {
        {"GetFileNow1", "RzToolButton1Click"},  {"OpenFoler1", "RzToolButton2Click"},
        {"OpenFile1", "RzToolButton5Click"},    {"CopyFiles1", "RzToolButton3Click"},
        {"DeleteFiles1", "RzToolButton4Click"}, {"Exit1", "Exit1Click"},
        {"dg1", "dg1Click"},                    {"wef1", "wef1Click"},
        {"Help1", "Help1Click"},                {"HomePage1", "HomePage1Click"},
        {"dg2", "dg1Click"},                    {"wef2", "wef1Click"},
        {"OpentheFile1", "RzToolButton5Click"}, {"CopyCheckedFiles1", "RzToolButton3Click"},
        {"DeleteCheckedFiles1", "RzToolButton4Click"},
        {"CopytheWebAddress1", "CopytheWebAddress1Click"},
        {"RzToolButton1", "RzToolButton1Click"}, {"RzToolButton2", "RzToolButton2Click"},
        {"RzToolButton5", "RzToolButton5Click"}, {"RzToolButton3", "RzToolButton3Click"},
        {"RzToolButton4", "RzToolButton4Click"}, {"RzToolButton7", "Help1Click"},
    };
    for (const auto& row : rows) QTest::newRow(row[0]) << row[0] << row[1];
  }
  void commandTable() {
    QFETCH(QString, sender);
    QFETCH(QString, handler);
    auto window = shownWindow<ProbeMain>();
    QVERIFY(window);
    window->calls.clear();
    if (auto* button = window->findChild<QToolButton*>(sender))
      QTest::mouseClick(button, Qt::LeftButton);
    else
      window->findChild<QAction*>(sender)->trigger();
    QCOMPARE(window->calls, QStringList{handler});
  }

  void listEventsReachTheirHandlers() {
    auto window = shownWindow<ProbeMain>();
    QVERIFY(window);
    QCOMPARE(window->calls, QStringList{"FormShow"});
    window->addRecoveredRow("b.gif", ".gif", "1KB", "http://h/b.gif", "b.gif^.gif^1^http://h/b.gif");
    window->addRecoveredRow("a.jpg", ".jpg", "2KB", "http://h/a.jpg", "a.jpg^.jpg^2^http://h/a.jpg");
    QTreeWidget* list = window->RzListView();
    window->calls.clear();
    list->setCurrentItem(list->topLevelItem(0));
    list->setCurrentItem(list->topLevelItem(1));
    QCOMPARE(window->calls, (QStringList{"RzListViewSelectItem a.jpg true",
                                         "RzListViewSelectItem a.jpg false",
                                         "RzListViewSelectItem b.gif true"}));

    window->calls.clear();
    const QPoint belowRows(10, list->viewport()->height() - 5);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, belowRows);
    QVERIFY(window->calls.contains("RzToolButton5Click"));

    QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(20, 20),
                              list->viewport()->mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(list->viewport(), &request);
    QVERIFY(window->PopupMenu()->isVisible());
    window->PopupMenu()->hide();

    window->calls.clear();
    QVERIFY(window->close());
    QCOMPARE(window->calls, QStringList{"FormClose"});
  }

  void rowsStaySortedByName() {
    TfrmMain window(*desktop_, appDirPath());
    const char* names[] = {"c1.gif", "a2.png", "b.jpg", "a10.png", "A10.png"};
    for (const char* name : names)
      window.addRecoveredRow(name, ".x", "0KB", QStringLiteral("http://h/%1").arg(name),
                             QStringLiteral("record of %1").arg(name));
    QTreeWidget* list = window.RzListView();
    QStringList order;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
      const QTreeWidgetItem* item = list->topLevelItem(row);
      order << item->text(0);
      QCOMPARE(item->data(0, Qt::UserRole).toString(), "record of " + item->text(0));
      QCOMPARE(item->text(3), "http://h/" + item->text(0));
      QCOMPARE(item->checkState(0), Qt::Unchecked);
      QVERIFY(item->flags() & Qt::ItemIsUserCheckable);
      QVERIFY(!(item->flags() & Qt::ItemIsEditable));
      QCOMPARE(item->textAlignment(1) & Qt::AlignHorizontal_Mask, int(Qt::AlignHCenter));
    }
    // Case-sensitive: both spellings stay, next to each other.
    QCOMPARE(order.size(), 5);
    const qsizetype lower = order.indexOf("a10.png"), upper = order.indexOf("A10.png");
    QCOMPARE(qAbs(lower - upper), 1);
    order.removeAt(upper);
    QCOMPARE(order, (QStringList{"a10.png", "a2.png", "b.jpg", "c1.gif"}));

    // A second row of the same name goes after the first.
    window.addRecoveredRow("b.jpg", ".jpg", "9KB", "http://other/b.jpg", "second b.jpg");
    QCOMPARE(list->topLevelItem(3)->data(0, Qt::UserRole).toString(), "record of b.jpg");
    QCOMPARE(list->topLevelItem(4)->data(0, Qt::UserRole).toString(), "second b.jpg");

    window.clearRecoveredRows();
    QCOMPARE(list->topLevelItemCount(), 0);
  }

  void splitterHotSpotCollapsesAndRestoresThePane() {
    auto window = shownWindow();
    QVERIFY(window);
    auto* pane = window->findChild<QWidget*>("RzSizePanel1");
    auto* splitter = qobject_cast<QSplitter*>(pane->parentWidget());
    auto* handle = qobject_cast<SizePanelHandle*>(splitter->handle(1));
    QVERIFY(handle);
    const int open = splitter->sizes()[0];
    QTest::mouseClick(handle, Qt::LeftButton, {}, handle->hotSpot().center());
    QCOMPARE(splitter->sizes()[0], 0);
    QTest::mouseClick(handle, Qt::LeftButton, {}, handle->hotSpot().center());
    QCOMPARE(splitter->sizes()[0], open);
  }

  void groupCaptionFoldsAndOpensTheGroup() {
    auto window = shownWindow();
    QVERIFY(window);
    auto* group = window->findChild<CollapsibleGroup*>("RzGroup2");
    QTest::mouseClick(group, Qt::LeftButton, {}, QPoint(20, 10));
    QVERIFY(!group->isOpen());
    QCOMPARE(group->height(), CollapsibleGroup::kCaptionHeight);
    QVERIFY(!window->Panel6()->isVisible());
    QTest::mouseClick(group, Qt::LeftButton, {}, QPoint(20, 10));
    QVERIFY(group->isOpen());
    QCOMPARE(group->height(), 204);
    QVERIFY(window->Panel6()->isVisible());
  }

  void helpOpensHelpChmAndSaysNothingWhenItIsMissing() {
    auto window = shownWindow();
    QVERIFY(window);
    window->findChild<QAction*>("Help1")->trigger();
    QTest::mouseClick(window->findChild<QToolButton*>("RzToolButton7"), Qt::LeftButton);
    QCOMPARE(desktop_->opened, (QStringList{appDirPath() + "Help.Chm", appDirPath() + "Help.Chm"}));
    QVERIFY(desktop_->boxes.isEmpty());
  }

  void homePageOpensTheReadme() {
    auto window = shownWindow();
    QVERIFY(window);
    window->findChild<QAction*>("HomePage1")->trigger();
    QCOMPARE(desktop_->opened.size(), 1);
    QVERIFY(QFileInfo(desktop_->opened[0]).isAbsolute());
    QVERIFY(desktop_->opened[0].endsWith("/README.md"));
    QVERIFY(desktop_->boxes.isEmpty());
  }

  void firstStartThenExitSavesTheTreeAndSaysNothing() {
    auto window = shownWindow();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QVERIFY(!QFile::exists(appDirPath() + "SeFile.ini"));
    window->findChild<QAction*>("Exit1")->trigger();
    QVERIFY(!window->isVisible());
    QVERIFY(QFileInfo(appDirPath() + "SeFile.ini").isFile());
    QVERIFY(desktop_->boxes.isEmpty());
  }

  void treeTicksSurviveARestart() {
    auto first = shownWindow();
    QVERIFY(first);
    first->RzCheckTree()->toggleItem(first->RzCheckTree()->itemOfLine(0));
    const int ticked = first->RzCheckTree()->checkState(0);
    QVERIFY(first->close());
    first.reset();

    auto second = std::make_unique<TfrmMain>(*desktop_, appDirPath());
    QVERIFY(second->RzCheckTree()->checkState(0) != ticked);  // built-in state
    second->show();
    QCOMPARE(second->RzCheckTree()->checkState(0), ticked);
    QVERIFY(second->RzCheckTree()->autoExpand());
    QVERIFY(desktop_->boxes.isEmpty());
  }

  void damagedStateFileIsShownAndTheWindowOpens() {
    QFile file(appDirPath() + "SeFile.ini");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x|0|0|Temporary Internet Files\r\n");
    file.close();
    auto window = shownWindow();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QTRY_COMPARE(desktop_->boxes.size(), 1);
    QCOMPARE(desktop_->boxes[0].text, QStringLiteral("'x' is not a valid integer value."));
    QCOMPARE(desktop_->boxes[0].caption, QStringLiteral("Tessarine"));
    QCOMPARE(desktop_->boxes[0].style, kMbIconError | kMbOk);
  }

  void unwritableStateFileIsShownOnceAndTheWindowClosesAnyway() {
    QVERIFY(QDir(appDirPath()).mkdir("SeFile.ini"));
    auto window = shownWindow();
    QVERIFY(window);
    QVERIFY(desktop_->boxes.isEmpty());
    QVERIFY(window->close());
    QVERIFY(!window->isVisible());
    QCOMPARE(desktop_->boxes.size(), 1);
    QCOMPARE(desktop_->boxes[0].text,
             "Cannot create file " + appDirPath() + "SeFile.ini.");
    QCOMPARE(desktop_->boxes[0].caption, QStringLiteral("Tessarine"));
  }

  void errorEscapingAHandlerIsShownAndTheProgramGoesOn_data() {
    QTest::addColumn<bool>("errorObject");
    QTest::addColumn<QString>("text");
    QTest::newRow("error") << true << "Boom in RzToolButton2Click.";
    QTest::newRow("not an error object") << false << "";
  }
  void errorEscapingAHandlerIsShownAndTheProgramGoesOn() {
    QFETCH(bool, errorObject);
    QFETCH(QString, text);
    auto window = shownWindow<ProbeMain>();
    QVERIFY(window);
    window->throwIn = "RzToolButton2Click";
    window->throwError = errorObject;
    QTest::mouseClick(window->findChild<QToolButton*>("RzToolButton2"), Qt::LeftButton);
    QCOMPARE(desktop_->boxes.size(), 1);
    QCOMPARE(desktop_->boxes[0].text, text);
    QCOMPARE(desktop_->boxes[0].caption, QStringLiteral("Tessarine"));
    QCOMPARE(desktop_->boxes[0].style, kMbIconError | kMbOk);

    QTest::mouseClick(window->findChild<QToolButton*>("RzToolButton7"), Qt::LeftButton);
    QCOMPARE(window->calls.last(), QStringLiteral("Help1Click"));
    QVERIFY(window->isVisible());
  }
};

int main(int argc, char** argv) {
  TessarineApplication app(argc, argv);
  TfrmMainTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "TfrmMainTest.moc"
