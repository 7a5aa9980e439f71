#include "shell/CollapsibleGroup.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace tessarine {
namespace {

const QColor kFrame(0x7F, 0x9D, 0xB9);
const QColor kCaptionLight(0xFF, 0xFF, 0xFF);
const QColor kCaptionDark(0xC6, 0xD3, 0xEC);
const QColor kCaptionText(0x1C, 0x3F, 0x7A);
const QColor kBody(0xF4, 0xF6, 0xFA);

}  // namespace

CollapsibleGroup::CollapsibleGroup(const QString& caption, int openHeight,
                                   QWidget* parent)
    : QWidget(parent),
      caption_(caption),
      openHeight_(openHeight),
      layout_(new QVBoxLayout(this)) {
  layout_->setContentsMargins(1, kCaptionHeight, 2, 0);
  layout_->setSpacing(0);
  setFixedHeight(openHeight_);
  setMouseTracking(true);
  setAccessibleName(caption_);
}

void CollapsibleGroup::setBody(QWidget* body) {
  body_ = body;
  layout_->addWidget(body_);
  body_->setVisible(open_);
}

void CollapsibleGroup::setOpen(bool open) {
  if (open == open_) return;
  open_ = open;
  if (body_) body_->setVisible(open_);
  setFixedHeight(open_ ? openHeight_ : kCaptionHeight);
  update();
  emit openChanged(open_);
}

QRect CollapsibleGroup::captionRect() const {
  return QRect(0, 0, width(), kCaptionHeight);
}

void CollapsibleGroup::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect caption = captionRect();

  painter.fillRect(rect(), kBody);
  QLinearGradient shade(caption.topLeft(), caption.topRight());
  shade.setColorAt(0, kCaptionLight);
  shade.setColorAt(1, kCaptionDark);
  painter.fillRect(caption, shade);

  QFont bold = font();
  bold.setBold(true);
  painter.setFont(bold);
  painter.setPen(kCaptionText);
  const QRect textRect = caption.adjusted(6, 0, -24, 0);
  painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                   painter.fontMetrics().elidedText(caption_, Qt::ElideRight,
                                                    textRect.width()));

  // The fold button: a small round knob with a chevron pointing where a
  // click takes the group.
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF knob(caption.right() - 19.5, caption.center().y() - 7.5, 15, 15);
  painter.setPen(QPen(kFrame, 1));
  painter.setBrush(Qt::white);
  painter.drawEllipse(knob);
  QPainterPath chevron;
  const QPointF c = knob.center();
  const qreal s = open_ ? 1 : -1;  // points up when open, down when folded
  chevron.moveTo(c.x() - 3.5, c.y() + 1.5 * s);
  chevron.lineTo(c.x(), c.y() - 2 * s);
  chevron.lineTo(c.x() + 3.5, c.y() + 1.5 * s);
  painter.setPen(QPen(kCaptionText, 1.6, Qt::SolidLine, Qt::RoundCap,
                      Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(chevron);
  painter.setRenderHint(QPainter::Antialiasing, false);

  painter.setPen(kFrame);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  if (open_)
    painter.drawLine(0, kCaptionHeight - 1, width() - 1, kCaptionHeight - 1);
}

void CollapsibleGroup::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton &&
      captionRect().contains(event->position().toPoint())) {
    setOpen(!open_);
    event->accept();
    return;
  }
  QWidget::mousePressEvent(event);
}

void CollapsibleGroup::mouseMoveEvent(QMouseEvent* event) {
  setCursor(captionRect().contains(event->position().toPoint())
                ? Qt::PointingHandCursor
                : Qt::ArrowCursor);
  QWidget::mouseMoveEvent(event);
}

}  // namespace tessarine
