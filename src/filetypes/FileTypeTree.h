#pragma once

#include <QTreeWidget>

#include "filetypes/FileTypeModel.h"

namespace tessarine {

// The check tree of file kinds ("RzCheckTree"): the built-in nodes, check
// boxes that cascade, single-expand mode, and its state file.
class FileTypeTree : public QTreeWidget {
  Q_OBJECT
 public:
  // The built-in nodes, every one unchecked; only the root shows, collapsed.
  explicit FileTypeTree(QWidget* parent = nullptr);
  // Removes the items last line first, so no deep recursion in Qt.
  ~FileTypeTree() override;

  // Writes every node to `path` (SeFile.ini format). Throws
  // Error("Cannot create file <path>") when the file cannot be created.
  void saveToFile(const QString& path) const;

  // Replaces the nodes with those of `path`. On a read or format error the
  // built-in tree is put back and the error (tessarine::Error) is thrown.
  void loadFromFile(const QString& path);

  // The nodes and their check states, in SeFile.ini line order.
  const FileTypeModel& model() const { return model_; }

  // The check state of the node on SeFile.ini line `line`.
  int checkState(int line) const { return model_.node(line).state; }

  // The item showing the node on SeFile.ini line `line`.
  QTreeWidgetItem* itemOfLine(int line) const { return items_.at(line); }

  // Where `item`'s check box is drawn, in viewport coordinates; empty when
  // the node has no box (state 0) or is not shown.
  QRect checkBoxRect(const QTreeWidgetItem* item) const;

  // Toggles the node of `item` as a click on its box does, with the
  // cascade, and repaints. A node without a box ignores it.
  void toggleItem(QTreeWidgetItem* item);

  // Single-expand mode ("AutoExpand"): selecting a node expands it and
  // collapses the branch of the node that loses the selection. On by default.
  void setAutoExpand(bool on) { autoExpand_ = on; }
  bool autoExpand() const { return autoExpand_; }

 protected:
  // A left click (or the second click of a double click) on a check box
  // toggles the node and does nothing else.
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  // Space toggles the selected node and does nothing else.
  void keyPressEvent(QKeyEvent* event) override;
  // Dotted lines and +/- expand buttons, drawn the same on every style.
  void drawBranches(QPainter* painter, const QRect& rect,
                    const QModelIndex& index) const override;

 private:
  void rebuildItems();
  void removeItems();
  void syncStates();
  void onSelectionChanged();
  bool onCheckBox(const QPoint& pos, QTreeWidgetItem** item) const;

  FileTypeModel model_;
  std::vector<QTreeWidgetItem*> items_;  // by line
  bool autoExpand_ = true;
  bool rebuilding_ = false;
  QTreeWidgetItem* lastSelected_ = nullptr;  // for single-expand mode
};

}  // namespace tessarine
