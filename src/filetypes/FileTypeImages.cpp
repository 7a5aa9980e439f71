#include "filetypes/FileTypeImages.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <array>

namespace tessarine {

namespace {

void drawFolder(QPainter& p) {
  p.setPen(QColor(150, 110, 20));
  p.setBrush(QColor(240, 200, 80));
  p.drawRect(QRectF(0.5, 3.5, 6, 2));   // tab
  p.drawRect(QRectF(0.5, 4.5, 14, 10));
}

QImage drawImage(int index) {
  QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  switch (index) {
    case 0: {  // folder with a globe
      drawFolder(p);
      p.setPen(QColor(20, 70, 150));
      p.setBrush(QColor(90, 160, 230));
      p.drawEllipse(QRectF(6.5, 6.5, 9, 9));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(9, 6.5, 4, 9));
      p.drawLine(QPointF(6.5, 11), QPointF(15.5, 11));
      break;
    }
    case 1: {  // audio: a note
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(120, 40, 150));
      p.drawEllipse(QRectF(1.5, 10.5, 5, 4));
      p.drawEllipse(QRectF(9.5, 8.5, 5, 4));
      p.drawRect(QRectF(5.5, 2, 1.5, 10.5));
      p.drawRect(QRectF(13.5, 1, 1.5, 9.5));
      p.drawPolygon(QPolygonF({QPointF(5.5, 2), QPointF(15, 0.5), QPointF(15, 3),
                               QPointF(5.5, 4.5)}));
      break;
    }
    case 2: {  // video: a play button in a circle
      p.setPen(QColor(20, 100, 30));
      p.setBrush(QColor(70, 180, 80));
      p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawPolygon(QPolygonF({QPointF(6, 4), QPointF(12, 8), QPointF(6, 12)}));
      break;
    }
    case 3: {  // folder with a picture
      drawFolder(p);
      p.setPen(QColor(60, 60, 60));
      p.setBrush(QColor(170, 220, 250));
      p.drawRect(QRectF(5.5, 6.5, 10, 8));
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(60, 150, 60));
      p.drawPolygon(QPolygonF({QPointF(6, 14), QPointF(9.5, 9), QPointF(12, 12),
                               QPointF(13.5, 10.5), QPointF(15, 14)}));
      p.setBrush(QColor(250, 200, 40));
      p.drawEllipse(QRectF(12, 7.5, 2, 2));
      break;
    }
    case 4: {  // a page with a folded corner
      p.setPen(QColor(90, 90, 90));
      p.setBrush(Qt::white);
      p.drawPolygon(QPolygonF({QPointF(2.5, 0.5), QPointF(10, 0.5), QPointF(13.5, 4),
                               QPointF(13.5, 15.5), QPointF(2.5, 15.5)}));
      p.drawPolyline(QPolygonF({QPointF(10, 0.5), QPointF(10, 4), QPointF(13.5, 4)}));
      p.setPen(QColor(120, 140, 200));
      for (double y = 7; y <= 13; y += 2) p.drawLine(QPointF(4.5, y), QPointF(11.5, y));
      break;
    }
    case 5: {  // a light bulb
      p.setPen(QColor(160, 120, 0));
      p.setBrush(QColor(255, 230, 70));
      p.drawEllipse(QRectF(3, 0.5, 10, 10));
      p.setPen(Qt::NoPen);
      p.drawRect(QRectF(5.5, 8, 5, 3));
      p.setPen(QColor(90, 90, 90));
      p.setBrush(QColor(170, 170, 170));
      p.drawRect(QRectF(5.5, 11.5, 5, 3));
      p.drawLine(QPointF(5.5, 13), QPointF(10.5, 13));
      break;
    }
    default:
      break;
  }
  return img;
}

}  // namespace

QImage FileTypeImages::image(int index) {
  if (index < 0 || index >= count) return {};
  // QImage rather than QPixmap: safe to keep in a static past the app.
  static const std::array<QImage, count> images = [] {
    std::array<QImage, count> all;
    for (int i = 0; i < count; ++i) all[i] = drawImage(i);
    return all;
  }();
  return images[index];
}

}  // namespace tessarine
