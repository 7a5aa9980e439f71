#pragma once

#include <QImage>

namespace tessarine {

// The tree's image list ("treeviewImageList"): six 16x16 pictures drawn
// by the program itself.
class FileTypeImages {
 public:
  // Number of images; valid indexes are 0 .. count - 1.
  static constexpr int count = 6;

  // Image `index`: 0 folder with globe, 1 audio, 2 play button, 3 folder
  // with picture, 4 page, 5 light bulb. A null image for any other index
  // (-1 is "no image").
  static QImage image(int index);
};

}  // namespace tessarine
