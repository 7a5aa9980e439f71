#include "files/RecoveredFileActions.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QTreeWidget>

#include "files/FileCopy.h"
#include "files/RegisterRecords.h"
#include "platform/desktop/Desktop.h"
#include "shell/FileInfoList.h"
#include "shell/Settings.h"
#include "shell/U_main.h"

namespace tessarine {
namespace {

constexpr int kNameColumn = 0;
constexpr int kAddressColumn = 3;

QTreeWidgetItem* selectedRow(const QTreeWidget& list) {
  const QList<QTreeWidgetItem*> selected = list.selectedItems();
  return selected.isEmpty() ? nullptr : selected.first();
}

bool ticked(const QTreeWidgetItem& row) {
  return row.checkState(kNameColumn) == Qt::Checked;
}

QString recordOf(const QTreeWidgetItem& row) {
  return row.data(kNameColumn, Qt::UserRole).toString();
}

}  // namespace

void RecoveredFileActions::openFolder() {
  window_.desktop().shellOpen(&window_, settings::outputFolder() + u'/');
}

void RecoveredFileActions::openSelectedFile() {
  const QTreeWidget& list = *window_.RzListView();
  if (list.topLevelItemCount() == 0) return;
  const QTreeWidgetItem* row = selectedRow(list);
  if (!row) return;
  window_.desktop().shellOpen(
      &window_, settings::outputFolder() + u'/' + row->text(kNameColumn));
}

void RecoveredFileActions::copyCheckedFiles() {
  const std::optional<QString> target = window_.desktop().selectFolder(
      &window_, QStringLiteral("Copy the Checked Files to Folder"));
  if (!target) return;
  const QString source = settings::outputFolder();
  const QTreeWidget& list = *window_.RzListView();
  for (int i = 0; i < list.topLevelItemCount(); ++i) {
    const QTreeWidgetItem& row = *list.topLevelItem(i);
    if (!ticked(row)) continue;
    const QString name = row.text(kNameColumn);
    // A failed copy is passed over, as the command reports nothing.
    copyFileReplacing(source + u'/' + name, *target + u'/' + name);
  }
}

void RecoveredFileActions::deleteCheckedFiles() {
  const QString path = registerPath();
  if (!QFileInfo::exists(path)) return;
  const QStringList records = readRegister(path);

  QTreeWidget& list = *window_.RzListView();
  QStringList recordsLeft;
  for (int i = 0; i < list.topLevelItemCount(); ++i)
    if (!ticked(*list.topLevelItem(i))) recordsLeft << recordOf(*list.topLevelItem(i));
  const QStringList kept = recordsOfRowsLeft(records, recordsLeft);

  // A removed row takes the selection with it: Qt would otherwise move it
  // to a neighbour, which the user did not select.
  const QTreeWidgetItem* current = list.currentItem();
  const QTreeWidgetItem* selected = selectedRow(list);
  if ((current && ticked(*current)) || (selected && ticked(*selected)))
    list.setCurrentItem(nullptr);
  for (int i = list.topLevelItemCount() - 1; i >= 0; --i)
    if (ticked(*list.topLevelItem(i))) delete list.takeTopLevelItem(i);
  saveRegister(path, kept);
}

void RecoveredFileActions::setAllChecked(bool checked) {
  const QTreeWidget& list = *window_.RzListView();
  for (int i = 0; i < list.topLevelItemCount(); ++i)
    list.topLevelItem(i)->setCheckState(kNameColumn,
                                        checked ? Qt::Checked : Qt::Unchecked);
}

void RecoveredFileActions::copyWebAddress() {
  const QTreeWidgetItem* row = selectedRow(*window_.RzListView());
  if (!row) return;
  QLineEdit& edit = *window_.Edit();
  edit.setText(row->text(kAddressColumn));
  edit.selectAll();
  window_.desktop().setClipboardText(edit.selectedText());
}

}  // namespace tessarine
