#pragma once

#include <cstdint>

#include <sys/stat.h>
#include <time.h>

namespace tessarine::urlcache {

// What tells one version of a file from another without reading it:
// device, inode, size and both times to the nanosecond. Facts parsed from
// a file may stand for it while its identity stays the same.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t mtimeSec = 0;
  std::int64_t mtimeNsec = 0;
  std::int64_t ctimeSec = 0;
  std::int64_t ctimeNsec = 0;

  static FileIdentity of(const struct stat& st) {
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino),
                        static_cast<std::int64_t>(st.st_size),
                        static_cast<std::int64_t>(st.st_mtim.tv_sec),
                        static_cast<std::int64_t>(st.st_mtim.tv_nsec),
                        static_cast<std::int64_t>(st.st_ctim.tv_sec),
                        static_cast<std::int64_t>(st.st_ctim.tv_nsec)};
  }

  bool operator==(const FileIdentity&) const = default;

  // Whether any later change to the file is sure to change this identity:
  // its status-change time lies over a second before `before` (a clock
  // reading taken before the file was looked at), so a rewrite in place
  // cannot land on the same timestamp tick.
  bool settledBefore(const timespec& before) const {
    const std::int64_t sec = static_cast<std::int64_t>(before.tv_sec) - 1;
    return ctimeSec < sec ||
           (ctimeSec == sec && ctimeNsec < static_cast<std::int64_t>(before.tv_nsec));
  }

  // The clock files are stamped with, read now.
  static timespec clockNow() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
  }
};

}  // namespace tessarine::urlcache
