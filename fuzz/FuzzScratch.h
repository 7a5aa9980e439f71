#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

// One scratch folder per fuzzing process, reused by every execution so a
// run does not leave thousands of folders behind. Removed at exit.
namespace tessarine::fuzz {

inline const std::string& scratchFolder() {
  // Never destroyed: the exit handler below still needs it.
  static const std::string& folder = *new std::string([] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") +
                          "/tessarine-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::abort();
    std::atexit([] { std::error_code ec; std::filesystem::remove_all(scratchFolder(), ec); });
    return pattern;
  }());
  return folder;
}

// Replaces `path` with exactly `size` bytes of `data`.
inline void writeWhole(const std::string& path, const std::uint8_t* data,
                       std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

inline void writeWhole(const std::string& path, const std::string& text) {
  writeWhole(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace tessarine::fuzz
