#include "platform/urlcache/msie/ProcessFileUse.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tessarine::urlcache::msie {
namespace {

bool isNumber(const char* s) {
  if (!*s) return false;
  for (; *s; ++s)
    if (*s < '0' || *s > '9') return false;
  return true;
}

bool hasOpen(const std::string& pidDir, dev_t dev, ino_t ino) {
  const std::string fdDir = pidDir + "/fd";
  DIR* d = ::opendir(fdDir.c_str());
  if (!d) return false;
  bool found = false;
  while (!found) {
    const dirent* e = ::readdir(d);
    if (!e) break;
    if (!isNumber(e->d_name)) continue;
    struct stat st {};
    // stat follows the fd's link to the open file itself.
    if (::stat((fdDir + "/" + e->d_name).c_str(), &st) == 0)
      found = st.st_dev == dev && st.st_ino == ino;
  }
  ::closedir(d);
  return found;
}

bool hasMapped(const std::string& pidDir, dev_t dev, ino_t ino,
               const std::string& path) {
  FILE* f = std::fopen((pidDir + "/maps").c_str(), "re");
  if (!f) return false;
  bool found = false;
  char line[4096];
  while (!found && std::fgets(line, sizeof line, f)) {
    // address perms offset major:minor inode path
    unsigned int major = 0, minor = 0;
    unsigned long long inode = 0;
    int pathAt = 0;
    if (std::sscanf(line, "%*s %*s %*s %x:%x %llu %n", &major, &minor, &inode,
                    &pathAt) < 3)
      continue;
    if (inode == 0) continue;  // anonymous mapping
    found = inode == static_cast<unsigned long long>(ino) &&
            ::makedev(major, minor) == dev;
    if (!found && pathAt > 0 && !path.empty()) {
      std::string mapped(line + pathAt);
      while (!mapped.empty() && (mapped.back() == '\n' || mapped.back() == ' '))
        mapped.pop_back();
      found = mapped == path;
    }
  }
  std::fclose(f);
  return found;
}

}  // namespace

bool ProcessFileUse::usedByOtherProcess(dev_t dev, ino_t ino,
                                        const std::string& canonicalPath) {
  DIR* proc = ::opendir("/proc");
  if (!proc) return false;
  const std::string self = std::to_string(::getpid());
  bool found = false;
  while (!found) {
    const dirent* e = ::readdir(proc);
    if (!e) break;
    if (!isNumber(e->d_name) || self == e->d_name) continue;
    const std::string pidDir = std::string("/proc/") + e->d_name;
    found = hasOpen(pidDir, dev, ino) || hasMapped(pidDir, dev, ino, canonicalPath);
  }
  ::closedir(proc);
  return found;
}

}  // namespace tessarine::urlcache::msie
