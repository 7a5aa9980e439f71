#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/urlcache/BodyStream.h"
#include "platform/urlcache/Container.h"
#include "platform/urlcache/HttpHeaders.h"
#include "platform/urlcache/LocalCopyNamer.h"

// What every Chromium backend derives alike from an entry's stored
// response: the listed times and headers, and the local copy's name.
namespace tessarine::urlcache::chromium_details {

// Fills `entry`'s headers, lastSync and lastAccess (the response time),
// lastModified (Last-Modified) and expire (response time + max-age) from
// the response's head and its response time in microseconds since 1601.
void describeResponse(const HttpHeaders& headers,
                      std::int64_t responseTimeMicros, ContainerEntry* entry);

// The cache folder `folder` names: itself when it holds an `index`, else
// its `Cache_Data` (a profile's `Cache` folder holds one); empty when that
// is not a folder either. Trailing slashes do not count.
std::string cacheFolderOf(const std::string& folder);

// A Content-Length value, -1 when absent or not a plain decimal number.
std::int64_t contentLengthOf(std::string_view value);

// The local copy's file name for `url` from `namer`, sniffing the first
// bytes of the decoded body through `openBody` only when the namer needs
// them. Empty when the body cannot be read or the name is not one plain
// file name.
std::string localCopyName(
    LocalCopyNamer& namer, std::string_view url, std::string_view contentType,
    const std::function<std::unique_ptr<BodyStream>()>& openBody);

// The extension of a file name, without the dot; empty when it has none.
std::string extensionOf(const std::string& name);

}  // namespace tessarine::urlcache::chromium_details
