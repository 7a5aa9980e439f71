#include "RecoveryVsCp.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include <sys/resource.h>
#include <unistd.h>

#include <fcntl.h>

#include "BenchClock.h"
#include "platform/urlcache/Container.h"
#include "platform/urlcache/UrlCacheConfig.h"
#include "recovery/RecoverCacheFiles.h"
#include "shell/FileInfoList.h"

namespace tessarine::bench {
namespace {

namespace fs = std::filesystem;

struct Folder : RecoveryListener {
  QString path;
  QString outputFolder() override { return path; }
};

// User plus system CPU seconds of this process or of its waited-for children.
double cpuSeconds(int who) {
  rusage u{};
  ::getrusage(who, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool shell(const std::string& command) { return std::system(command.c_str()) == 0; }

unsigned long long bytesUnder(const std::string& dir) {
  unsigned long long total = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.is_regular_file(ec)) total += e.file_size(ec);
  return total;
}

// Enumerates once and streams every selected body into `out`, each URL
// once as the layer serves it; the number of files written.
int copyFloor(urlcache::Container& container, const QStringList& selectedExts,
              const std::string& out) {
  const std::unique_ptr<char[]> buffer(new char[1 << 20]);
  int files = 0;
  std::set<std::string> urls;
  for (const urlcache::ContainerEntry& e : container.enumerate()) {
    if (e.localPath.empty() || !urls.insert(e.url).second ||
        !selectedExts.contains("." + QString::fromStdString(e.fileExtension), Qt::CaseInsensitive))
      continue;
    std::uint32_t error = 0;
    auto body = container.openBody(e, &error);
    if (!body) continue;
    const std::string target = out + e.localPath.substr(e.localPath.rfind('/'));
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) continue;
    for (std::int64_t got; (got = body->read(buffer.get(), 1 << 20)) > 0;)
      if (::write(fd, buffer.get(), static_cast<std::size_t>(got)) != got) break;
    ::close(fd);
    ++files;
  }
  return files;
}

}  // namespace

QStringList RecoveryVsCp::graphicsExtensions() {
  return {".bmp", ".gif", ".jpg", ".jpeg", ".ico", ".png", ".webp", ".avif", ".svg"};
}

RecoveryVsCp::Result RecoveryVsCp::measure(const std::string& cacheFolder,
                                           const std::vector<std::string>& sourceFiles,
                                           const QStringList& selectedExts,
                                           const std::string& scratch, int rounds,
                                           const OpenContainer& openContainer) {
  // Argument lists this long go through xargs.
  const std::string list = scratch + "/sources.list";
  {
    std::ofstream names(list, std::ios::binary);
    for (const std::string& f : sourceFiles) names << f << '\0';
  }
  const std::string cpOut = scratch + "/cp", runOut = scratch + "/run",
                    floorOut = scratch + "/floor";
  Result result;
  for (int round = 0; round < rounds; ++round) {
    // Warm: the whole cache folder is read, so the run's count pass finds
    // every entry file in memory as cp finds its sources.
    shell("find '" + cacheFolder + "' -type f -print0 | xargs -0 cat >/dev/null");
    shell("mkdir -p '" + cpOut + "' '" + runOut + "' && sync");

    double cpu = cpuSeconds(RUSAGE_CHILDREN);
    auto start = BenchClock::now();
    shell("xargs -0 cp -t '" + cpOut + "' <'" + list + "'");
    result.cpRounds.push_back(BenchClock::secondsSince(start));
    result.cpCpuRounds.push_back(cpuSeconds(RUSAGE_CHILDREN) - cpu);
    shell("sync");

    // Served afresh: the containers of an earlier round, and what they
    // learnt of the cache, are dropped, so this run is a first run.
    urlcache::setCacheFolders({});
    CountCacheEntries(systemUrlCache(), {});
    urlcache::setCacheFolders({cacheFolder});
    fileInfoList().clear();
    Folder out;
    out.path = QString::fromStdString(runOut);
    // TESSARINE_BENCH_PERF=<file>: perf records the first round's run.
    const char* perfData = std::getenv("TESSARINE_BENCH_PERF");
    if (perfData && round == 0)
      shell("perf record -q -F 1000 --call-graph dwarf,16384 -p " + std::to_string(::getpid()) + " -o '" + perfData +
            "' >/dev/null 2>&1 & echo $! >'" + scratch + "/perf.pid'; sleep 1");
    cpu = cpuSeconds(RUSAGE_SELF);
    start = BenchClock::now();
    result.copied = RecoverCacheFiles(systemUrlCache(), selectedExts, out, {});
    result.runRounds.push_back(BenchClock::secondsSince(start));
    if (perfData && round == 0)
      shell("kill -INT $(cat '" + scratch + "/perf.pid'); sleep 2");
    result.runCpuRounds.push_back(cpuSeconds(RUSAGE_SELF) - cpu);
    shell("sync");

    if (openContainer) {
      shell("mkdir -p '" + floorOut + "' && sync");
      start = BenchClock::now();
      if (auto container = openContainer()) copyFloor(*container, selectedExts, floorOut);
      result.floorRounds.push_back(BenchClock::secondsSince(start));
      shell("sync");
    }

    result.bytes = bytesUnder(runOut);
    shell("rm -rf '" + cpOut + "' '" + runOut + "' '" + floorOut + "' && sync");
  }
  fileInfoList().clear();
  result.runSeconds = BenchClock::median(result.runRounds);
  result.cpSeconds = BenchClock::median(result.cpRounds);
  std::vector<double> ratios;
  for (std::size_t i = 0; i < result.runRounds.size(); ++i)
    ratios.push_back(result.runRounds[i] / result.cpRounds[i]);
  result.ratio = BenchClock::median(ratios);
  result.floorSeconds = BenchClock::median(result.floorRounds);
  return result;
}

}  // namespace tessarine::bench
