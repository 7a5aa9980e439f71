#include "shell/SizePanelHandle.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>

namespace tessarine {
namespace {

const QColor kHotSpot(0x66, 0xCC, 0xE0);
const QColor kHotSpotEdge(0x2E, 0x8F, 0xA6);
const QColor kBar(0xE7, 0xE7, 0xE7);

}  // namespace

SizePanelHandle::SizePanelHandle(Qt::Orientation orientation,
                                 QSplitter* parent)
    : QSplitterHandle(orientation, parent) {
  setMouseTracking(true);
}

QRect SizePanelHandle::hotSpot() const {
  const int length = qMin(kHotSpotLength, height());
  return QRect(0, (height() - length) / 2, width(), length);
}

bool SizePanelHandle::paneCollapsed() const {
  const int index = splitter()->indexOf(const_cast<SizePanelHandle*>(this));
  return index > 0 && splitter()->sizes().value(index - 1) == 0;
}

void SizePanelHandle::togglePane() {
  QSplitter* owner = splitter();
  const int index = owner->indexOf(this);
  if (index <= 0) return;
  QList<int> sizes = owner->sizes();
  const int pane = index - 1;
  if (sizes[pane] > 0) {
    restoreWidth_ = sizes[pane];
    sizes[pane + 1] += sizes[pane];
    sizes[pane] = 0;
    // Only a collapsible pane may stand at width 0, and it stays so while
    // the window is resized.
    owner->setCollapsible(pane, true);
    owner->setSizes(sizes);
  } else {
    const int wanted = restoreWidth_ > 0 ? restoreWidth_
                                         : owner->widget(pane)->sizeHint().width();
    const int width = qMin(wanted, sizes[pane + 1]);
    sizes[pane] = width;
    sizes[pane + 1] -= width;
    owner->setSizes(sizes);
    owner->setCollapsible(pane, false);
  }
  update();
}

void SizePanelHandle::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBar);
  painter.setPen(Qt::white);
  painter.drawLine(0, 0, 0, height() - 1);
  painter.setPen(QColor(0xA0, 0xA0, 0xA0));
  painter.drawLine(width() - 1, 0, width() - 1, height() - 1);

  const QRect spot = hotSpot();
  painter.fillRect(spot.adjusted(1, 0, -1, 0), kHotSpot);
  painter.setPen(kHotSpotEdge);
  painter.drawLine(spot.left() + 1, spot.top(), spot.right() - 1, spot.top());
  painter.drawLine(spot.left() + 1, spot.bottom(), spot.right() - 1,
                   spot.bottom());

  // An arrow pointing where a click moves the bar.
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  const qreal cx = width() / 2.0;
  const qreal cy = spot.center().y() + 0.5;
  const qreal s = paneCollapsed() ? 1 : -1;
  painter.drawPolygon(QPolygonF{{cx - 1.5 * s, cy - 3.5},
                                {cx + 2.0 * s, cy},
                                {cx - 1.5 * s, cy + 3.5}});
}

void SizePanelHandle::mousePressEvent(QMouseEvent* event) {
  pressedOnHotSpot_ = event->button() == Qt::LeftButton &&
                      hotSpot().contains(event->position().toPoint());
  if (pressedOnHotSpot_) {
    event->accept();
    return;
  }
  QSplitterHandle::mousePressEvent(event);
}

void SizePanelHandle::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() == Qt::NoButton)
    setCursor(hotSpot().contains(event->position().toPoint())
                  ? Qt::PointingHandCursor
                  : Qt::SplitHCursor);
  if (!pressedOnHotSpot_) QSplitterHandle::mouseMoveEvent(event);
}

void SizePanelHandle::mouseReleaseEvent(QMouseEvent* event) {
  if (pressedOnHotSpot_) {
    pressedOnHotSpot_ = false;
    if (hotSpot().contains(event->position().toPoint())) togglePane();
    event->accept();
    return;
  }
  QSplitterHandle::mouseReleaseEvent(event);
}

}  // namespace tessarine
