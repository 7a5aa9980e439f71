#pragma once

#include <QTreeWidget>

namespace tessarine {

// The check tree of file kinds ("RzCheckTree"): the built-in nodes, check
// boxes that cascade, single-expand mode, and its state file.
class FileTypeTree : public QTreeWidget {
  Q_OBJECT
 public:
  // The built-in nodes, every one unchecked; only the root shows, collapsed.
  explicit FileTypeTree(QWidget* parent = nullptr);

  // Writes every node to `path` (SeFile.ini format). Throws
  // Error("Cannot create file <path>") when the file cannot be created.
  void saveToFile(const QString& path) const;

  // Replaces the nodes with those of `path`. On a read or format error the
  // built-in tree is put back and the error (tessarine::Error) is thrown.
  void loadFromFile(const QString& path);
};

}  // namespace tessarine
