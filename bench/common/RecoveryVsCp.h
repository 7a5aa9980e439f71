#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QStringList>

namespace tessarine::urlcache {
class Container;
}

namespace tessarine::bench {

// Times a whole recovery run (count pass, walk, copies) of `cacheFolder`
// against `cp` of `sourceFiles` in the same process, caches warm for both:
// every round reads the sources once, then runs cp into a fresh folder and
// the recovery into another, syncs and removes both. Every round's run is
// a first run: nothing is known of the cache from an earlier round. The
// figures are the medians over the rounds; `ratio` is the median of the
// rounds' run/cp ratios, so a machine that slows down for a while moves
// both sides of a round alike.
class RecoveryVsCp {
 public:
  struct Result {
    double runSeconds = 0;
    double cpSeconds = 0;
    double ratio = 0;
    int copied = 0;                  // files of the last run
    unsigned long long bytes = 0;    // bytes the last run wrote
    std::vector<double> runRounds, cpRounds;
    // CPU seconds (user + system) of each round: the run's own, and those
    // of cp with xargs, for telling work from waiting on a loaded machine.
    std::vector<double> runCpuRounds, cpCpuRounds;
    // The floor: the container alone, enumerated once, each selected
    // body streamed into the output with one buffer, no URL-cache layer.
    double floorSeconds = 0;
    std::vector<double> floorRounds;
  };
  using OpenContainer = std::function<std::unique_ptr<urlcache::Container>()>;

  // `openContainer`, when given, also times the floor in every round.
  static Result measure(const std::string& cacheFolder,
                        const std::vector<std::string>& sourceFiles,
                        const QStringList& selectedExts,
                        const std::string& scratch, int rounds,
                        const OpenContainer& openContainer = {});

  // The extensions of the tree's graphics groups.
  static QStringList graphicsExtensions();
};

}  // namespace tessarine::bench
