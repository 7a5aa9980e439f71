#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/urlcache/Container.h"

namespace tessarine::urlcache {

// Which caches the URL cache serves. Until told otherwise: the folders in
// $TESSARINE_CACHE (":"-separated), or else the caches found in the usual
// places of the current user (see discoverCacheFolders).
void setCacheFolders(const std::vector<std::string>& folders);

// Goes back to the default: $TESSARINE_CACHE or discovery.
void useDefaultCacheFolders();

// Grows by one at every setCacheFolders or useDefaultCacheFolders, so a
// snapshot can tell it was made for other folders.
unsigned configGeneration();

// The folders the URL cache serves now, in enumeration order.
std::vector<std::string> cacheFolders();

// Opens `folder` as whichever container its content shows; nullptr when it
// is no cache we read, or cannot be read.
std::unique_ptr<Container> openContainer(const std::string& folder);

// The cache folders of the user whose home is `home`, in the order WinINet
// would list them (cookie containers first): IE containers in the Wine
// prefix `winePrefix` (empty: home/.wine), then Chromium-family and
// Firefox caches. Only folders that exist are returned.
std::vector<std::string> discoverCacheFolders(const std::string& home,
                                              const std::string& winePrefix);

}  // namespace tessarine::urlcache
