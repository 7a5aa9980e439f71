#include "files/PreviewFit.h"

namespace tessarine {

QRect previewFit(int width, int height) {
  double w = width, h = height;
  const double ratio = w / h;
  if (w > kPreviewMaxWidth) {
    w = kPreviewMaxWidth;
    h = kPreviewMaxWidth / ratio;
  }
  // Sees the height the width test left, and may narrow the width again.
  if (h > kPreviewMaxHeight) {
    h = kPreviewMaxHeight;
    w = ratio * kPreviewMaxHeight;
  }
  return QRect(static_cast<int>((kPreviewBoxWidth - w) * 0.5),
               static_cast<int>((kPreviewBoxHeight - h) * 0.5),
               static_cast<int>(w), static_cast<int>(h));
}

}  // namespace tessarine
