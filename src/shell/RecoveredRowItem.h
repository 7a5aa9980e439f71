#pragma once

#include <QTreeWidgetItem>

namespace tessarine {

// A row of the recovered-file list. Rows order by their name (column 0)
// with the locale-aware, case-sensitive comparison of the system.
class RecoveredRowItem : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::QTreeWidgetItem;

  // True when this row's name sorts before `other`'s.
  bool operator<(const QTreeWidgetItem& other) const override;
};

}  // namespace tessarine
