#include "shell/SizePanelSplitter.h"

#include "shell/SizePanelHandle.h"

namespace tessarine {

SizePanelSplitter::SizePanelSplitter(QWidget* parent)
    : QSplitter(Qt::Horizontal, parent) {
  setOpaqueResize(true);
  setHandleWidth(kBarWidth);
  setChildrenCollapsible(false);
}

QSplitterHandle* SizePanelSplitter::createHandle() {
  return new SizePanelHandle(orientation(), this);
}

}  // namespace tessarine
