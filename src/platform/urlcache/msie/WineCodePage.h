#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessarine::urlcache::msie {

// The ANSI code page of the Wine prefix a container folder lies in, as the
// prefix's registry (system.reg) names it.
class WineCodePage {
 public:
  // The iconv name ("CP1252") of the code page of the nearest parent
  // folder of `folder` that is a Wine prefix (holds `drive_c` and
  // `system.reg`); nullopt when there is none, or its registry names no
  // code page iconv knows.
  static std::optional<std::string> forFolder(const std::string& folder);

  // The "ACP" value of the key System\CurrentControlSet\Control\Nls\CodePage
  // in the text of a system.reg, as an iconv name; nullopt when absent or
  // not a number.
  static std::optional<std::string> fromSystemReg(std::string_view text);
};

}  // namespace tessarine::urlcache::msie
