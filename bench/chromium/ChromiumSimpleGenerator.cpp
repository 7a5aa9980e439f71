#include "ChromiumSimpleGenerator.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include <QByteArray>
#include <QCryptographicHash>
#include <zlib.h>

namespace tessarine::bench {
namespace {

constexpr std::uint64_t kInitialMagic = 0xfcfb6d1ba7725c30ULL;
constexpr std::uint64_t kFinalMagic = 0xf4fa6f45970d41d8ULL;
constexpr std::uint64_t kIndexMagic = 0x656e74657220796fULL;
constexpr std::uint32_t kEntryVersion = 5;
constexpr std::uint32_t kIndexVersion = 9;
constexpr std::uint32_t kFlagCrc = 1, kFlagKeySha256 = 2;
// Response info version 3, connection kind (bit 18), extra flags (bit 31);
// extra flags: proxy chain (bit 1) and original response time (bit 2).
constexpr std::uint32_t kResponseFlags = 0x80040003u;
constexpr std::uint32_t kResponseExtraFlags = 6;
// 2026-12-11 13:17:53 UTC in microseconds since 1601.
constexpr std::int64_t kResponseTime = 0x002fc0f1cd90d7d4LL;
constexpr std::size_t kChunk = 1 << 20;

void le32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}
void le64(std::string& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out += static_cast<char>(v >> (8 * i));
}
void pad4(std::string& out) {
  while (out.size() % 4) out += '\0';
}
// A pickle string: length, bytes, padding (`out` is payload-aligned).
void pickleString(std::string& out, const std::string& s) {
  le32(out, static_cast<std::uint32_t>(s.size()));
  out += s;
  pad4(out);
}

std::string eofRecord(std::uint32_t flags, std::uint32_t crc, std::uint32_t size) {
  std::string r;
  le64(r, kFinalMagic);
  le32(r, flags);
  le32(r, crc);
  le32(r, size);
  le32(r, 0);
  return r;
}

std::uint32_t crcOf(const std::string& s) {
  return static_cast<std::uint32_t>(
      crc32_z(0L, reinterpret_cast<const Bytef*>(s.data()), s.size()));
}

QByteArray digest(const std::string& s, QCryptographicHash::Algorithm a) {
  return QCryptographicHash::hash(QByteArray::fromStdString(s), a);
}

// "scheme://host" of a URL, without port: the site of a partitioned key.
std::string siteOf(const std::string& url) {
  const std::size_t hostAt = url.find("://");
  if (hostAt == std::string::npos) return url;
  std::size_t end = url.find('/', hostAt + 3);
  if (end == std::string::npos) end = url.size();
  std::string site = url.substr(0, end);
  const std::size_t colon = site.find(':', hostAt + 3);
  if (colon != std::string::npos) site.resize(colon);
  return site;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The first 8 bytes of the key's SHA-1, little-endian.
std::uint64_t entryHashOf(const std::string& key) {
  const QByteArray sha1 = digest(key, QCryptographicHash::Sha1);
  std::uint64_t h = 0;
  for (int i = 7; i >= 0; --i) h = (h << 8) | static_cast<unsigned char>(sha1[i]);
  return h;
}

}  // namespace

ChromiumSimpleGenerator::ChromiumSimpleGenerator(std::string folder)
    : folder_(std::move(folder)) {
  std::error_code ec;
  std::filesystem::create_directories(folder_ + "/index-dir", ec);
}

std::string ChromiumSimpleGenerator::keyOf(const Response& response) {
  if (!response.partitioned) return response.url;
  const std::string site = siteOf(response.url);
  return "1/0/_dk_" + site + " " + site + " " + response.url;
}

std::string ChromiumSimpleGenerator::fileNameOf(const std::string& key) {
  const std::uint64_t h = entryHashOf(key);
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return std::string(text) + "_0";
}

std::uint32_t ChromiumSimpleGenerator::superFastHash(const std::string& bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t len = bytes.size();
  if (len == 0) return 0;
  auto u16 = [](const unsigned char* q) {
    return static_cast<std::uint32_t>(q[0] | (q[1] << 8));
  };
  auto sgn = [](unsigned char c) {
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
  };
  std::uint32_t h = static_cast<std::uint32_t>(len);
  for (; len >= 4; len -= 4, p += 4) {
    h += u16(p);
    const std::uint32_t t = (u16(p + 2) << 11) ^ h;
    h = (h << 16) ^ t;
    h += h >> 11;
  }
  switch (len) {
    case 3:
      h += u16(p);
      h ^= h << 16;
      h ^= sgn(p[2]) << 18;
      h += h >> 11;
      break;
    case 2:
      h += u16(p);
      h ^= h << 11;
      h += h >> 17;
      break;
    case 1:
      h += sgn(p[0]);
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

std::string ChromiumSimpleGenerator::stream0Of(const Response& response,
                                               std::uint64_t bodySize) const {
  std::string headers = "HTTP/1.1 200 OK";
  headers += '\0';
  auto header = [&](const std::string& line) {
    headers += line;
    headers += '\0';
  };
  header("Date: Fri, 11 Dec 2026 13:17:53 GMT");
  if (!response.contentType.empty()) header("Content-Type: " + response.contentType);
  if (!response.contentEncoding.empty())
    header("Content-Encoding: " + response.contentEncoding);
  header("Content-Length: " + std::to_string(bodySize));
  header("Cache-Control: max-age=86400");
  header("Last-Modified: Tue, 14 Nov 2023 22:13:20 GMT");
  headers += '\0';

  std::string payload;
  le32(payload, kResponseFlags);
  le32(payload, kResponseExtraFlags);
  le64(payload, static_cast<std::uint64_t>(kResponseTime - 1500));  // request
  le64(payload, static_cast<std::uint64_t>(kResponseTime));         // response
  le64(payload, static_cast<std::uint64_t>(kResponseTime));         // original
  pickleString(payload, headers);
  pickleString(payload, "192.0.2.10");  // remote host
  le32(payload, 443);                   // remote port
  le32(payload, 1);                     // connection kind: HTTP/1.1
  le32(payload, static_cast<std::uint32_t>(-1));  // proxy chain: direct
  le32(payload, 0);
  std::string stream0;
  le32(stream0, static_cast<std::uint32_t>(payload.size()));
  return stream0 + payload;
}

std::string ChromiumSimpleGenerator::add(const Response& response,
                                         const std::string& body) {
  std::size_t at = 0;
  return add(response, body.size(), [&](char* buffer, std::size_t size) {
    body.copy(buffer, size, at);
    at += size;
  });
}

std::string ChromiumSimpleGenerator::add(const Response& response,
                                         std::uint64_t size,
                                         const BodySource& source) {
  const std::string key = keyOf(response);
  const std::string name = fileNameOf(key);
  const std::string path = folder_ + "/" + name;
  std::unique_ptr<std::FILE, FileCloser> out(std::fopen(path.c_str(), "wb"));
  if (!out) return {};

  std::string head;
  le64(head, kInitialMagic);
  le32(head, kEntryVersion);
  le32(head, static_cast<std::uint32_t>(key.size()));
  le32(head, superFastHash(key));
  le32(head, 0);
  head += key;
  bool ok = std::fwrite(head.data(), 1, head.size(), out.get()) == head.size();

  std::vector<char> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(size, kChunk)));
  uLong crc = crc32_z(0L, nullptr, 0);
  for (std::uint64_t left = size; ok && left > 0;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunk));
    source(chunk.data(), n);
    crc = crc32_z(crc, reinterpret_cast<const Bytef*>(chunk.data()), n);
    ok = std::fwrite(chunk.data(), 1, n, out.get()) == n;
    left -= n;
  }

  const std::string stream0 = stream0Of(response, size);
  const QByteArray keySha = digest(key, QCryptographicHash::Sha256);
  std::string tail = eofRecord(kFlagCrc, static_cast<std::uint32_t>(crc), 0);
  tail += stream0;
  tail.append(keySha.constData(), static_cast<std::size_t>(keySha.size()));
  tail += eofRecord(kFlagCrc | kFlagKeySha256, crcOf(stream0),
                    static_cast<std::uint32_t>(stream0.size()));
  ok = ok && std::fwrite(tail.data(), 1, tail.size(), out.get()) == tail.size();
  ok = std::fclose(out.release()) == 0 && ok;
  if (!ok) return {};

  records_.push_back({entryHashOf(key), head.size() + size + tail.size()});
  return path;
}

bool ChromiumSimpleGenerator::finish() {
  std::string index;
  le64(index, kInitialMagic);
  le32(index, kIndexVersion);
  le32(index, 0);
  le32(index, 0);
  le32(index, 0);

  std::string payload;
  le64(payload, kIndexMagic);
  le32(payload, kIndexVersion);
  le64(payload, records_.size());
  std::uint64_t total = 0;
  for (const IndexRecord& r : records_) total += r.fileSize;
  le64(payload, total);
  le32(payload, 0);  // written at shutdown
  for (const IndexRecord& r : records_) {
    le64(payload, r.hash);
    le64(payload, static_cast<std::uint64_t>(kResponseTime / 1000000 * 1000000));
    le64(payload, ((r.fileSize + 255) / 256) << 8);
  }
  le64(payload, static_cast<std::uint64_t>(kResponseTime));
  std::string real;
  le32(real, static_cast<std::uint32_t>(payload.size()));
  le32(real, crcOf(payload));
  real += payload;

  auto write = [](const std::string& path, const std::string& bytes) {
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "wb"));
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
    return std::fclose(f.release()) == 0 && ok;
  };
  return write(folder_ + "/index", index) &&
         write(folder_ + "/index-dir/the-real-index", real);
}

}  // namespace tessarine::bench
