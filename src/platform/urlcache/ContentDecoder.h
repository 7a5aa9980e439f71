#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/urlcache/BodyStream.h"

namespace tessarine::urlcache {

// The most bytes a decoded body may grow to before it is taken for a
// decompression bomb and refused.
constexpr std::uint64_t kMaxDecodedBody = 8ULL << 30;

// Whether `contentEncoding` (a Content-Encoding value, possibly a list like
// "gzip, br") names only codings we can undo: identity, gzip, x-gzip,
// deflate, br, zstd.
bool canDecode(std::string_view contentEncoding);

// Wraps `raw` so that reads yield the body with `contentEncoding` undone
// (codings applied in list order are undone in reverse). An empty or
// "identity" coding returns `raw` itself. Corrupt data, a truncated stream
// or output beyond `maxOutput` make read() fail; nullptr when the coding is
// not one canDecode() accepts.
std::unique_ptr<BodyStream> makeDecodingStream(
    std::unique_ptr<BodyStream> raw, std::string_view contentEncoding,
    std::uint64_t maxOutput = kMaxDecodedBody);

}  // namespace tessarine::urlcache
