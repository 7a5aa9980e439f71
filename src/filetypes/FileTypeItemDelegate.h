#pragma once

#include <QStyledItemDelegate>

namespace tessarine {

// Draws one row of the file-type tree: the tree's own check box (states
// 1, 2, 3; none for any other state), the node image (the selected image
// while selected) and the caption, framed while selected.
class FileTypeItemDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  // Item data roles the delegate reads (column 0).
  enum Role {
    LineRole = Qt::UserRole,  // the node's SeFile.ini line
    StateRole,                // check state
    ImageRole,                // image index
    SelectedImageRole,        // selected image index
  };

  // A delegate owned by `parent`.
  explicit FileTypeItemDelegate(QObject* parent = nullptr);

  // Where the check box of a row lies, given the row's cell rectangle.
  static QRect checkBoxRect(const QRect& cell);

  // Whether `state` is drawn with a check box (1, 2 or 3).
  static bool hasCheckBox(int state);

  // Draws box, image and caption at the fixed offsets checkBoxRect uses.
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  // Room for box, image and the whole caption.
  QSize sizeHint(const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
};

}  // namespace tessarine
