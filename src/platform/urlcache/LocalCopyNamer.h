#pragma once

#include <map>
#include <string>
#include <string_view>

namespace tessarine::urlcache {

// Names the local copies of entries whose bodies live inside a browser's
// own files, the way IE names its copies: "logo[1].gif", "logo[2].gif"...
// One namer serves one enumeration, so names are unique within it.
class LocalCopyNamer {
 public:
  // The name for the entry of `url`: the last path segment (percent-decoded
  // as UTF-8, query and fragment dropped, "index" when empty), made safe for
  // a file name and cut to a safe length, the counter "[N]" before the
  // extension. The extension is the URL's own when it is one of the
  // suffixes of `contentType`, else the preferred suffix of `contentType`,
  // else what `sniff` (the first bytes of the decoded body, may be empty)
  // shows; no extension when none of them tells.
  std::string name(std::string_view url, std::string_view contentType,
                   std::string_view sniff);

 private:
  std::map<std::string, int> used_;  // "base.ext" -> last counter given
};

}  // namespace tessarine::urlcache
