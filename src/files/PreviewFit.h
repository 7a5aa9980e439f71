#pragma once

#include <QRect>

namespace tessarine {

// The preview's limits, in pixels: a shown image is at most
// kPreviewMaxWidth by kPreviewMaxHeight, centred in a box of
// kPreviewBoxWidth by kPreviewBoxHeight whose top left corner is the
// preview panel's.
constexpr int kPreviewMaxWidth = 145;
constexpr int kPreviewMaxHeight = 103;
constexpr int kPreviewBoxWidth = 223;
constexpr int kPreviewBoxHeight = 183;

// The bounds, in the preview panel's coordinates, of an image of natural
// size `width` by `height` (both above 0): narrowed to the maximum width
// first, then to the maximum height (strict tests, never enlarged, the
// proportions kept), centred in the box; every value truncated toward zero,
// the position computed from the untruncated size.
QRect previewFit(int width, int height);

}  // namespace tessarine
