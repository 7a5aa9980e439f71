#pragma once

#include <string>
#include <string_view>

namespace tessarine::urlcache::msie {

// Converts 8-bit text of a Windows ANSI code page to UTF-8 with glibc
// iconv. A byte sequence the code page does not define becomes the Unicode
// character of the same number (U+0080 to U+00FF), the way Windows maps
// cp1252's holes, so no input is ever lost or rejected.
class AnsiTextDecoder {
 public:
  // `codePage` is an iconv name ("CP1252"); one iconv does not know is
  // replaced by CP1252.
  explicit AnsiTextDecoder(const std::string& codePage);
  ~AnsiTextDecoder();
  AnsiTextDecoder(const AnsiTextDecoder&) = delete;
  AnsiTextDecoder& operator=(const AnsiTextDecoder&) = delete;

  // The code page actually used.
  const std::string& codePage() const { return codePage_; }

  // `text` as UTF-8. Pure ASCII is passed through unchanged.
  std::string toUtf8(std::string_view text);

  // Whether iconv knows `codePage` as a source encoding.
  static bool isSupported(const std::string& codePage);

 private:
  std::string codePage_;
  void* cd_;  // iconv_t
};

}  // namespace tessarine::urlcache::msie
