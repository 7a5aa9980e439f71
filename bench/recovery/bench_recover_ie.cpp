// Times a recovery run of 2,000 files of 1 MB from a generated IE cache
// against `cp` of the same files, in the same run. Figures are printed only.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include <QCoreApplication>
#include <QStringList>

#include "MsieIndexGenerator.h"
#include "platform/urlcache/UrlCacheConfig.h"
#include "recovery/RecoverCacheFiles.h"
#include "shell/FileInfoList.h"

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Folder : tessarine::RecoveryListener {
  QString path;
  QString outputFolder() override { return path; }
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  constexpr int kFiles = 2000;
  constexpr std::size_t kSize = 1 << 20;
  char tmpl[] = "/tmp/bench_recover_XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  const std::string root = tmpl;
  const std::string cache = root + "/Content.IE5";
  using tessarine::bench::MsieIndexGenerator;
  if (!MsieIndexGenerator::write(cache, {kFiles, true})) return 1;

  std::mt19937_64 random(42);
  std::vector<char> bytes(kSize);
  const std::string list = root + "/files.list";
  std::ofstream names(list, std::ios::binary);
  for (int i = 0; i < kFiles; ++i) {
    for (std::size_t j = 0; j < kSize; j += 8) {
      const std::uint64_t v = random();
      std::copy_n(reinterpret_cast<const char*>(&v), 8, bytes.data() + j);
    }
    const std::string path = cache + "/" + MsieIndexGenerator::directory(i) + "/" +
                             MsieIndexGenerator::fileName(i);
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(kSize));
    names << path << '\0';
  }
  names.close();
  std::system("sync");

  // cp first and the run second, each into a fresh folder, caches warm for both.
  const std::string cpOut = root + "/cp", runOut = root + "/run";
  // Argument lists this long go through xargs.
  std::system(("mkdir -p '" + cpOut + "' '" + runOut + "' && xargs -0 cat <'" + list +
               "' >/dev/null").c_str());
  auto start = std::chrono::steady_clock::now();
  std::system(("xargs -0 cp -t '" + cpOut + "' <'" + list + "'").c_str());
  const double cpSeconds = seconds(start);

  tessarine::urlcache::setCacheFolders({cache});
  Folder out;
  out.path = QString::fromStdString(runOut);
  start = std::chrono::steady_clock::now();
  const int copied = tessarine::RecoverCacheFiles(tessarine::systemUrlCache(),
                                                  QStringList{".gif"}, out, {});
  const double runSeconds = seconds(start);

  std::printf("recover_ie_2000x1MB: %.3f s (%d files)\n", runSeconds, copied);
  std::printf("cp_ie_2000x1MB: %.3f s\n", cpSeconds);
  std::printf("recover_ie_vs_cp: %.2f\n", runSeconds / cpSeconds);
  std::system(("rm -rf '" + root + "'").c_str());
  return copied == kFiles ? 0 : 1;
}
