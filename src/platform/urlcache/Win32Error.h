#pragma once

#include <cerrno>
#include <cstdint>

#include "platform/urlcache/Container.h"

namespace tessarine::urlcache {

// The Win32 code the URL cache reports for a failed system call's errno.
inline std::uint32_t win32FromErrno(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR: return kErrorFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kErrorAccessDenied;
    case EBUSY:
    case EWOULDBLOCK: return kErrorSharingViolation;
    default: return kErrorInvalidData;
  }
}

}  // namespace tessarine::urlcache
