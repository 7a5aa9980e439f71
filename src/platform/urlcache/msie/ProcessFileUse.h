#pragma once

#include <string>

#include <sys/types.h>

namespace tessarine::urlcache::msie {

// Whether a file is in use by another process, as /proc shows it.
class ProcessFileUse {
 public:
  // True when any process other than this one holds the file with device
  // `dev` and inode `ino` open (/proc/PID/fd) or mapped (/proc/PID/maps;
  // there a mapping whose path is `canonicalPath` also counts, since
  // stacked file systems may show another device number). Processes whose
  // /proc entries this user may not read are not seen.
  static bool usedByOtherProcess(dev_t dev, ino_t ino,
                                 const std::string& canonicalPath);
};

}  // namespace tessarine::urlcache::msie
