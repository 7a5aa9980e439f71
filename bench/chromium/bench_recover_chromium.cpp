// Times a recovery of the graphics of a generated 20,000-entry Chromium
// simple cache (about 1 GB of images, scripts, styles, JSON and video)
// against `cp` of the graphics entries' `_0` files, in the same run.
// Not a test: figures are printed only.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include <QCoreApplication>

#include "BenchClock.h"
#include "ChromiumSimpleGenerator.h"
#include "GeneratedCacheCheck.h"
#include "RecoveryVsCp.h"
#include "SyntheticBodies.h"
#include "cache/CacheWalk.h"
#include "platform/urlcache/UrlCacheConfig.h"
#include "platform/urlcache/chromium/ChromiumSimpleContainer.h"

namespace {

using tessarine::bench::BenchClock;
using tessarine::bench::ChromiumSimpleGenerator;
using tessarine::bench::ExpectedBody;
using tessarine::bench::GeneratedCacheCheck;
using tessarine::bench::RecoveryVsCp;
using tessarine::bench::SyntheticBodies;

constexpr int kImages = 12000, kScripts = 6000, kStyles = 1000, kJson = 900, kVideos = 100;
constexpr std::size_t KiB = 1024, MiB = 1024 * 1024;

// Writes the cache; the expected body of each URL.
std::map<std::string, ExpectedBody> generate(const std::string& folder) {
  ChromiumSimpleGenerator gen(folder);
  SyntheticBodies bodies(20261211);
  std::map<std::string, ExpectedBody> expected;
  auto put = [&](ChromiumSimpleGenerator::Response r, const std::string& decoded,
                 bool graphic) {
    r.partitioned = !bodies.oneIn(20);  // a few keys from before partitioning
    const std::string stored = r.contentEncoding.empty() ? decoded : SyntheticBodies::gzip(decoded);
    const std::string path = gen.add(r, stored);
    if (path.empty()) {
      std::fprintf(stderr, "cannot write an entry of %s\n", r.url.c_str());
      std::exit(1);
    }
    expected[r.url] = {SyntheticBodies::crcOf(decoded), decoded.size(), graphic, path};
  };
  struct ImageType {
    const char* ext;
    const char* type;
    std::string magic;
  };
  const ImageType images[] = {
      {"jpg", "image/jpeg", std::string("\xff\xd8\xff\xe0\0\x10JFIF\0", 11)},
      {"png", "image/png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)},
      {"webp", "image/webp", std::string("RIFF\0\0\0\0WEBPVP8 ", 16)},
      {"gif", "image/gif", std::string("GIF89a")}};
  for (int i = 0; i < kImages; ++i) {
    const std::size_t pick = bodies.between(0, 19);
    const ImageType& t = images[pick < 9 ? 0 : pick < 14 ? 1 : pick < 18 ? 2 : 3];
    const std::string host = "https://img" + std::to_string(i % 7) + ".example.com";
    std::string url;
    if (i % 10 == 3) {
      url = host + "/thumb.php?id=" + std::to_string(i);  // named by its type
    } else if (i % 50 == 7) {
      url = host + "/site" + std::to_string(i) + "/logo." + t.ext;  // counters
    } else {
      url = host + "/photos/" + std::to_string(i / 100) + "/photo-" + std::to_string(i) +
            "." + t.ext;
    }
    put({url, t.type, ""}, bodies.binary(t.magic, bodies.between(10 * KiB, 60 * KiB)), true);
  }
  for (int i = 0; i < kScripts; ++i) {
    const std::string url =
        "https://static.example.com/js/" + std::to_string(i / 50) + "/app-" + std::to_string(i) + ".js";
    put({url, "application/javascript", i % 3 == 0 ? "gzip" : ""},
        bodies.text(bodies.between(5 * KiB, 60 * KiB)), false);
  }
  for (int i = 0; i < kStyles; ++i)
    put({"https://static.example.com/css/site-" + std::to_string(i) + ".css", "text/css",
         i % 2 ? "gzip" : ""},
        bodies.text(bodies.between(5 * KiB, 30 * KiB)), false);
  for (int i = 0; i < kJson; ++i)
    put({"https://api.example.com/v1/items?page=" + std::to_string(i), "application/json", ""},
        bodies.text(bodies.between(1 * KiB, 10 * KiB)), false);
  for (int i = 0; i < kVideos; ++i) {
    const bool mp4 = i % 2 == 0;
    put({"https://media.example.com/clips/clip-" + std::to_string(i) + (mp4 ? ".mp4" : ".webm"),
         mp4 ? "video/mp4" : "video/webm", ""},
        bodies.binary(mp4 ? std::string("\0\0\0\x20" "ftypisom", 12)
                          : std::string("\x1a\x45\xdf\xa3", 4),
                      bodies.between(2 * MiB, 6 * MiB)),
        false);
  }
  if (!gen.finish()) {
    std::fprintf(stderr, "cannot write the index files\n");
    std::exit(1);
  }
  return expected;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
  char tmpl[] = "/tmp/bench_chromium_XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  const std::string root = tmpl;
  const std::string cache = root + "/Cache_Data";

  auto start = BenchClock::now();
  const auto expected = generate(cache);
  std::system("sync");
  const double generateSeconds = BenchClock::secondsSince(start);

  start = BenchClock::now();
  int graphics = 0;
  auto container = tessarine::urlcache::ChromiumSimpleContainer::open(cache);
  const bool sound = container && GeneratedCacheCheck::verify(*container, expected,
                                                              expected.size(), &graphics);
  container.reset();
  const double verifySeconds = BenchClock::secondsSince(start);

  std::vector<std::string> sources;
  unsigned long long cacheBytes = 0, graphicBytes = 0, graphicFileBytes = 0;
  for (const auto& [url, e] : expected) {
    cacheBytes += e.size;
    if (!e.graphic) continue;
    sources.push_back(e.path);
    graphicBytes += e.size;
    graphicFileBytes += std::filesystem::file_size(e.path);
  }
  int code = sound ? 0 : 1;
  if (sound) {
    const auto r = RecoveryVsCp::measure(
        cache, sources, RecoveryVsCp::graphicsExtensions(), root, rounds,
        [&]() -> std::unique_ptr<tessarine::urlcache::Container> { return tessarine::urlcache::ChromiumSimpleContainer::open(cache); });
    // The count pass alone, for whoever looks for where the time goes.
    tessarine::urlcache::setCacheFolders({cache});
    start = BenchClock::now();
    const int counted = tessarine::CountCacheEntries(tessarine::systemUrlCache(), {});
    const double countSeconds = BenchClock::secondsSince(start);

    std::printf("chromium_generate: %.1f s\n", generateSeconds);
    std::printf("chromium_verify_all_bodies: %.2f s\n", verifySeconds);
    std::printf("chromium_entries: %zu entries\n", expected.size());
    std::printf("chromium_bodies: %.0f MB\n", double(cacheBytes) / 1e6);
    std::printf("chromium_graphics: %d files\n", graphics);
    std::printf("chromium_graphics_bodies: %.0f MB\n", double(graphicBytes) / 1e6);
    std::printf("chromium_graphics_entry_files: %.0f MB\n", double(graphicFileBytes) / 1e6);
    std::printf("chromium_count_pass: %.3f s (%d entries)\n", countSeconds, counted);
    for (std::size_t i = 0; i < r.runRounds.size(); ++i)
      std::printf("chromium_round_%zu: run %.3f s (cpu %.3f s), cp %.3f s (cpu %.3f s), ratio %.2f, floor %.3f s\n",
                  i + 1, r.runRounds[i], r.runCpuRounds[i], r.cpRounds[i], r.cpCpuRounds[i],
                  r.runRounds[i] / r.cpRounds[i], r.floorRounds[i]);
    std::printf("recover_chromium_graphics: %.3f s (%d files, %.0f MB)\n", r.runSeconds, r.copied,
                double(r.bytes) / 1e6);
    std::printf("cp_chromium_graphics_entry_files: %.3f s\n", r.cpSeconds);
    std::printf("recover_chromium_vs_cp: %.2f (median of the rounds' ratios; target at most 1.5)\n", r.ratio);
    std::printf("floor_chromium_container_copy: %.3f s (one enumeration, bodies streamed, no layer)\n",
                r.floorSeconds);
    std::printf("floor_chromium_vs_cp: %.2f\n", r.floorSeconds / r.cpSeconds);
    if (r.copied != graphics || r.bytes != graphicBytes) {
      std::fprintf(stderr, "the run copied %d files of %llu bytes, expected %d of %llu\n",
                   r.copied, r.bytes, graphics, graphicBytes);
      code = 1;
    }
  }
  std::system(("rm -rf '" + root + "'").c_str());
  return code;
}
