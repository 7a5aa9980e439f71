// Peak resident memory of a recovery run that copies one 2 GiB file, from
// a generated IE cache and from a generated Chromium simple cache (there
// through the CRC check and the decoding stream). Each run is a child
// process measured by wait4, so the generator's memory does not count.
// Not a test: figures are printed only.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>

#include "BenchClock.h"
#include "ChromiumSimpleGenerator.h"
#include "MsieIndexGenerator.h"
#include "platform/urlcache/UrlCacheConfig.h"
#include "recovery/RecoverCacheFiles.h"

extern char** environ;

namespace {

using tessarine::bench::BenchClock;
namespace fs = std::filesystem;

constexpr std::uint64_t kFileSize = 2ull << 30;
constexpr std::size_t kChunk = 1 << 20;
// Megabytes of 10^6 bytes: the stricter reading of "64 MB".
constexpr double kLimitMB = 64;

struct Folder : tessarine::RecoveryListener {
  QString path;
  QString outputFolder() override { return path; }
};

// Random-ish bytes: one random megabyte, each copy stamped with its number.
class Filler {
 public:
  Filler() : block_(kChunk) {
    std::mt19937_64 random(7);
    for (std::size_t i = 0; i < kChunk; i += 8) {
      const std::uint64_t v = random();
      std::memcpy(block_.data() + i, &v, 8);
    }
  }
  void operator()(char* out, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
      const std::size_t n = std::min(size - done, kChunk - at_);
      std::memcpy(out + done, block_.data() + at_, n);
      if (at_ == 0) std::memcpy(out + done, &count_, std::min<std::size_t>(n, 8));
      done += n;
      at_ += n;
      if (at_ == kChunk) {
        at_ = 0;
        ++count_;
      }
    }
  }

 private:
  std::vector<char> block_;
  std::size_t at_ = 0;
  std::uint64_t count_ = 0;
};

// The child: one recovery run of `cache` into `out` for `ext`; exit 0 when
// it copied `files` files (0 or 1) of the expected size.
int runRecovery(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::string cache = argv[2], out = argv[3];
  const QString ext = QString::fromUtf8(argv[4]);
  const int files = std::atoi(argv[5]);
  tessarine::urlcache::setCacheFolders({cache});
  Folder folder;
  folder.path = QString::fromStdString(out);
  const int copied = tessarine::RecoverCacheFiles(tessarine::systemUrlCache(), {ext}, folder, {});
  std::uint64_t bytes = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(out, ec)) bytes += e.file_size(ec);
  if (copied != files || bytes != kFileSize * static_cast<std::uint64_t>(files)) {
    std::fprintf(stderr, "copied %d files, %llu bytes\n", copied,
                 static_cast<unsigned long long>(bytes));
    return 1;
  }
  return 0;
}

struct ChildResult {
  bool ok = false;
  double peakMB = 0;
  double seconds = 0;
};

// Runs this program as a child with `args` and measures it.
ChildResult measureChild(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::string self = fs::read_symlink("/proc/self/exe").string();
  argv.push_back(self.data());
  std::vector<std::string> copy = args;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  ChildResult r;
  const auto start = BenchClock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return r;
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid) return r;
  r.seconds = BenchClock::secondsSince(start);
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  r.peakMB = double(usage.ru_maxrss) * 1024.0 / 1e6;  // ru_maxrss is in KiB
  return r;
}

bool writeBig(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  Filler fill;
  std::vector<char> chunk(kChunk);
  bool ok = true;
  for (std::uint64_t done = 0; ok && done < kFileSize; done += kChunk) {
    fill(chunk.data(), kChunk);
    ok = std::fwrite(chunk.data(), 1, kChunk, f) == kChunk;
  }
  return std::fclose(f) == 0 && ok;
}

void report(const char* name, const ChildResult& r) {
  std::printf("%s: %.1f MB peak RSS (%s, %.1f s; limit %.0f MB, %.2f of it)\n", name, r.peakMB,
              r.ok ? "copied" : "FAILED", r.seconds, kLimitMB, r.peakMB / kLimitMB);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "--run") == 0) return runRecovery(argc, argv);

  char tmpl[] = "/tmp/bench_memory_XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  const std::string root = tmpl;
  const std::string out = root + "/out";
  int code = 0;

  // IE: one entry whose local file is overwritten with 2 GiB.
  {
    using tessarine::bench::MsieIndexGenerator;
    const std::string cache = root + "/Content.IE5";
    const std::string file =
        cache + "/" + MsieIndexGenerator::directory(0) + "/" + MsieIndexGenerator::fileName(0);
    if (!MsieIndexGenerator::write(cache, {1, true}) || !writeBig(file)) return 1;
    fs::create_directories(out);
    std::system("sync");
    const ChildResult r = measureChild({"--run", cache, out, ".gif", "1"});
    report("peak_rss_ie_2GiB_copy", r);
    code |= r.ok && r.peakMB < kLimitMB ? 0 : 1;
    fs::remove_all(root + "/Content.IE5");
    fs::remove_all(out);
  }

  // Chromium: one 2 GiB video entry, its body streamed out of the `_0` file.
  {
    const std::string cache = root + "/Cache_Data";
    tessarine::bench::ChromiumSimpleGenerator gen(cache);
    Filler fill;
    const bool written =
        !gen.add({"https://media.example.com/films/feature.mp4", "video/mp4", "", true},
                 kFileSize, [&](char* b, std::size_t n) { fill(b, n); })
             .empty() &&
        gen.finish();
    if (!written) return 1;
    fs::create_directories(out);
    std::system("sync");
    const ChildResult r = measureChild({"--run", cache, out, ".mp4", "1"});
    report("peak_rss_chromium_2GiB_copy", r);
    code |= r.ok && r.peakMB < kLimitMB ? 0 : 1;
  }

  // The same child with nothing to copy: what the process costs by itself.
  {
    fs::remove_all(out);
    fs::create_directories(out);
    const ChildResult r = measureChild({"--run", root + "/Cache_Data", out, ".none", "0"});
    std::printf("peak_rss_run_without_copy: %.1f MB peak RSS (%s)\n", r.peakMB,
                r.ok ? "nothing copied" : "FAILED");
  }
  fs::remove_all(root);
  return code;
}
