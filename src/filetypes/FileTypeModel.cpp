#include "filetypes/FileTypeModel.h"

#include <QRegularExpression>

#include "filetypes/BuiltInFileTypes.h"
#include "platform/Error.h"
#include "shell/TextLines.h"

namespace tessarine {

namespace {

// Strict decimal with an optional sign, in int range.
int parseInteger(const QString& text) {
  static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
  bool ok = false;
  const int value = decimal.match(text).hasMatch() ? text.toInt(&ok, 10) : 0;
  if (!ok)
    throw Error(("'" + text + "' is not a valid integer value").toStdString());
  return value;
}

// Removes and parses the field before the first "|", or -1 without one.
int takeField(QString& rest) {
  const qsizetype bar = rest.indexOf(u'|');
  if (bar < 0) return -1;
  const int value = parseInteger(rest.left(bar));
  rest.remove(0, bar + 1);
  return value;
}

}  // namespace

FileTypeNode& FileTypeModel::append(FileTypeNode* parent, QString caption,
                                    int state, int image, int selectedImage) {
  auto node = std::make_unique<FileTypeNode>();
  node->caption = std::move(caption);
  node->state = state;
  node->image = image;
  node->selectedImage = selectedImage;
  node->parent = parent;
  node->depth = parent ? parent->depth + 1 : 0;
  node->line = int(nodes_.size());
  if (parent) parent->children.push_back(node.get());
  nodes_.push_back(std::move(node));
  return *nodes_.back();
}

FileTypeModel FileTypeModel::builtIn() {
  FileTypeModel model;
  FileTypeNode* last = nullptr;
  for (const BuiltInFileType& row : builtInFileTypes()) {
    FileTypeNode* parent = last;
    while (parent && parent->depth >= row.depth) parent = parent->parent;
    last = &model.append(parent, row.caption, FileTypeNode::csUnchecked,
                         row.image, row.selectedImage);
  }
  return model;
}

FileTypeModel FileTypeModel::fromLines(const QStringList& lines) {
  FileTypeModel model;
  FileTypeNode* previous = nullptr;
  for (const QString& line : lines) {
    qsizetype depth = 0;
    while (depth < line.size() && (line[depth] == u'\t' || line[depth] == u' '))
      ++depth;
    QString rest = line.mid(depth);
    const int state = takeField(rest);
    const int image = takeField(rest);
    const int selectedImage = takeField(rest);

    FileTypeNode* parent = nullptr;
    if (previous) {
      if (depth > previous->depth + 1)
        throw Error(QString("Invalid level (%1) for item \"%2\"")
                        .arg(QString::number(depth), rest)
                        .toStdString());
      if (depth == previous->depth + 1) {
        parent = previous;
      } else {
        FileTypeNode* sibling = previous;
        while (sibling->depth > depth) sibling = sibling->parent;
        parent = sibling->parent;
      }
    }
    previous = &model.append(parent, rest,
                             state == -1 ? int(FileTypeNode::csUnchecked) : state,
                             image, selectedImage);
  }
  if (lines.size() == kOriginalFileTypeLines) model.appendNewerGroupsToOriginalShape();
  return model;
}

void FileTypeModel::appendNewerGroupsToOriginalShape() {
  // A file saved before the newer groups existed: same depths and captions
  // as the original twenty rows.
  const auto& rows = builtInFileTypes();
  for (int i = 0; i < kOriginalFileTypeLines; ++i)
    if (nodes_[i]->depth != rows[i].depth || nodes_[i]->caption != rows[i].caption)
      return;
  FileTypeNode* last = nodes_.back().get();
  for (size_t i = kOriginalFileTypeLines; i < rows.size(); ++i) {
    FileTypeNode* parent = last;
    while (parent && parent->depth >= rows[i].depth) parent = parent->parent;
    last = &append(parent, rows[i].caption, FileTypeNode::csUnchecked,
                   rows[i].image, rows[i].selectedImage);
  }
}

QStringList FileTypeModel::toLines() const {
  QStringList lines;
  lines.reserve(nodes_.size());
  for (const auto& node : nodes_)
    lines << QString(node->depth, u'\t') + QString::number(node->state) + u'|' +
                 QString::number(node->image) + u'|' +
                 QString::number(node->selectedImage) + u'|' + node->caption;
  return lines;
}

void FileTypeModel::saveToFile(const QString& path) const {
  saveTextLines(path, toLines());
}

void FileTypeModel::loadFromFile(const QString& path) {
  try {
    *this = fromLines(loadTextLines(path));
  } catch (...) {
    // A damaged file must not survive as a partial tree saved at close.
    *this = builtIn();
    throw;
  }
}

bool FileTypeModel::toggle(int line) {
  FileTypeNode& node = *nodes_[line];
  int newState;
  if (node.state == FileTypeNode::csChecked)
    newState = FileTypeNode::csUnchecked;
  else if (node.state == FileTypeNode::csUnchecked ||
           node.state == FileTypeNode::csPartiallyChecked)
    newState = FileTypeNode::csChecked;
  else
    return false;

  // Descendants follow the node in pre-order while they are deeper.
  node.state = newState;
  for (size_t i = size_t(line) + 1; i < nodes_.size() && nodes_[i]->depth > node.depth; ++i)
    nodes_[i]->state = newState;

  for (FileTypeNode* ancestor = node.parent; ancestor; ancestor = ancestor->parent) {
    bool anyChecked = false, anyUnchecked = false, anyPartial = false;
    for (const FileTypeNode* child : ancestor->children) {
      anyChecked |= child->state == FileTypeNode::csChecked;
      anyUnchecked |= child->state == FileTypeNode::csUnchecked;
      anyPartial |= child->state == FileTypeNode::csPartiallyChecked;
    }
    if (anyPartial || (anyChecked && anyUnchecked))
      ancestor->state = FileTypeNode::csPartiallyChecked;
    else if (anyChecked)
      ancestor->state = FileTypeNode::csChecked;
    else
      ancestor->state = FileTypeNode::csUnchecked;
  }
  return true;
}

}  // namespace tessarine
