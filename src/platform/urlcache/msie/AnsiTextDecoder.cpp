#include "platform/urlcache/msie/AnsiTextDecoder.h"

#include <cerrno>

#include <iconv.h>

namespace tessarine::urlcache::msie {
namespace {

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);

void appendCodePoint(std::string& out, unsigned char byte) {
  if (byte < 0x80) {
    out.push_back(static_cast<char>(byte));
  } else {
    out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
    out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
  }
}

}  // namespace

bool AnsiTextDecoder::isSupported(const std::string& codePage) {
  iconv_t cd = ::iconv_open("UTF-8", codePage.c_str());
  if (cd == kNoIconv) return false;
  ::iconv_close(cd);
  return true;
}

AnsiTextDecoder::AnsiTextDecoder(const std::string& codePage)
    : codePage_(codePage) {
  iconv_t cd = ::iconv_open("UTF-8", codePage_.c_str());
  if (cd == kNoIconv) {
    codePage_ = "CP1252";
    cd = ::iconv_open("UTF-8", codePage_.c_str());
  }
  cd_ = cd == kNoIconv ? nullptr : cd;
}

AnsiTextDecoder::~AnsiTextDecoder() {
  if (cd_) ::iconv_close(static_cast<iconv_t>(cd_));
}

std::string AnsiTextDecoder::toUtf8(std::string_view text) {
  bool ascii = true;
  for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return std::string(text);

  std::string out;
  out.reserve(text.size() * 2);
  if (!cd_) {
    for (char c : text) appendCodePoint(out, static_cast<unsigned char>(c));
    return out;
  }
  iconv_t cd = static_cast<iconv_t>(cd_);
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char buf[256];
  while (inLeft > 0) {
    char* o = buf;
    std::size_t oLeft = sizeof buf;
    const std::size_t r = ::iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buf, static_cast<std::size_t>(o - buf));
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL (a byte the code page leaves undefined, or a
    // multibyte sequence cut short): keep the byte as its code point.
    appendCodePoint(out, static_cast<unsigned char>(*in));
    ++in;
    --inLeft;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  // Flush any shift state.
  char* o = buf;
  std::size_t oLeft = sizeof buf;
  ::iconv(cd, nullptr, nullptr, &o, &oLeft);
  out.append(buf, static_cast<std::size_t>(o - buf));
  return out;
}

}  // namespace tessarine::urlcache::msie
