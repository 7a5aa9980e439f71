#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/urlcache/HttpHeaders.h"

namespace tessarine::urlcache {

// What a Chromium cache entry's stream 0 (the pickled HttpResponseInfo)
// says about the response: its head, when it was fetched, and whether the
// stored body is incomplete. Fields after the header block are not read.
struct ChromiumResponseInfo {
  std::uint32_t flags = 0;
  std::uint32_t extraFlags = 0;
  std::int64_t requestTime = 0;   // microseconds since 1601-01-01 UTC
  std::int64_t responseTime = 0;  // microseconds since 1601-01-01 UTC
  bool truncated = false;         // the download stopped early
  HttpHeaders headers;

  // Reads stream 0 (its u32 payload size first, as stored). nullopt when
  // the payload size disagrees with the stream, the version is not the one
  // we know, or a field runs past the payload.
  static std::optional<ChromiumResponseInfo> parse(std::string_view stream0);
};

}  // namespace tessarine::urlcache
