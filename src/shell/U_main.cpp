#include "shell/U_main.h"

#include "filetypes/ExtensionTable.h"
#include "recovery/U_get.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "files/ImagePreview.h"
#include "files/RecoveredFileActions.h"
#include "filetypes/FileTypeTree.h"
#include "platform/desktop/Desktop.h"
#include "shell/AppDir.h"
#include "shell/CollapsibleGroup.h"
#include "shell/ErrorDisplay.h"
#include "shell/RecoveredRowItem.h"
#include "shell/SizePanelSplitter.h"

namespace tessarine {
namespace {

// Layout metrics of the window, in pixels.
constexpr QSize kClientSize(773, 544);
constexpr QSize kMinimumSize(130, 50);
constexpr int kToolBarHeight = 44;
constexpr QSize kToolButtonSize(60, 40);
constexpr int kGlyphSize = 32;
constexpr int kSeparatorHeight = 33;
constexpr int kLeftPaneWidth = 265;  // the splitter bar included
constexpr int kGroupBorder = 8;
constexpr int kTreeGroupHeight = 183;
constexpr int kPreviewGroupHeight = 204;
constexpr QSize kPanel6Size(239, 183);
constexpr QRect kPreviewImageGeometry(8, 8, 208, 166);
constexpr int kStatusBarHeight = 19;
constexpr int kFieldStatusWidth = 489;
constexpr int kResourceStatusWidth = 100;
constexpr int kStatusRefreshMs = 1000;

// Glyph roles, the same index in both image lists.
enum Glyph { kGetFiles, kOpenFolder, kCopy, kDelete, kOpenFile, kWebAddress,
             kHelp, kClose, kGlyphCount };

const char* const kGlyphFiles[kGlyphCount] = {
    "get-files", "open-folder", "copy", "delete",
    "open-file", "web-address", "help", "close"};

// The date and time as the user's short date and long time show them. Qt's
// long time format carries the time zone, which a clock pane leaves out.
QString clockText(const QDateTime& now) {
  const QLocale locale;
  QString timeFormat;
  bool quoted = false;
  for (const QChar c : locale.timeFormat(QLocale::LongFormat)) {
    if (c == u'\'') quoted = !quoted;
    if (quoted || c != u't') timeFormat += c;
  }
  return locale.toString(now.date(), QLocale::ShortFormat) + u' ' +
         locale.toString(now.time(), timeFormat.simplified());
}

// Available memory, swap included, against all memory, swap included, in
// percent; 0 when the kernel does not tell.
int availableMemoryPercent() {
  QFile meminfo(QStringLiteral("/proc/meminfo"));
  if (!meminfo.open(QIODevice::ReadOnly | QIODevice::Text)) return 0;
  qint64 total = 0, available = 0;
  for (const QByteArray& line : meminfo.readAll().split('\n')) {
    const QList<QByteArray> fields = line.simplified().split(' ');
    if (fields.size() < 2) continue;
    const qint64 kb = fields[1].toLongLong();
    if (fields[0] == "MemTotal:" || fields[0] == "SwapTotal:") total += kb;
    if (fields[0] == "MemAvailable:" || fields[0] == "SwapFree:")
      available += kb;
  }
  if (total <= 0) return 0;
  const qint64 percent = (available * 100 + total / 2) / total;
  return static_cast<int>(qBound(qint64(0), percent, qint64(100)));
}

// The home page: the project's README, beside the executable in a build
// tree and in the documentation folder of an installed copy.
QString homePageAddress() {
  const QString besideExecutable =
      QCoreApplication::applicationDirPath() + QStringLiteral("/README.md");
  if (QFileInfo(besideExecutable).isFile()) return besideExecutable;
  return QStringLiteral(TESSARINE_INSTALL_DOCDIR "/README.md");
}

QFrame* toolBarBar(QFrame::Shadow shadow, int height, QWidget* parent) {
  auto* bar = new QFrame(parent);
  bar->setFrameShape(QFrame::VLine);
  bar->setFrameShadow(shadow);
  bar->setFixedSize(shadow == QFrame::Raised ? 2 : 8, height);
  return bar;
}

}  // namespace

TfrmMain::TfrmMain(Desktop& desktop, const QString& appDir, QWidget* parent)
    : QMainWindow(parent), desktop_(desktop) {
  selectedExts_.clear();
  setAppDir(appDir);

  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Tessarine 2007"));
  setMinimumSize(kMinimumSize);

  buildImageLists();
  buildMenus();
  buildToolBar();
  buildBody();
  buildStatusBar();
  buildPopupMenu();

  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("Edit"));
  edit_->hide();

  // The client area centred: the window manager's frame is not known
  // before the window is mapped.
  QRect client(QPoint(), kClientSize);
  if (const QScreen* screen = this->screen())
    client.moveCenter(screen->availableGeometry().center());
  setGeometry(client);
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::setSelectedExts(const QStringList& extensions) {
  selectedExts_ = extensions;
}

void TfrmMain::buildImageLists() {
  for (const char* file : kGlyphFiles) {
    const QString path = QStringLiteral(":/look/glyphs/%1.svg").arg(QLatin1String(file));
    menuImages_ << QIcon(QIcon(path).pixmap(16, 16));
    toolImages_ << QIcon(QIcon(path).pixmap(kGlyphSize, kGlyphSize));
  }
}

void TfrmMain::buildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu"));

  auto item = [this](QMenu* menu, const char* name, const QString& caption,
                     void (TfrmMain::*handler)()) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
  };

  QMenu* file = bar->addMenu(QStringLiteral("File(&F)"));
  file->setObjectName(QStringLiteral("File1"));
  item(file, "GetFileNow1", QStringLiteral("Get File Now!"),
       &TfrmMain::RzToolButton1Click)
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  item(file, "OpenFoler1", QStringLiteral("Open Foler"),
       &TfrmMain::RzToolButton2Click);
  item(file, "OpenFile1", QStringLiteral("Open File "),
       &TfrmMain::RzToolButton5Click);
  file->addSeparator();
  item(file, "CopyFiles1", QStringLiteral("Copy Files"),
       &TfrmMain::RzToolButton3Click);
  item(file, "DeleteFiles1", QStringLiteral("Delete Files"),
       &TfrmMain::RzToolButton4Click);
  file->addSeparator();
  item(file, "Exit1", QStringLiteral("Exit(&A) Alt + F4"),
       &TfrmMain::Exit1Click);

  QMenu* edit = bar->addMenu(QStringLiteral("Edit(&E)"));
  edit->setObjectName(QStringLiteral("Edit1"));
  item(edit, "dg1", QStringLiteral("Checked All"), &TfrmMain::dg1Click);
  item(edit, "wef1", QStringLiteral("Unchecked All"), &TfrmMain::wef1Click);

  QMenu* help = bar->addMenu(QStringLiteral("Help(&H)"));
  help->setObjectName(QStringLiteral("Help2"));
  item(help, "Help1", QStringLiteral("Help"), &TfrmMain::Help1Click);
  item(help, "HomePage1", QStringLiteral("Home Page"),
       &TfrmMain::HomePage1Click);
}

QToolButton* TfrmMain::addToolButton(const QString& name, int glyph,
                                     const QString& hint,
                                     void (TfrmMain::*handler)()) {
  auto* button = new QToolButton(this);
  button->setObjectName(name);
  button->setIcon(toolImages_[glyph]);
  button->setIconSize(QSize(kGlyphSize, kGlyphSize));
  button->setToolButtonStyle(Qt::ToolButtonIconOnly);
  button->setFixedSize(kToolButtonSize);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setToolTip(hint);
  button->setAccessibleName(hint);
  connect(button, &QToolButton::clicked, this, handler);
  return button;
}

void TfrmMain::buildToolBar() {
  QToolBar* bar = addToolBar(QStringLiteral("TbrMain"));
  bar->setObjectName(QStringLiteral("TbrMain"));
  bar->setFixedHeight(kToolBarHeight);
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setIconSize(QSize(kGlyphSize, kGlyphSize));

  auto separator = [&] {
    bar->addWidget(toolBarBar(QFrame::Sunken, kSeparatorHeight, bar));
  };
  bar->addWidget(toolBarBar(QFrame::Raised, kToolButtonSize.height(), bar));
  auto* gap = new QWidget(bar);
  gap->setFixedSize(3, 1);
  bar->addWidget(gap);

  bar->addWidget(addToolButton(
      QStringLiteral("RzToolButton1"), kGetFiles,
      QStringLiteral("Click here Recover temporary Internet Files Now! "),
      &TfrmMain::RzToolButton1Click));
  separator();
  bar->addWidget(addToolButton(QStringLiteral("RzToolButton2"), kOpenFolder,
                               QStringLiteral("Open Folder"),
                               &TfrmMain::RzToolButton2Click));
  bar->addWidget(addToolButton(QStringLiteral("RzToolButton5"), kOpenFile,
                               QStringLiteral("Open the File "),
                               &TfrmMain::RzToolButton5Click));
  separator();
  bar->addWidget(addToolButton(QStringLiteral("RzToolButton3"), kCopy,
                               QStringLiteral("Copy the Checked Files to Folder"),
                               &TfrmMain::RzToolButton3Click));
  bar->addWidget(addToolButton(QStringLiteral("RzToolButton4"), kDelete,
                               QStringLiteral("Delete the Checked Files"),
                               &TfrmMain::RzToolButton4Click));
  separator();
  bar->addWidget(addToolButton(QStringLiteral("RzToolButton7"), kHelp,
                               QStringLiteral("Open Help File"),
                               &TfrmMain::Help1Click));
  separator();
}

void TfrmMain::buildBody() {
  auto* splitter = new SizePanelSplitter(this);
  splitter->setObjectName(QStringLiteral("RzSizePanel1Splitter"));

  auto* pane = new QWidget(splitter);
  pane->setObjectName(QStringLiteral("RzSizePanel1"));
  auto* paneLayout = new QVBoxLayout(pane);
  paneLayout->setContentsMargins(0, 0, 0, 0);

  auto* groupBar = new QScrollArea(pane);
  groupBar->setObjectName(QStringLiteral("RzGroupBar1"));
  groupBar->setFrameShape(QFrame::NoFrame);
  groupBar->setWidgetResizable(true);
  groupBar->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  paneLayout->addWidget(groupBar);

  auto* groups = new QWidget(groupBar);
  groups->setObjectName(QStringLiteral("RzGroupBar1Groups"));
  auto* groupsLayout = new QVBoxLayout(groups);
  groupsLayout->setContentsMargins(kGroupBorder, kGroupBorder, kGroupBorder,
                                   kGroupBorder);
  groupsLayout->setSpacing(kGroupBorder);
  groupBar->setWidget(groups);

  auto* treeGroup = new CollapsibleGroup(
      QStringLiteral("What file types would you like find?"), kTreeGroupHeight,
      groups);
  treeGroup->setObjectName(QStringLiteral("RzGroup1"));
  checkTree_ = new FileTypeTree(treeGroup);
  checkTree_->setObjectName(QStringLiteral("RzCheckTree"));
  checkTree_->setAutoExpand(true);
  treeGroup->setBody(checkTree_);
  groupsLayout->addWidget(treeGroup);

  auto* previewGroup = new CollapsibleGroup(QStringLiteral("Preview"),
                                            kPreviewGroupHeight, groups);
  previewGroup->setObjectName(QStringLiteral("RzGroup2"));
  panel6_ = new QWidget(previewGroup);
  panel6_->setObjectName(QStringLiteral("Panel6"));
  panel6_->resize(kPanel6Size);
  previewImage_ = new QLabel(panel6_);
  previewImage_->setObjectName(QStringLiteral("PreviewImage"));
  previewImage_->setGeometry(kPreviewImageGeometry);
  previewGroup->setBody(panel6_);
  groupsLayout->addWidget(previewGroup);
  groupsLayout->addStretch(1);

  listView_ = new QTreeWidget(splitter);
  listView_->setObjectName(QStringLiteral("RzListView"));
  listView_->setColumnCount(4);
  listView_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Type"),
                              QStringLiteral("Size"),
                              QStringLiteral("Web Address")});
  const int widths[] = {120, 50, 50, 267};
  const Qt::Alignment alignments[] = {Qt::AlignLeft, Qt::AlignHCenter,
                                      Qt::AlignHCenter, Qt::AlignLeft};
  for (int column = 0; column < 4; ++column) {
    listView_->setColumnWidth(column, widths[column]);
    listView_->headerItem()->setTextAlignment(
        column, alignments[column] | Qt::AlignVCenter);
  }
  listView_->header()->setStretchLastSection(true);
  listView_->header()->setSectionsClickable(false);
  listView_->header()->setSectionsMovable(false);
  listView_->header()->setSortIndicatorShown(false);
  listView_->setSortingEnabled(false);
  listView_->setRootIsDecorated(false);
  listView_->setItemsExpandable(false);
  listView_->setUniformRowHeights(true);
  listView_->setAllColumnsShowFocus(true);
  listView_->setSelectionMode(QAbstractItemView::SingleSelection);
  listView_->setSelectionBehavior(QAbstractItemView::SelectRows);
  listView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  QFont listFont = font();
  listFont.setPixelSize(12);
  listView_->setFont(listFont);
  listView_->viewport()->installEventFilter(this);
  connect(listView_->selectionModel(), &QItemSelectionModel::selectionChanged,
          this, [this](const QItemSelection& selected,
                       const QItemSelection& deselected) {
            // The item view is mid-way through a mouse press here and is
            // not exception-safe: an error is shown from this point rather
            // than unwound through it.
            try {
              for (const QModelIndex& index : deselected.indexes())
                if (index.column() == 0)
                  RzListViewSelectItem(listView_->itemFromIndex(index), false);
              for (const QModelIndex& index : selected.indexes())
                if (index.column() == 0)
                  RzListViewSelectItem(listView_->itemFromIndex(index), true);
            } catch (...) {
              showCurrentException(desktop_, this);
            }
          });

  splitter->addWidget(pane);
  splitter->addWidget(listView_);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({kLeftPaneWidth - SizePanelSplitter::kBarWidth,
                      kClientSize.width() - kLeftPaneWidth});
  setCentralWidget(splitter);
}

void TfrmMain::buildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("StsMain"));
  bar->setFixedHeight(kStatusBarHeight);
  bar->setSizeGripEnabled(true);

  auto* field = new QLabel(QStringLiteral("Tessarine 2007 V2.1"), bar);
  field->setObjectName(QStringLiteral("RzFieldStatus1"));
  field->setFixedWidth(kFieldStatusWidth);
  bar->addWidget(field);

  clockStatus_ = new QLabel(bar);
  clockStatus_->setObjectName(QStringLiteral("RzClockStatus1"));
  clockStatus_->setAlignment(Qt::AlignCenter);
  bar->addWidget(clockStatus_, 1);

  resourceStatus_ = new QProgressBar(bar);
  resourceStatus_->setObjectName(QStringLiteral("RzResourceStatus1"));
  resourceStatus_->setFixedWidth(kResourceStatusWidth);
  resourceStatus_->setRange(0, 100);
  resourceStatus_->setTextVisible(false);
  bar->addPermanentWidget(resourceStatus_);

  statusTimer_ = new QTimer(this);
  statusTimer_->setObjectName(QStringLiteral("StatusTimer"));
  statusTimer_->setInterval(kStatusRefreshMs);
  connect(statusTimer_, &QTimer::timeout, this, &TfrmMain::refreshStatus);
  statusTimer_->start();
  refreshStatus();
}

void TfrmMain::buildPopupMenu() {
  popupMenu_ = new QMenu(this);
  popupMenu_->setObjectName(QStringLiteral("PopupMenu"));
  auto item = [this](const char* name, const QString& caption,
                     void (TfrmMain::*handler)()) {
    QAction* action = popupMenu_->addAction(caption);
    action->setObjectName(QLatin1String(name));
    connect(action, &QAction::triggered, this, handler);
  };
  item("dg2", QStringLiteral("Checked All"), &TfrmMain::dg1Click);
  item("wef2", QStringLiteral("Unchecked All"), &TfrmMain::wef1Click);
  popupMenu_->addSeparator();
  item("OpentheFile1", QStringLiteral("Open the File "),
       &TfrmMain::RzToolButton5Click);
  popupMenu_->addSeparator();
  item("CopyCheckedFiles1", QStringLiteral("Copy Checked Files"),
       &TfrmMain::RzToolButton3Click);
  item("DeleteCheckedFiles1", QStringLiteral("Delete Checked Files"),
       &TfrmMain::RzToolButton4Click);
  popupMenu_->addSeparator();
  item("CopytheWebAddress1", QStringLiteral("Copy the Web Address"),
       &TfrmMain::CopytheWebAddress1Click);

  listView_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(listView_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& position) {
            popupMenu_->popup(listView_->viewport()->mapToGlobal(position));
          });
}

void TfrmMain::refreshStatus() {
  clockStatus_->setText(clockText(QDateTime::currentDateTime()));
  const int percent = availableMemoryPercent();
  resourceStatus_->setValue(percent);
  resourceStatus_->setToolTip(QString::asprintf("%s: %d%%", "Memory", percent));
}

QTreeWidgetItem* TfrmMain::addRecoveredRow(const QString& name,
                                           const QString& type,
                                           const QString& sizeText,
                                           const QString& webAddress,
                                           const QString& record) {
  auto* row = new RecoveredRowItem(QStringList{name, type, sizeText, webAddress});
  row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable |
                Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren);
  row->setCheckState(0, Qt::Unchecked);
  row->setTextAlignment(1, Qt::AlignHCenter | Qt::AlignVCenter);
  row->setTextAlignment(2, Qt::AlignHCenter | Qt::AlignVCenter);
  row->setData(0, Qt::UserRole, record);
  // The rows are always in order, so a re-sort comes down to inserting the
  // new row after every row that does not sort after it (a stable sort
  // keeps equal names in the order they came).
  int low = 0, high = listView_->topLevelItemCount();
  while (low < high) {
    const int middle = (low + high) / 2;
    if (*row < *listView_->topLevelItem(middle))
      high = middle;
    else
      low = middle + 1;
  }
  listView_->insertTopLevelItem(low, row);
  return row;
}

void TfrmMain::clearRecoveredRows() { listView_->clear(); }

void TfrmMain::RzToolButton1Click() {
  const QString path = appDir() + QStringLiteral("SeFile.ini");
  // A tree that cannot be saved stops here: selectedExts as it was, no dialog.
  checkTree_->saveToFile(path);
  selectedExts_.clear();
  selectedExts_ = selectedExtsFromFile(path);
  TgetForm getForm(*this);
  getForm.exec();
}

void TfrmMain::RzToolButton2Click() { RecoveredFileActions(*this).openFolder(); }

void TfrmMain::RzToolButton5Click() { RecoveredFileActions(*this).openSelectedFile(); }

void TfrmMain::RzToolButton3Click() { RecoveredFileActions(*this).copyCheckedFiles(); }

void TfrmMain::RzToolButton4Click() { RecoveredFileActions(*this).deleteCheckedFiles(); }

void TfrmMain::Help1Click() {
  desktop_.shellOpen(this, appDir() + QStringLiteral("Help.Chm"));
}

void TfrmMain::HomePage1Click() { desktop_.shellOpen(this, homePageAddress()); }

void TfrmMain::Exit1Click() { close(); }

void TfrmMain::dg1Click() { RecoveredFileActions(*this).setAllChecked(true); }

void TfrmMain::wef1Click() { RecoveredFileActions(*this).setAllChecked(false); }

void TfrmMain::CopytheWebAddress1Click() { RecoveredFileActions(*this).copyWebAddress(); }

void TfrmMain::RzListViewSelectItem(QTreeWidgetItem* item, bool selected) {
  if (item) ImagePreview(*previewImage_).rowSelectionChanged(*item, selected);
}

void TfrmMain::FormShow() {
  checkTree_->setAutoExpand(true);
  const QString path = appDir() + QStringLiteral("SeFile.ini");
  if (QFileInfo(path).isFile()) checkTree_->loadFromFile(path);
}

void TfrmMain::FormClose() {
  checkTree_->saveToFile(appDir() + QStringLiteral("SeFile.ini"));
}

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_ || event->spontaneous()) return;
  shown_ = true;
  // An exception must not leave the show half done (the window would never
  // appear): it is caught here and shown once the window is up.
  try {
    FormShow();
  } catch (...) {
    QMetaObject::invokeMethod(
        this,
        [this, message = currentExceptionMessage()] {
          showErrorBox(desktop_, this, message);
        },
        Qt::QueuedConnection);
  }
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  // A failed save is shown once and the window closes anyway: a user is
  // never trapped in a window that cannot close.
  try {
    FormClose();
  } catch (...) {
    showCurrentException(desktop_, this);
  }
  event->accept();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == listView_->viewport() &&
      event->type() == QEvent::MouseButtonDblClick) {
    RzToolButton5Click();
    return false;
  }
  return QMainWindow::eventFilter(watched, event);
}

QMenu* TfrmMain::createPopupMenu() {
  return nullptr;  // the toolbar is fixed: no menu to hide it
}

}  // namespace tessarine
