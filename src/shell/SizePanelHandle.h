#pragma once

#include <QSplitterHandle>

namespace tessarine {

// The bar of a SizePanelSplitter. Dragging it resizes as a splitter bar
// does; a click on the hot spot in its middle (coloured #66CCE0) collapses
// the pane before the bar, and the next click gives the pane back its
// width.
class SizePanelHandle : public QSplitterHandle {
  Q_OBJECT
 public:
  // Height of the hot spot in pixels.
  static constexpr int kHotSpotLength = 60;

  SizePanelHandle(Qt::Orientation orientation, QSplitter* parent);

  // The hot spot, in the handle's coordinates.
  QRect hotSpot() const;

  // Collapses the pane before the bar, or restores it when collapsed.
  void togglePane();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool paneCollapsed() const;

  int restoreWidth_ = 0;
  bool pressedOnHotSpot_ = false;
};

}  // namespace tessarine
