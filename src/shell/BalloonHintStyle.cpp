#include "shell/BalloonHintStyle.h"

namespace tessarine {

BalloonHintStyle::BalloonHintStyle() : QProxyStyle(QStringLiteral("Fusion")) {}

int BalloonHintStyle::styleHint(StyleHint hint, const QStyleOption* option,
                                const QWidget* widget,
                                QStyleHintReturn* returnData) const {
  if (hint == SH_ToolTip_WakeUpDelay) return kHintDelayMs;
  return QProxyStyle::styleHint(hint, option, widget, returnData);
}

}  // namespace tessarine
