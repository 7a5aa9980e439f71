#pragma once

#include <QSplitter>

namespace tessarine {

// The splitter between the left pane and the list: a 7-pixel bar that
// resizes the pane while it is dragged and whose hot spot (see
// SizePanelHandle) collapses and restores the pane before it.
class SizePanelSplitter : public QSplitter {
  Q_OBJECT
 public:
  // Width of the splitter bar in pixels.
  static constexpr int kBarWidth = 7;

  // A horizontal splitter with live resizing and SizePanelHandle bars.
  explicit SizePanelSplitter(QWidget* parent = nullptr);

 protected:
  QSplitterHandle* createHandle() override;
};

}  // namespace tessarine
