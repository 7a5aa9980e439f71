#include "files/ImagePreview.h"

#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QTreeWidgetItem>

#include "files/PreviewFit.h"
#include "platform/Error.h"
#include "shell/Settings.h"

namespace tessarine {
namespace {

constexpr int kNameColumn = 0;
constexpr int kTypeColumn = 1;

// The image fitted into the preview, with its bounds; a null image and the
// reader's reason when the file cannot be decoded.
struct Fitted {
  QImage image;
  QRect bounds;
  QString reason;
};

// The file decoded and fitted. Qt's reader takes the format its extension
// names and falls back to the content when the extension lies ("a.gif"
// holding PNG). The picture is decoded straight to the fitted size when the
// reader knows the natural size beforehand.
Fitted decode(const QString& path) {
  QImageReader reader(path);
  Fitted result;
  const QSize natural = reader.size();
  if (!natural.isEmpty()) {
    result.bounds = previewFit(natural.width(), natural.height());
    if (!result.bounds.isEmpty()) reader.setScaledSize(result.bounds.size());
  }
  result.image = reader.read();
  if (result.image.isNull()) {
    result.reason = reader.errorString();
    return result;
  }
  if (natural.isEmpty()) {
    result.bounds = previewFit(result.image.width(), result.image.height());
    if (!result.bounds.isEmpty())
      result.image = result.image.scaled(result.bounds.size(), Qt::IgnoreAspectRatio,
                                         Qt::SmoothTransformation);
  }
  return result;
}

}  // namespace

bool ImagePreview::previewsType(const QString& type) {
  static const QStringList kTypes = {".bmp", ".jpg", ".jpeg", ".gif", ".ico",
                                     ".png", ".webp", ".svg"};
  return kTypes.contains(type, Qt::CaseInsensitive);
}

void ImagePreview::rowSelectionChanged(const QTreeWidgetItem& row, bool selected) {
  if (!selected) return;  // the next selected row has an event of its own
  if (!previewsType(row.text(kTypeColumn))) {
    clear();
    return;
  }
  showFile(settings::outputFolder() + u'/' + row.text(kNameColumn));
}

void ImagePreview::showFile(const QString& path) {
  const Fitted fitted = decode(path);
  if (fitted.image.isNull()) {
    clear();
    throw Error(QStringLiteral("Cannot show the preview of %1: %2")
                    .arg(path, fitted.reason)
                    .toStdString());
  }
  image_.setGeometry(fitted.bounds);
  image_.setScaledContents(true);
  if (fitted.bounds.isEmpty())
    image_.clear();  // narrower or lower than one pixel: nothing to draw
  else
    image_.setPixmap(QPixmap::fromImage(fitted.image));
}

void ImagePreview::clear() { image_.clear(); }

}  // namespace tessarine
