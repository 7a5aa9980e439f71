#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace tessarine::bench {

// Wall-clock seconds since `since`, and the median of a few rounds.
class BenchClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  static TimePoint now() { return std::chrono::steady_clock::now(); }
  static double secondsSince(TimePoint since) {
    return std::chrono::duration<double>(now() - since).count();
  }
  static double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
  }
};

}  // namespace tessarine::bench
