// libFuzzer target: a Chromium stream 0 (pickled response info), the
// response head parser on the same bytes, the cache key reader, and the
// local copy namer fed what the response says.
#include <string_view>

#include "platform/urlcache/HttpHeaders.h"
#include "platform/urlcache/LocalCopyNamer.h"
#include "platform/urlcache/chromium/ChromiumCacheKey.h"
#include "platform/urlcache/chromium/ChromiumResponseInfo.h"

using namespace tessarine::urlcache;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  LocalCopyNamer namer;
  if (const auto info = ChromiumResponseInfo::parse(bytes)) {
    const std::string type = info->headers.value("Content-Type");
    (void)info->headers.value("Content-Encoding");
    (void)info->headers.text();
    namer.name("http://host/dir/file.gif", type, bytes.substr(0, 16));
  }
  const HttpHeaders head = HttpHeaders::parse(bytes);
  (void)head.text();
  const std::string url = chromium_key::urlFromKey(bytes);
  namer.name(url, head.value("content-type"), bytes.substr(bytes.size() / 2));
  namer.name(url, head.value("content-type"), {});
  return 0;
}
