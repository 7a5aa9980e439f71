#include "GeneratedCacheCheck.h"

#include <cstdio>
#include <vector>

#include <zlib.h>

#include "RecoveryVsCp.h"
#include "platform/urlcache/Container.h"

namespace tessarine::bench {

bool GeneratedCacheCheck::verify(urlcache::Container& container,
                                 const std::map<std::string, ExpectedBody>& expected,
                                 std::size_t entryFiles, int* graphics) {
  const auto entries = container.enumerate();
  if (entries.size() != entryFiles) {
    std::fprintf(stderr, "%zu entries enumerated, %zu written\n", entries.size(), entryFiles);
    return false;
  }
  const QStringList graphicExts = RecoveryVsCp::graphicsExtensions();
  std::vector<char> buffer(1 << 20);
  *graphics = 0;
  for (const auto& e : entries) {
    const auto it = expected.find(e.url);
    if (it == expected.end() || e.localPath.empty()) {
      std::fprintf(stderr, "unexpected or copy-less entry %s\n", e.url.c_str());
      return false;
    }
    const bool graphic =
        graphicExts.contains("." + QString::fromStdString(e.fileExtension), Qt::CaseInsensitive);
    if (graphic != it->second.graphic) {
      std::fprintf(stderr, "%s named %s\n", e.url.c_str(), e.localPath.c_str());
      return false;
    }
    *graphics += graphic;
    std::uint32_t error = 0;
    auto body = container.openBody(e, &error);
    uLong crc = crc32_z(0L, nullptr, 0);
    std::uint64_t size = 0;
    for (std::int64_t got; body && (got = body->read(buffer.data(), buffer.size())) != 0;) {
      if (got < 0) {
        body.reset();
        break;
      }
      crc = crc32_z(crc, reinterpret_cast<const Bytef*>(buffer.data()),
                    static_cast<std::size_t>(got));
      size += static_cast<std::uint64_t>(got);
    }
    if (!body || crc != it->second.crc || size != it->second.size) {
      std::fprintf(stderr, "body of %s does not read back (error %u)\n", e.url.c_str(), error);
      return false;
    }
  }
  return true;
}

}  // namespace tessarine::bench
