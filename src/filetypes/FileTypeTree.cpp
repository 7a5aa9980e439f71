#include "filetypes/FileTypeTree.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>

#include "filetypes/FileTypeItemDelegate.h"

namespace tessarine {

namespace {

using Role = FileTypeItemDelegate::Role;

bool hasNextSibling(const QTreeWidgetItem* item, const QTreeWidget* tree) {
  if (const QTreeWidgetItem* parent = item->parent())
    return parent->indexOfChild(const_cast<QTreeWidgetItem*>(item)) < parent->childCount() - 1;
  return tree->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) <
         tree->topLevelItemCount() - 1;
}

bool hasPreviousSibling(const QTreeWidgetItem* item, const QTreeWidget* tree) {
  if (const QTreeWidgetItem* parent = item->parent())
    return parent->indexOfChild(const_cast<QTreeWidgetItem*>(item)) > 0;
  return tree->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) > 0;
}

// Collapses `top` and every node below it, without recursion.
void collapseBranch(QTreeWidgetItem* top) {
  std::vector<QTreeWidgetItem*> pending{top};
  while (!pending.empty()) {
    QTreeWidgetItem* item = pending.back();
    pending.pop_back();
    if (item->childCount() == 0) continue;
    item->setExpanded(false);
    for (int i = 0; i < item->childCount(); ++i) pending.push_back(item->child(i));
  }
}

}  // namespace

FileTypeTree::FileTypeTree(QWidget* parent)
    : QTreeWidget(parent), model_(FileTypeModel::builtIn()) {
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Sunken);
  setColumnCount(1);
  setHeaderHidden(true);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);
  setIndentation(19);
  setRootIsDecorated(true);
  setItemsExpandable(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformRowHeights(true);
  setItemDelegate(new FileTypeItemDelegate(this));
  // Selection, not the current item: focus alone makes a node current.
  connect(this, &QTreeWidget::itemSelectionChanged, this,
          &FileTypeTree::onSelectionChanged);
  rebuildItems();
}

FileTypeTree::~FileTypeTree() { removeItems(); }

void FileTypeTree::saveToFile(const QString& path) const { model_.saveToFile(path); }

void FileTypeTree::loadFromFile(const QString& path) {
  try {
    model_.loadFromFile(path);
  } catch (...) {
    rebuildItems();  // the model fell back to the built-in tree
    throw;
  }
  rebuildItems();
}

void FileTypeTree::removeItems() {
  // Last line first: each item is then its parent's last child and has no
  // children left, so Qt's recursive item deletion never goes deep.
  rebuilding_ = true;
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    QTreeWidgetItem* item = *it;
    if (QTreeWidgetItem* parent = item->parent())
      parent->takeChild(parent->childCount() - 1);
    else
      takeTopLevelItem(topLevelItemCount() - 1);
    delete item;
  }
  items_.clear();
  lastSelected_ = nullptr;
  rebuilding_ = false;
}

void FileTypeTree::rebuildItems() {
  removeItems();
  rebuilding_ = true;
  items_.reserve(size_t(model_.size()));
  QList<QTreeWidgetItem*> topLevel;
  for (int line = 0; line < model_.size(); ++line) {
    const FileTypeNode& node = model_.node(line);
    auto* item = new QTreeWidgetItem;
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setText(0, node.caption);
    item->setData(0, Role::LineRole, line);
    item->setData(0, Role::StateRole, node.state);
    item->setData(0, Role::ImageRole, node.image);
    item->setData(0, Role::SelectedImageRole, node.selectedImage);
    if (node.parent)
      items_[size_t(node.parent->line)]->addChild(item);
    else
      topLevel << item;
    items_.push_back(item);
  }
  addTopLevelItems(topLevel);  // all collapsed: only the top level shows
  rebuilding_ = false;
}

void FileTypeTree::syncStates() {
  for (int line = 0; line < model_.size(); ++line)
    items_[size_t(line)]->setData(0, Role::StateRole, model_.node(line).state);
}

QRect FileTypeTree::checkBoxRect(const QTreeWidgetItem* item) const {
  if (!item || !FileTypeItemDelegate::hasCheckBox(item->data(0, Role::StateRole).toInt()))
    return {};
  const QRect cell = visualItemRect(item);
  if (cell.isEmpty()) return {};
  return FileTypeItemDelegate::checkBoxRect(cell);
}

void FileTypeTree::toggleItem(QTreeWidgetItem* item) {
  if (!item) return;
  if (model_.toggle(item->data(0, Role::LineRole).toInt())) {
    syncStates();
    viewport()->update();
  }
}

bool FileTypeTree::onCheckBox(const QPoint& pos, QTreeWidgetItem** item) const {
  QTreeWidgetItem* hit = itemAt(pos);
  if (!hit || !checkBoxRect(hit).contains(pos)) return false;
  *item = hit;
  return true;
}

void FileTypeTree::mousePressEvent(QMouseEvent* event) {
  QTreeWidgetItem* item = nullptr;
  if (event->button() == Qt::LeftButton && onCheckBox(event->position().toPoint(), &item)) {
    toggleItem(item);
    event->accept();
    return;
  }
  QTreeWidget::mousePressEvent(event);
}

void FileTypeTree::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second click of a double click on the box is one more toggle.
  QTreeWidgetItem* item = nullptr;
  if (event->button() == Qt::LeftButton && onCheckBox(event->position().toPoint(), &item)) {
    toggleItem(item);
    event->accept();
    return;
  }
  QTreeWidget::mouseDoubleClickEvent(event);
}

void FileTypeTree::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space) {
    // Space toggles the selected node and does nothing else.
    QTreeWidgetItem* item = currentItem();
    if (item && item->isSelected()) toggleItem(item);
    event->accept();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

void FileTypeTree::onSelectionChanged() {
  if (rebuilding_) return;
  QTreeWidgetItem* previous = lastSelected_;
  QTreeWidgetItem* current = selectedItems().value(0);
  lastSelected_ = current;
  if (!autoExpand_) return;
  QSet<QTreeWidgetItem*> currentPath;
  for (QTreeWidgetItem* n = current; n; n = n->parent()) currentPath.insert(n);
  // The branch losing the selection: the highest node on the previous
  // node's path that is not on the new node's path.
  QTreeWidgetItem* branch = nullptr;
  for (QTreeWidgetItem* n = previous; n && !currentPath.contains(n); n = n->parent())
    branch = n;
  if (branch) collapseBranch(branch);
  for (QTreeWidgetItem* n = current; n; n = n->parent())
    if (n->childCount() > 0) n->setExpanded(true);
}

void FileTypeTree::drawBranches(QPainter* painter, const QRect& rect,
                                const QModelIndex& index) const {
  const QTreeWidgetItem* item = itemFromIndex(index);
  if (!item) return;
  const int indent = indentation();
  const int midY = rect.top() + rect.height() / 2;
  painter->save();
  // Only the caption shows the selection; the branch area stays plain.
  painter->fillRect(rect, palette().brush(QPalette::Base));
  QPen dotted(palette().color(QPalette::Dark), 1, Qt::DotLine);
  painter->setPen(dotted);

  // The item's own column, just left of its cell.
  int columnLeft = rect.right() + 1 - indent;
  const int midX = columnLeft + indent / 2;
  if (item->parent() || hasPreviousSibling(item, this))
    painter->drawLine(midX, rect.top(), midX, midY);
  if (hasNextSibling(item, this)) painter->drawLine(midX, midY, midX, rect.bottom());
  painter->drawLine(midX, midY, columnLeft + indent - 1, midY);

  // Ancestors' columns: a line goes on where the ancestor has a next sibling.
  for (const QTreeWidgetItem* a = item->parent(); a && columnLeft - indent >= rect.left();
       a = a->parent()) {
    columnLeft -= indent;
    if (hasNextSibling(a, this)) {
      const int x = columnLeft + indent / 2;
      painter->drawLine(x, rect.top(), x, rect.bottom());
    }
  }

  if (item->childCount() > 0) {
    const QRect box(midX - 4, midY - 4, 8, 8);
    painter->setPen(palette().color(QPalette::Dark));
    painter->setBrush(palette().color(QPalette::Base));
    painter->drawRect(box);
    painter->setPen(palette().color(QPalette::Text));
    painter->drawLine(midX - 2, midY, midX + 2, midY);
    if (!item->isExpanded()) painter->drawLine(midX, midY - 2, midX, midY + 2);
  }
  painter->restore();
}

}  // namespace tessarine
