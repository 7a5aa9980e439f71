// libFuzzer target: an index.dat, opened as an IE cache container beside the
// cache subfolders of the test fixture, enumerated and its bodies read.
#include <filesystem>
#include <fstream>
#include <memory>

#include "FuzzScratch.h"
#include "platform/urlcache/msie/MsieContainer.h"

namespace fs = std::filesystem;
using namespace tessarine::urlcache;

namespace {

// Mirrors the fixture's local copies (cut short: only their names matter)
// so records that name them reach retrieve() and openBody().
void mirrorLocalCopies(const std::string& folder) {
  for (const char* from : {TESSARINE_FUZZ_DATA "/msie/main/INetCache/Content.IE5",
                           TESSARINE_FUZZ_DATA "/msie/main/INetCookies"}) {
    std::error_code ec;
    for (const auto& item : fs::recursive_directory_iterator(from, ec)) {
      const fs::path rel = fs::relative(item.path(), from);
      const fs::path to = fs::path(folder) / rel;
      if (item.is_directory()) {
        fs::create_directories(to);
      } else if (item.is_regular_file() && rel.filename() != "index.dat") {
        std::ifstream in(item.path(), std::ios::binary);
        std::string head(256, '\0');
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<std::size_t>(in.gcount()));
        tessarine::fuzz::writeWhole(to.string(), head);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string folder = [] {
    const std::string f = tessarine::fuzz::scratchFolder() + "/Content.IE5";
    fs::create_directories(f);
    mirrorLocalCopies(f);
    return f;
  }();
  tessarine::fuzz::writeWhole(folder + "/index.dat", data, size);

  auto container = MsieContainer::open(folder);
  if (!container) return 0;
  char buf[4096];
  for (const ContainerEntry& entry : container->enumerate()) {
    std::uint32_t error = 0;
    if (entry.localPath.empty() || !container->retrieve(entry, &error)) continue;
    auto body = container->openBody(entry, &error);
    if (!body) continue;
    while (body->read(buf, sizeof buf) > 0) {
    }
  }
  return 0;
}
