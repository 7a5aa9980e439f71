// libFuzzer target: the Chromium blockfile fixture with one of its files
// changed by the input, opened, enumerated and every body read.
// Input: byte 0 picks the file (index, data_0, data_1, data_2) and whether
// the file ends after the patch (bit 7); bytes 1-3 are the patch offset
// (little-endian, wrapped to the file's length); the rest is written there.
// The live structures sit near the starts of the files, so seeds patch
// real records there and the fuzzer varies them.
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "FuzzScratch.h"
#include "platform/urlcache/chromium/ChromiumBlockfileContainer.h"

namespace fs = std::filesystem;
using namespace tessarine::urlcache;

namespace {

constexpr const char* kFiles[] = {"index", "data_0", "data_1", "data_2"};

// The fixture's cache copied once into the scratch folder.
const std::string& cacheFolder() {
  static const std::string folder = [] {
    const std::string f = tessarine::fuzz::scratchFolder() + "/cache";
    fs::create_directories(f);
    fs::copy(TESSARINE_FUZZ_DATA "/chromium-blockfile/cache", f,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    for (const auto& e : fs::directory_iterator(f))
      fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
    return f;
  }();
  return folder;
}

std::string readAll(const std::string& path) {
  std::string out(fs::file_size(path), '\0');
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0 || ::pread(fd, out.data(), out.size(), 0) != static_cast<ssize_t>(out.size()))
    std::abort();
  ::close(fd);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::string& folder = cacheFolder();
  static std::string originals[4];
  const unsigned which = data[0] & 3;
  const bool cut = data[0] & 0x80;
  const std::string path = folder + "/" + kFiles[which];
  if (originals[which].empty()) originals[which] = readAll(path);
  const std::string& original = originals[which];
  const std::size_t offset =
      (data[1] | std::size_t{data[2]} << 8 | std::size_t{data[3]} << 16) %
      original.size();

  std::string changed = original;
  const std::string patch(reinterpret_cast<const char*>(data + 4), size - 4);
  if (cut) changed.resize(offset);
  changed.replace(offset, std::min(patch.size(), changed.size() - std::min(offset, changed.size())), patch);
  tessarine::fuzz::writeWhole(path, changed);

  if (auto c = ChromiumBlockfileContainer::open(folder)) {
    char buf[4096];
    for (const ContainerEntry& e : c->enumerate()) {
      std::uint32_t error = 0;
      c->retrieve(e, &error);
      auto body = c->openBody(e, &error);
      while (body && body->read(buf, sizeof buf) > 0) {
      }
    }
  }
  tessarine::fuzz::writeWhole(path, original);
  return 0;
}
