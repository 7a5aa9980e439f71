#include "filetypes/FileTypeItemDelegate.h"

#include <QPainter>

#include "filetypes/FileTypeImages.h"
#include "filetypes/FileTypeNode.h"

namespace tessarine {

namespace {

constexpr int kBoxSize = 13;
constexpr int kImageLeft = 17;  // from the cell's left edge
constexpr int kTextLeft = 35;
constexpr int kTextPad = 2;

void drawCheckBox(QPainter* p, const QRect& box, int state, const QPalette& pal) {
  const QRectF r = QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5);
  p->setPen(pal.color(QPalette::Dark));
  p->setBrush(state == FileTypeNode::csPartiallyChecked ? pal.color(QPalette::Button)
                                                        : pal.color(QPalette::Base));
  p->drawRect(r);
  if (state == FileTypeNode::csUnchecked) return;
  // A tick; grey when partially checked.
  QPen pen(state == FileTypeNode::csChecked ? pal.color(QPalette::Text)
                                            : pal.color(QPalette::Mid),
           2);
  p->setPen(pen);
  p->setRenderHint(QPainter::Antialiasing);
  const QPointF o = r.topLeft();
  p->drawPolyline(QPolygonF({o + QPointF(3, 6), o + QPointF(5.5, 9), o + QPointF(9.5, 3)}));
  p->setRenderHint(QPainter::Antialiasing, false);
}

}  // namespace

FileTypeItemDelegate::FileTypeItemDelegate(QObject* parent)
    : QStyledItemDelegate(parent) {}

QRect FileTypeItemDelegate::checkBoxRect(const QRect& cell) {
  return QRect(cell.left() + 2, cell.top() + (cell.height() - kBoxSize) / 2,
               kBoxSize, kBoxSize);
}

bool FileTypeItemDelegate::hasCheckBox(int state) {
  return state == FileTypeNode::csUnchecked || state == FileTypeNode::csChecked ||
         state == FileTypeNode::csPartiallyChecked;
}

void FileTypeItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  painter->save();
  const QRect cell = option.rect;
  const int state = index.data(StateRole).toInt();
  if (hasCheckBox(state)) drawCheckBox(painter, checkBoxRect(cell), state, option.palette);

  const bool selected = option.state & QStyle::State_Selected;
  const QImage image = FileTypeImages::image(
      index.data(selected ? SelectedImageRole : ImageRole).toInt());
  if (!image.isNull())
    painter->drawImage(QPoint(cell.left() + kImageLeft,
                              cell.top() + (cell.height() - image.height()) / 2),
                       image);

  const QString text = index.data(Qt::DisplayRole).toString();
  const QRect textRect(cell.left() + kTextLeft, cell.top(),
                       option.fontMetrics.horizontalAdvance(text) + 2 * kTextPad,
                       cell.height());
  if (selected) {
    const QPalette::ColorGroup group =
        option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    painter->fillRect(textRect, option.palette.brush(group, QPalette::Highlight));
    // The selection pen: the button-shadow colour.
    painter->setPen(option.palette.color(QPalette::Dark));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(textRect.adjusted(0, 0, -1, -1));
    painter->setPen(option.palette.color(group, QPalette::HighlightedText));
  } else {
    painter->setPen(option.palette.color(QPalette::Text));
  }
  painter->setFont(option.font);
  painter->drawText(textRect.adjusted(kTextPad, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                    text);
  painter->restore();
}

QSize FileTypeItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
  const QString text = index.data(Qt::DisplayRole).toString();
  return QSize(kTextLeft + option.fontMetrics.horizontalAdvance(text) + 2 * kTextPad + 2,
               qMax(18, option.fontMetrics.height() + 2));
}

}  // namespace tessarine
