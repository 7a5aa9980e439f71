// Times MsieContainer::enumerate() over a generated 50,000-entry index.dat
// and msiecfexport on the same file. Not a test: figures are printed only.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "MsieIndexGenerator.h"
#include "cache/CacheWalk.h"
#include "platform/urlcache/UrlCacheConfig.h"
#include "platform/urlcache/msie/MsieContainer.h"

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main() {
  constexpr int kEntries = 50000;
  char tmpl[] = "/tmp/bench_msie_XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  const std::string dir = std::string(tmpl) + "/Content.IE5";
  if (!tessarine::bench::MsieIndexGenerator::write(dir, {kEntries, false})) {
    std::fprintf(stderr, "cannot write %s\n", dir.c_str());
    return 1;
  }

  // Median of five runs, each opening the container and reading the file afresh.
  std::vector<double> runs;
  std::size_t count = 0;
  for (int r = 0; r < 5; ++r) {
    const auto start = std::chrono::steady_clock::now();
    auto c = tessarine::urlcache::MsieContainer::open(dir);
    count = c ? c->enumerate().size() : 0;
    runs.push_back(seconds(start));
  }
  std::sort(runs.begin(), runs.end());
  std::printf("entries: %zu\n", count);
  std::printf("msie_enumerate_%d: %.4f s\n", kEntries, runs[runs.size() / 2]);

  // End to end through the URL cache operations, as the counting pass runs.
  tessarine::urlcache::setCacheFolders({dir});
  runs.clear();
  int counted = 0;
  for (int r = 0; r < 5; ++r) {
    const auto start = std::chrono::steady_clock::now();
    counted = tessarine::CountCacheEntries(tessarine::systemUrlCache(), {});
    runs.push_back(seconds(start));
  }
  std::sort(runs.begin(), runs.end());
  std::printf("count_cache_entries_%d: %.4f s (%d entries)\n", kEntries, runs[runs.size() / 2],
              counted);

  if (std::system("command -v msiecfexport >/dev/null 2>&1") == 0) {
    const std::string cmd = "msiecfexport '" + dir + "/index.dat' >/dev/null 2>&1";
    const auto start = std::chrono::steady_clock::now();
    const int rc = std::system(cmd.c_str());
    std::printf("msiecfexport_%d: %.4f s%s\n", kEntries, seconds(start),
                rc == 0 ? "" : " (failed)");
  } else {
    std::printf("msiecfexport_%d: not installed\n", kEntries);
  }
  // What one delete costs on a file this size (it re-reads the file under
  // its lock and scans /proc for other users).
  if (auto c = tessarine::urlcache::MsieContainer::open(dir)) {
    const auto entries = c->enumerate();
    constexpr int kRemoves = 100;
    int ok = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRemoves && i < static_cast<int>(entries.size()); ++i)
      ok += c->remove(entries[static_cast<std::size_t>(i) * 7 % entries.size()]) == 0;
    std::printf("msie_remove_each_%d: %.2f ms (%d of %d removed)\n", kEntries,
                seconds(start) * 1000 / kRemoves, ok, kRemoves);
  }
  std::filesystem::remove_all(tmpl);
  return count == kEntries ? 0 : 1;
}
