#pragma once

#include <QStringList>

namespace tessarine {

// The records of `registerRecords` that belong to a row left in the list,
// in the register's order. `rowRecords` holds the record each row left
// carries; a row's record counts once, so a record the register holds
// twice is kept as often as rows carry it. A record of no row is dropped.
QStringList recordsOfRowsLeft(const QStringList& registerRecords,
                              const QStringList& rowRecords);

}  // namespace tessarine
