#include "platform/urlcache/chromium/ChromiumCacheKey.h"

#include <QByteArray>
#include <QCryptographicHash>

namespace tessarine::urlcache::chromium_key {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Drops one "<digits>/" from the front; false when there is none.
bool dropNumberSlash(std::string_view* s) {
  std::size_t i = 0;
  while (i < s->size() && isDigit((*s)[i])) ++i;
  if (i == 0 || i >= s->size() || (*s)[i] != '/') return false;
  s->remove_prefix(i + 1);
  return true;
}

// Drops a trailing ":<hex>"; false when there is none.
bool dropHexField(std::string_view* s) {
  const std::size_t colon = s->rfind(':');
  if (colon == std::string_view::npos || colon + 1 == s->size()) return false;
  for (std::size_t i = colon + 1; i < s->size(); ++i)
    if (!isHexDigit((*s)[i])) return false;
  s->remove_suffix(s->size() - colon);
  return true;
}

bool isAbsoluteUrl(std::string_view s) {
  if (s.empty() || !isAlpha(s[0])) return false;
  for (std::size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == ':') return i + 1 < s.size();
    if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.')
      return false;
  }
  return false;
}

bool isUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t more = 0;
    std::uint32_t cp = 0;
    if (c < 0x80) { ++i; continue; }
    if (c >= 0xc2 && c <= 0xdf) { more = 1; cp = c & 0x1f; }
    else if (c >= 0xe0 && c <= 0xef) { more = 2; cp = c & 0x0f; }
    else if (c >= 0xf0 && c <= 0xf4) { more = 3; cp = c & 0x07; }
    else return false;
    if (s.size() - i <= more) return false;
    for (std::size_t k = 1; k <= more; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xc0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3f);
    }
    if ((more == 2 && (cp < 0x800 || (cp >= 0xd800 && cp <= 0xdfff))) ||
        (more == 3 && (cp < 0x10000 || cp > 0x10ffff)))
      return false;
    i += more + 1;
  }
  return true;
}

std::string latin1ToUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size() * 2);
  for (char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xc0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3f));
    }
  }
  return out;
}

std::uint32_t u16At(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) |
         (static_cast<std::uint32_t>(p[1]) << 8);
}

// The byte as a signed char, widened the way C widens it.
std::uint32_t signedByte(unsigned char b) {
  return static_cast<std::uint32_t>(
      static_cast<std::int32_t>(static_cast<signed char>(b)));
}

}  // namespace

std::string urlFromKey(std::string_view key) {
  std::string_view s = key;
  constexpr std::string_view kRange = "Range_";
  if (s.substr(0, kRange.size()) == kRange) {
    s.remove_prefix(kRange.size());
    if (!dropHexField(&s) || !dropHexField(&s)) return {};
  }
  if (dropNumberSlash(&s)) dropNumberSlash(&s);
  constexpr std::string_view kDoubleKeyed = "_dk_";
  if (s.substr(0, kDoubleKeyed.size()) == kDoubleKeyed) {
    const std::size_t space = s.rfind(' ');
    if (space == std::string_view::npos) return {};
    s.remove_prefix(space + 1);
  }
  if (!isAbsoluteUrl(s)) return {};
  for (char c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return {};
  return isUtf8(s) ? std::string(s) : latin1ToUtf8(s);
}

std::uint32_t superFastHash(std::string_view bytes) {
  if (bytes.empty()) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t len = bytes.size();
  std::uint32_t h = static_cast<std::uint32_t>(len);
  const std::size_t rem = len & 3;
  for (std::size_t groups = len >> 2; groups > 0; --groups, p += 4) {
    h += u16At(p);
    const std::uint32_t t = (u16At(p + 2) << 11) ^ h;
    h = (h << 16) ^ t;
    h += h >> 11;
  }
  switch (rem) {
    case 3:
      h += u16At(p);
      h ^= h << 16;
      h ^= signedByte(p[2]) << 18;
      h += h >> 11;
      break;
    case 2:
      h += u16At(p);
      h ^= h << 11;
      h += h >> 17;
      break;
    case 1:
      h += signedByte(p[0]);
      h ^= h << 10;
      h += h >> 1;
      break;
    default:
      break;
  }
  h ^= h << 3;
  h += h >> 5;
  h ^= h << 4;
  h += h >> 17;
  h ^= h << 25;
  h += h >> 6;
  return h;
}

std::uint64_t simpleEntryHash(std::string_view key) {
  const QByteArray digest = QCryptographicHash::hash(
      QByteArray::fromRawData(key.data(), static_cast<qsizetype>(key.size())),
      QCryptographicHash::Sha1);
  std::uint64_t h = 0;
  for (int i = 7; i >= 0; --i)
    h = (h << 8) | static_cast<unsigned char>(digest[i]);
  return h;
}

std::string simpleEntryHashText(std::uint64_t hash) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) out[i] = kDigits[hash & 0xf];
  return out;
}

}  // namespace tessarine::urlcache::chromium_key
