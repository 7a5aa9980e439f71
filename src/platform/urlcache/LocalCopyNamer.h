#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

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

  // Whether `contentType` alone gives no extension (absent, the generic
  // application/octet-stream, unknown, or a type without a suffix), so the
  // name wants the first bytes of the body.
  bool needsSniff(std::string_view contentType);

 private:
  // The extension the media type gives a URL extension, as name() picks it
  // without sniffing; looked up once per pair, since MIME look-ups cost
  // more than the rest of a name.
  const std::string& typeExtension(const std::string& media,
                                   const std::string& urlExt);

  std::unordered_map<std::string, int> used_;  // "base.ext" -> last counter given
  std::unordered_map<std::string, std::string> typeExtensions_;  // media "\n" urlExt -> ext
};

}  // namespace tessarine::urlcache
