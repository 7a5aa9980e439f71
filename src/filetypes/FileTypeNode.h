#pragma once

#include <QString>
#include <vector>

namespace tessarine {

// One node of the file-type tree: what SeFile.ini stores for it, plus the
// links FileTypeModel keeps. Nodes are owned by FileTypeModel, never by
// their parents, so no tree walk or destruction needs recursion.
class FileTypeNode {
 public:
  // Check states as stored in SeFile.ini.
  enum CheckState : int {
    csUnknown = 0,           // no check box; ignores toggles
    csUnchecked = 1,
    csChecked = 2,
    csPartiallyChecked = 3,  // some but not all descendants checked
  };

  QString caption;          // shown unchanged; may contain "|"
  int state = csUnchecked;  // a CheckState, or any other value a file held
  int image = -1;          // index into the node images, -1 for none
  int selectedImage = -1;  // shown while the node is selected, -1 for none

  FileTypeNode* parent = nullptr;       // null for a top-level node
  std::vector<FileTypeNode*> children;  // in display order
  int depth = 0;                        // number of ancestors
  int line = 0;                         // position in pre-order = SeFile.ini line
};

}  // namespace tessarine
