#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace tessarine::bench {

// Reproducible response bodies for the generated caches: binary files
// behind their format's magic bytes, and script-like text that compresses
// about as real scripts do.
class SyntheticBodies {
 public:
  explicit SyntheticBodies(std::uint64_t seed) : random_(seed) {}

  std::size_t between(std::size_t lo, std::size_t hi);
  bool oneIn(unsigned n) { return random_() % n == 0; }
  // `magic` then random bytes, `size` in all.
  std::string binary(const std::string& magic, std::size_t size);
  std::string text(std::size_t size);

  static std::string gzip(const std::string& in);
  static std::uint32_t crcOf(const std::string& bytes);

 private:
  std::mt19937_64 random_;
};

}  // namespace tessarine::bench
