#include "platform/urlcache/chromium/ChromiumBlockfileAddress.h"

#include <cstdio>

#include "platform/urlcache/chromium/ChromiumBlockfileFormat.h"

namespace tessarine::urlcache {

using namespace chromium_blockfile;

std::optional<ChromiumBlockfileAddress> ChromiumBlockfileAddress::decode(
    std::uint32_t raw) {
  if (!(raw & kAddressInitialized)) return std::nullopt;
  ChromiumBlockfileAddress a;
  a.raw_ = raw;
  a.type_ = (raw >> kAddressTypeShift) & kAddressTypeMask;
  if (a.type_ > kLastBlockType) return std::nullopt;
  if (a.type_ == kTypeExternal) {
    a.fileNumber_ = raw & kAddressExternalNumberMask;
    return a;
  }
  // Bits 26-27 are unused by block addresses; set, they are not ours.
  if (raw & (0x3u << 26)) return std::nullopt;
  a.fileNumber_ = (raw >> kAddressFileNumberShift) & kAddressFileNumberMask;
  a.startBlock_ = raw & kAddressStartBlockMask;
  a.blockCount_ = ((raw >> kAddressBlockCountShift) & kAddressBlockCountMask) + 1;
  return a;
}

std::uint32_t ChromiumBlockfileAddress::blockSize() const {
  return kBlockSizeOfType[type_];
}

std::uint64_t ChromiumBlockfileAddress::capacity() const {
  return std::uint64_t{blockCount_} * blockSize();
}

std::uint64_t ChromiumBlockfileAddress::fileOffset() const {
  if (isExternal()) return 0;
  return kBlockFileHeaderSize + std::uint64_t{startBlock_} * blockSize();
}

std::string ChromiumBlockfileAddress::fileName() const {
  char name[32];
  if (isExternal())
    std::snprintf(name, sizeof name, "%s%0*x", kExternalFilePrefix,
                  kExternalFileDigits, fileNumber_);
  else
    std::snprintf(name, sizeof name, "%s%u", kBlockFilePrefix, fileNumber_);
  return name;
}

}  // namespace tessarine::urlcache
