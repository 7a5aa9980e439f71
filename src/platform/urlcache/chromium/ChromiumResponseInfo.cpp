#include "platform/urlcache/chromium/ChromiumResponseInfo.h"

#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/chromium/ChromiumSimpleFormat.h"

namespace tessarine::urlcache {

using namespace chromium_simple;

std::optional<ChromiumResponseInfo> ChromiumResponseInfo::parse(
    std::string_view stream0) {
  const ByteReader r(stream0);
  const auto payloadSize = r.u32(0);
  if (!payloadSize || *payloadSize != stream0.size() - kPickleHeaderSize)
    return std::nullopt;

  ChromiumResponseInfo info;
  std::uint64_t pos = kPickleHeaderSize;
  const auto flags = r.u32(pos);
  if (!flags || (*flags & kResponseInfoVersionMask) != kResponseInfoVersion)
    return std::nullopt;
  info.flags = *flags;
  pos += 4;
  if (info.flags & kResponseFlagHasExtraFlags) {
    const auto extra = r.u32(pos);
    if (!extra) return std::nullopt;
    info.extraFlags = *extra;
    pos += 4;
  }
  const auto requestTime = r.u64(pos);
  const auto responseTime = r.u64(pos + 8);
  if (!requestTime || !responseTime) return std::nullopt;
  info.requestTime = static_cast<std::int64_t>(*requestTime);
  info.responseTime = static_cast<std::int64_t>(*responseTime);
  pos += 16;
  if (info.extraFlags & kResponseExtraFlagOriginalTime) {
    if (!r.has(pos, 8)) return std::nullopt;
    pos += 8;
  }
  const auto headerLength = r.u32(pos);
  if (!headerLength || *headerLength > 0x7fffffffu) return std::nullopt;
  const auto headerText = r.bytes(pos + 4, *headerLength);
  if (!headerText) return std::nullopt;
  info.headers = HttpHeaders::parse(*headerText);
  info.truncated = (info.flags & kResponseFlagTruncated) != 0;
  return info;
}

}  // namespace tessarine::urlcache
