// Times a recovery of the graphics of a generated 5,000-entry Firefox
// cache2 folder (a few hundred MB of images, scripts with compiled script
// appended, styles, JSON and video) against `cp` of the graphics entries'
// files, in the same run. Not a test: figures are printed only.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include <QCoreApplication>

#include "BenchClock.h"
#include "FirefoxCache2Generator.h"
#include "GeneratedCacheCheck.h"
#include "RecoveryVsCp.h"
#include "SyntheticBodies.h"
#include "platform/urlcache/firefox/FirefoxCache2Container.h"

namespace {

using tessarine::bench::BenchClock;
using tessarine::bench::ExpectedBody;
using tessarine::bench::FirefoxCache2Generator;
using tessarine::bench::GeneratedCacheCheck;
using tessarine::bench::RecoveryVsCp;
using tessarine::bench::SyntheticBodies;

constexpr int kImages = 3000, kScripts = 1500, kStyles = 250, kJson = 200, kVideos = 50;
// Images also fetched without credentials: a second entry file, one URL.
constexpr int kAnonymousEvery = 100;
constexpr std::size_t KiB = 1024, MiB = 1024 * 1024;

struct Generated {
  std::map<std::string, ExpectedBody> expected;
  std::size_t files = 0;
};

Generated generate(const std::string& folder) {
  FirefoxCache2Generator gen(folder);
  SyntheticBodies bodies(20261212);
  Generated out;
  auto put = [&](FirefoxCache2Generator::Response r, const std::string& decoded, bool graphic) {
    const std::string stored = r.contentEncoding.empty() ? decoded : SyntheticBodies::gzip(decoded);
    const std::string path = gen.add(r, stored);
    if (path.empty()) {
      std::fprintf(stderr, "cannot write an entry of %s\n", r.url.c_str());
      std::exit(1);
    }
    ++out.files;
    // The plain entry is the one cp copies; an anonymous twin adds a file only.
    if (!r.anonymous)
      out.expected[r.url] = {SyntheticBodies::crcOf(decoded), decoded.size(), graphic, path};
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
    const std::string host = "https://img" + std::to_string(i % 5) + ".example.com";
    std::string url;
    if (i % 10 == 3)
      url = host + "/thumb.php?id=" + std::to_string(i);
    else if (i % 50 == 7)
      url = host + "/site" + std::to_string(i) + "/logo." + t.ext;
    else
      url = host + "/photos/" + std::to_string(i / 100) + "/photo-" + std::to_string(i) + "." + t.ext;
    const std::string body = bodies.binary(t.magic, bodies.between(10 * KiB, 60 * KiB));
    put({url, t.type, "", 3, false, ""}, body, true);
    if (i % kAnonymousEvery == 5) put({url, t.type, "", 3, true, ""}, body, true);
  }
  for (int i = 0; i < kScripts; ++i) {
    const std::string url =
        "https://static.example.com/js/" + std::to_string(i / 50) + "/app-" + std::to_string(i) + ".js";
    const std::string text = bodies.text(bodies.between(5 * KiB, 60 * KiB));
    // Scripts run from a <script> element carry their bytecode after the body.
    const std::string bytecode =
        i % 2 ? bodies.binary("\x7f" "BC", bodies.between(2 * KiB, 40 * KiB)) : std::string();
    put({url, "application/javascript", i % 3 == 0 ? "gzip" : "", 2, false, bytecode}, text, false);
  }
  for (int i = 0; i < kStyles; ++i)
    put({"https://static.example.com/css/site-" + std::to_string(i) + ".css", "text/css",
         i % 2 ? "gzip" : "", 5, false, ""},
        bodies.text(bodies.between(5 * KiB, 30 * KiB)), false);
  for (int i = 0; i < kJson; ++i)
    put({"https://api.example.com/v1/items?page=" + std::to_string(i), "application/json", "", 1,
         false, ""},
        bodies.text(bodies.between(1 * KiB, 10 * KiB)), false);
  for (int i = 0; i < kVideos; ++i) {
    const bool mp4 = i % 2 == 0;
    put({"https://media.example.com/clips/clip-" + std::to_string(i) + (mp4 ? ".mp4" : ".webm"),
         mp4 ? "video/mp4" : "video/webm", "", 4, false, ""},
        bodies.binary(mp4 ? std::string("\0\0\0\x20" "ftypisom", 12) : std::string("\x1a\x45\xdf\xa3", 4),
                      bodies.between(1 * MiB, 5 * MiB)),
        false);
  }
  if (!gen.finish()) {
    std::fprintf(stderr, "cannot write the index files\n");
    std::exit(1);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
  char tmpl[] = "/tmp/bench_firefox_XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  const std::string root = tmpl;
  const std::string cache = root + "/cache2";

  auto start = BenchClock::now();
  const Generated g = generate(cache);
  std::system("sync");
  const double generateSeconds = BenchClock::secondsSince(start);

  start = BenchClock::now();
  int graphics = 0;
  auto container = tessarine::urlcache::FirefoxCache2Container::open(cache);
  const bool sound =
      container && GeneratedCacheCheck::verify(*container, g.expected, g.files, &graphics);
  container.reset();
  const double verifySeconds = BenchClock::secondsSince(start);

  std::vector<std::string> sources;
  unsigned long long bodyBytes = 0, graphicBytes = 0, graphicFileBytes = 0;
  int graphicUrls = 0;
  for (const auto& [url, e] : g.expected) {
    bodyBytes += e.size;
    if (!e.graphic) continue;
    ++graphicUrls;
    sources.push_back(e.path);
    graphicBytes += e.size;
    graphicFileBytes += std::filesystem::file_size(e.path);
  }
  int code = sound ? 0 : 1;
  if (sound) {
    const auto r = RecoveryVsCp::measure(
        cache, sources, RecoveryVsCp::graphicsExtensions(), root, rounds,
        [&]() -> std::unique_ptr<tessarine::urlcache::Container> { return tessarine::urlcache::FirefoxCache2Container::open(cache); });
    std::printf("firefox_generate: %.1f s\n", generateSeconds);
    std::printf("firefox_verify_all_bodies: %.2f s\n", verifySeconds);
    std::printf("firefox_entry_files: %zu files (%zu URLs)\n", g.files, g.expected.size());
    std::printf("firefox_bodies: %.0f MB\n", double(bodyBytes) / 1e6);
    std::printf("firefox_graphics: %d URLs (%d entry files)\n", graphicUrls, graphics);
    std::printf("firefox_graphics_bodies: %.0f MB\n", double(graphicBytes) / 1e6);
    std::printf("firefox_graphics_entry_files: %.0f MB\n", double(graphicFileBytes) / 1e6);
    for (std::size_t i = 0; i < r.runRounds.size(); ++i)
      std::printf("firefox_round_%zu: run %.3f s (cpu %.3f s), cp %.3f s (cpu %.3f s), ratio %.2f, floor %.3f s\n",
                  i + 1, r.runRounds[i], r.runCpuRounds[i], r.cpRounds[i], r.cpCpuRounds[i],
                  r.runRounds[i] / r.cpRounds[i], r.floorRounds[i]);
    std::printf("recover_firefox_graphics: %.3f s (%d files, %.0f MB)\n", r.runSeconds, r.copied,
                double(r.bytes) / 1e6);
    std::printf("cp_firefox_graphics_entry_files: %.3f s\n", r.cpSeconds);
    std::printf("recover_firefox_vs_cp: %.2f (median of the rounds' ratios; target at most 1.5)\n", r.ratio);
    std::printf("floor_firefox_container_copy: %.3f s (one enumeration, bodies streamed, no layer)\n",
                r.floorSeconds);
    std::printf("floor_firefox_vs_cp: %.2f\n", r.floorSeconds / r.cpSeconds);
    if (r.copied != graphicUrls || r.bytes != graphicBytes) {
      std::fprintf(stderr, "the run copied %d files of %llu bytes, expected %d of %llu\n",
                   r.copied, r.bytes, graphicUrls, graphicBytes);
      code = 1;
    }
  }
  std::system(("rm -rf '" + root + "'").c_str());
  return code;
}
