// Times a recovery run of 2,000 files of 1 MB from a generated IE cache
// against `cp` of the same files, round by round in the same run. Figures
// are printed only.

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
#include "RecoveryVsCp.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
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
  std::vector<std::string> sources;
  for (int i = 0; i < kFiles; ++i) {
    for (std::size_t j = 0; j < kSize; j += 8) {
      const std::uint64_t v = random();
      std::copy_n(reinterpret_cast<const char*>(&v), 8, bytes.data() + j);
    }
    const std::string path = cache + "/" + MsieIndexGenerator::directory(i) + "/" +
                             MsieIndexGenerator::fileName(i);
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(kSize));
    sources.push_back(path);
  }
  std::system("sync");

  const auto r = tessarine::bench::RecoveryVsCp::measure(cache, sources, QStringList{".gif"},
                                                        root, rounds);
  for (std::size_t i = 0; i < r.runRounds.size(); ++i)
    std::printf("ie_round_%zu: run %.3f s (cpu %.3f s), cp %.3f s (cpu %.3f s), ratio %.2f\n", i + 1,
                r.runRounds[i], r.runCpuRounds[i], r.cpRounds[i], r.cpCpuRounds[i],
                r.runRounds[i] / r.cpRounds[i]);
  std::printf("recover_ie_2000x1MB: %.3f s (%d files)\n", r.runSeconds, r.copied);
  std::printf("cp_ie_2000x1MB: %.3f s\n", r.cpSeconds);
  std::printf("recover_ie_vs_cp: %.2f (median of the rounds' ratios)\n", r.ratio);
  std::system(("rm -rf '" + root + "'").c_str());
  return r.copied == kFiles ? 0 : 1;
}
