#pragma once

#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QStringList>

class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace tessarine {

class Desktop;
class FileTypeTree;

// The main window "Tessarine 2007": menus, toolbar, the left pane with the
// file-type tree and the preview, the list of recovered files and the
// status bar. Every menu item, toolbar button, context-menu item and
// window event is bound to the handler slot of the same name; the handlers
// are virtual so that each operation has exactly one place.
class TfrmMain : public QMainWindow {
  Q_OBJECT
 public:
  // Builds the whole layout (tree with its built-in nodes, empty list),
  // starts selectedExts empty and sets the application folder to `appDir`
  // (ending in "/"). Everything outside the process goes through `desktop`,
  // which must outlive the window.
  TfrmMain(Desktop& desktop, const QString& appDir, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // The desktop the window's commands open files and show boxes on.
  Desktop& desktop() const { return desktop_; }

  // The list of recovered files (report style, four columns, check boxes).
  QTreeWidget* RzListView() const { return listView_; }
  // The file-type check tree in the first group of the left pane.
  FileTypeTree* RzCheckTree() const { return checkTree_; }
  // The preview image control (208 x 166 at 8, 8 of Panel6).
  QLabel* PreviewImage() const { return previewImage_; }
  // The borderless panel of the preview group that holds PreviewImage.
  QWidget* Panel6() const { return panel6_; }
  // The hidden one-line edit box (never shown).
  QLineEdit* Edit() const { return edit_; }
  // The context menu of the list.
  QMenu* PopupMenu() const { return popupMenu_; }

  // The eight 16 x 16 menu images: 0 start, 1 folder, 2 copy, 3 delete,
  // 4 open file, 5 web address, 6 help, 7 close.
  const QList<QIcon>& menuImageList() const { return menuImages_; }
  // The eight 32 x 32 toolbar glyphs, in the same order by role.
  const QList<QIcon>& toolImageList() const { return toolImages_; }

  // The extensions (lower case, leading ".") chosen at the last Get File
  // Now; empty until then.
  const QStringList& selectedExts() const { return selectedExts_; }
  void setSelectedExts(const QStringList& extensions);

  // Adds a row to the list, unchecked, where sorting the rows by name puts
  // it (after rows of the same name). The row keeps `record` (a file-info
  // record) as Qt::UserRole of column 0.
  QTreeWidgetItem* addRecoveredRow(const QString& name, const QString& type,
                                   const QString& sizeText,
                                   const QString& webAddress,
                                   const QString& record);
  // Removes every row of the list.
  void clearRecoveredRows();

 public slots:
  // Get File Now! (File menu, Ctrl+G, first toolbar button).
  virtual void RzToolButton1Click();
  // Open Folder (toolbar, File menu "Open Foler").
  virtual void RzToolButton2Click();
  // Open the File (toolbar, File menu, context menu, double-click).
  virtual void RzToolButton5Click();
  // Copy Checked Files (toolbar, File menu, context menu).
  virtual void RzToolButton3Click();
  // Delete Checked Files (toolbar, File menu, context menu).
  virtual void RzToolButton4Click();
  // Help: opens appDir + "Help.Chm" with the shell.
  virtual void Help1Click();
  // Home Page: opens the project's README with the shell.
  virtual void HomePage1Click();
  // Exit: closes the window, which ends the program.
  virtual void Exit1Click();
  // Checked All (Edit menu, context menu).
  virtual void dg1Click();
  // Unchecked All (Edit menu, context menu).
  virtual void wef1Click();
  // Copy the Web Address (context menu).
  virtual void CopytheWebAddress1Click();
  // A row became selected (`selected` true) or unselected.
  virtual void RzListViewSelectItem(QTreeWidgetItem* item, bool selected);
  // The window is shown: restores the tree from appDir + "SeFile.ini".
  virtual void FormShow();
  // The window is closing: saves the tree to appDir + "SeFile.ini".
  virtual void FormClose();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  QMenu* createPopupMenu() override;

 private:
  void buildImageLists();
  void buildMenus();
  void buildToolBar();
  void buildBody();
  void buildStatusBar();
  void buildPopupMenu();
  QToolButton* addToolButton(const QString& name, int glyph,
                             const QString& hint, void (TfrmMain::*handler)());
  void refreshStatus();

  Desktop& desktop_;
  QStringList selectedExts_;
  QList<QIcon> menuImages_;
  QList<QIcon> toolImages_;
  QTreeWidget* listView_ = nullptr;
  FileTypeTree* checkTree_ = nullptr;
  QLabel* previewImage_ = nullptr;
  QWidget* panel6_ = nullptr;
  QLineEdit* edit_ = nullptr;
  QMenu* popupMenu_ = nullptr;
  QLabel* clockStatus_ = nullptr;
  QProgressBar* resourceStatus_ = nullptr;
  QTimer* statusTimer_ = nullptr;
  bool shown_ = false;
};

}  // namespace tessarine
