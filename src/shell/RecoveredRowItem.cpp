#include "shell/RecoveredRowItem.h"

namespace tessarine {

bool RecoveredRowItem::operator<(const QTreeWidgetItem& other) const {
  return QString::localeAwareCompare(text(0), other.text(0)) < 0;
}

}  // namespace tessarine
