#pragma once

#include <QString>

class QLabel;
class QTreeWidgetItem;

namespace tessarine {

// The Preview pane: shows the selected recovered-file row's image in the
// image control, moved and sized to the preview fit (see previewFit) inside
// its panel, the whole picture scaled into those bounds.
class ImagePreview {
 public:
  // A preview drawn in `image`, whose parent is the preview panel; the
  // control outlives this.
  explicit ImagePreview(QLabel& image) : image_(image) {}

  // True when rows of `type` (".jpg", letter case aside) are previewed:
  // BMP, JPEG, GIF, ICO, PNG, WebP and SVG.
  static bool previewsType(const QString& type);

  // A row gained (`selected`) or lost the selection. Losing it changes
  // nothing. A row of an image type shows output folder + "/" + its name;
  // any other row empties the preview, its bounds kept. A file that cannot
  // be decoded empties the preview and throws Error naming the file.
  void rowSelectionChanged(const QTreeWidgetItem& row, bool selected);

  // Shows the image file at `path`, recognised by its content when its
  // extension lies. Throws Error naming the file, the preview emptied and
  // its bounds kept, when it cannot be decoded.
  void showFile(const QString& path);

  // Removes the picture; the bounds stay.
  void clear();

 private:
  QLabel& image_;
};

}  // namespace tessarine
