#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tessarine::urlcache::test {

// Writes cache2 entry files, sound or damaged on purpose, for the
// corrupt-input tests: checksums and the file name are computed, so a
// damage knob exercises the check it aims at and not the checksum.
struct FirefoxEntryWriter {
  std::string key;
  std::vector<std::pair<std::string, std::string>> elements;
  std::string data;            // body, then any alternative data
  std::uint32_t version = 4;   // 1..3 write the old one-word trailer
  std::uint32_t trailerVersion = 0;  // 0: same as version
  int keySizeDelta = 0;        // stored key size minus the real one
  int chunkHashDelta = 0;      // chunk hashes written minus the right count
  bool dropLastNul = false;    // element list without its final NUL
  bool encrypted = false;

  // The SHA-1 of the key, 40 upper-case hex digits.
  std::string fileName() const;
  // The whole entry file.
  std::string bytes() const;
  // Writes the file into `dir` under fileName(); returns its path.
  std::string writeInto(const std::string& dir) const;
};

// Writes `bytes` to `path`, replacing it.
void writeFile(const std::string& path, const std::string& bytes);
// The whole content of `path`, "" when unreadable.
std::string readFile(const std::string& path);

}  // namespace tessarine::urlcache::test
