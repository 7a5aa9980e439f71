#pragma once

#include <QWidget>

class QVBoxLayout;

namespace tessarine {

// A group of the left pane's group bar: a shaded caption bar over a body
// that one click on the caption folds away and a second click brings back.
// Open, the group is exactly its open height tall (caption included);
// closed, only the caption shows.
class CollapsibleGroup : public QWidget {
  Q_OBJECT
 public:
  // Height of the caption bar in pixels.
  static constexpr int kCaptionHeight = 21;

  // An open group with `caption`, `openHeight` pixels tall, no body yet.
  CollapsibleGroup(const QString& caption, int openHeight,
                   QWidget* parent = nullptr);

  // Puts `body` (re-parented to the group) in the group's body area.
  void setBody(QWidget* body);

  QString caption() const { return caption_; }
  int openHeight() const { return openHeight_; }
  bool isOpen() const { return open_; }

  // Opens or folds the group; emits openChanged when the state changes.
  void setOpen(bool open);

 signals:
  // The group was opened (true) or folded (false).
  void openChanged(bool open);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QRect captionRect() const;

  QString caption_;
  int openHeight_;
  bool open_ = true;
  QWidget* body_ = nullptr;
  QVBoxLayout* layout_;
};

}  // namespace tessarine
