#include "SyntheticBodies.h"

#include <zlib.h>

namespace tessarine::bench {

std::size_t SyntheticBodies::between(std::size_t lo, std::size_t hi) {
  return std::uniform_int_distribution<std::size_t>(lo, hi)(random_);
}

std::string SyntheticBodies::binary(const std::string& magic, std::size_t size) {
  std::string s = magic;
  s.reserve(size + 8);
  while (s.size() < size) {
    const std::uint64_t v = random_();
    s.append(reinterpret_cast<const char*>(&v), 8);
  }
  s.resize(size);
  return s;
}

std::string SyntheticBodies::text(std::size_t size) {
  static const char* const words[] = {
      "function", "return", "const", "let", "var", "this", "window", "document",
      "(", ")", "{", "}", ";", "=", "=>", "if", "else", "for", "null", "true",
      "false", "\n", "  ", "addEventListener", "querySelector", "fetch", "then"};
  std::string s;
  s.reserve(size + 32);
  while (s.size() < size) {
    if (random_() % 7 == 0) {
      s += 'v';
      s += std::to_string(random_() % 100000);
    } else {
      s += words[random_() % (sizeof words / sizeof *words)];
    }
    s += ' ';
  }
  s.resize(size);
  return s;
}

std::string SyntheticBodies::gzip(const std::string& in) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, in.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::uint32_t SyntheticBodies::crcOf(const std::string& bytes) {
  return static_cast<std::uint32_t>(
      crc32_z(0L, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

}  // namespace tessarine::bench
