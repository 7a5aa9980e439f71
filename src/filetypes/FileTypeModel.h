#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "filetypes/FileTypeNode.h"

namespace tessarine {

// The file-type tree without any widget: its nodes in pre-order (which is
// also SeFile.ini line order), the cascading toggle, and SeFile.ini reading
// and writing. Every algorithm is a loop over the pre-order list.
class FileTypeModel {
 public:
  // A tree without nodes.
  FileTypeModel() = default;
  FileTypeModel(FileTypeModel&&) noexcept = default;
  FileTypeModel& operator=(FileTypeModel&&) noexcept = default;

  // The built-in tree, every node unchecked (1).
  static FileTypeModel builtIn();

  // Builds a tree from SeFile.ini lines: leading TABs and spaces give the
  // depth; up to three "|"-ended decimal fields give state, image and
  // selected image (-1 when absent; a state left at -1 becomes 1); the rest
  // is the caption. The first line is top level; a later line may go at
  // most one level below the line before. No cascade is applied. Exactly
  // twenty lines shaped like the original built-in tree get the newer
  // groups appended, unchecked. Throws Error("'<text>' is not a valid
  // integer value") or Error("Invalid level (<depth>) for item \"<caption>\"").
  static FileTypeModel fromLines(const QStringList& lines);

  // One line per node in pre-order: a TAB per level, then
  // "state|image|selected image|caption".
  QStringList toLines() const;

  // Writes toLines() to `path` with CR LF endings. Throws
  // Error("Cannot create file <path>").
  void saveToFile(const QString& path) const;

  // Replaces the nodes with those read from `path`. On any error the tree
  // becomes the built-in one, all unchecked, and the error is rethrown.
  void loadFromFile(const QString& path);

  // Number of nodes.
  int size() const { return int(nodes_.size()); }

  // The node on SeFile.ini line `line` (0 <= line < size()).
  const FileTypeNode& node(int line) const { return *nodes_[line]; }

  // Toggles the node on `line` like a click on its box: 2 becomes 1, 1 and
  // 3 become 2, other states ignore it (returns false). Every descendant
  // then takes the new state; each ancestor, parent first, takes 3 when a
  // child is 3 or children are in both 2 and 1, else 2 when a child is 2,
  // else 1. Returns true when the toggle happened.
  bool toggle(int line);

 private:
  FileTypeNode& append(FileTypeNode* parent, QString caption, int state,
                       int image, int selectedImage);
  void appendNewerGroupsToOriginalShape();

  std::vector<std::unique_ptr<FileTypeNode>> nodes_;
};

}  // namespace tessarine
