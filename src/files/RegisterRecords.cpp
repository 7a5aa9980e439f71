#include "files/RegisterRecords.h"

#include <QHash>

namespace tessarine {

QStringList recordsOfRowsLeft(const QStringList& registerRecords,
                              const QStringList& rowRecords) {
  QHash<QString, int> unclaimed;
  for (const QString& record : rowRecords) ++unclaimed[record];
  QStringList kept;
  for (const QString& record : registerRecords) {
    auto it = unclaimed.find(record);
    if (it == unclaimed.end() || *it == 0) continue;
    --*it;
    kept << record;
  }
  return kept;
}

}  // namespace tessarine
