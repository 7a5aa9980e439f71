#pragma once

#include <QProxyStyle>

namespace tessarine {

// The application's widget style: Fusion, with hints that wake up after
// half a second, as the balloon hints of the main window do.
class BalloonHintStyle : public QProxyStyle {
  Q_OBJECT
 public:
  // Milliseconds the pointer rests on a control before its hint shows.
  static constexpr int kHintDelayMs = 500;

  // Fusion with the hint delay above.
  BalloonHintStyle();

  int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                const QWidget* widget = nullptr,
                QStyleHintReturn* returnData = nullptr) const override;
};

}  // namespace tessarine
