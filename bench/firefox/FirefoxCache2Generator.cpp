#include "FirefoxCache2Generator.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include <QByteArray>
#include <QCryptographicHash>

namespace tessarine::bench {
namespace {

constexpr std::size_t kChunk = 262144;
constexpr std::uint32_t kMetadataVersion = 4;
constexpr std::uint32_t kIndexVersion = 12;
// 2026-12-11 13:12:10 UTC.
constexpr std::uint32_t kTime = 1796994730;
constexpr std::uint32_t kMaxAge = 86400;
constexpr char kPartition[] = "^partitionKey=%28https%2Cexample.com%29";
constexpr std::uint32_t kRecordInitialized = 1u << 31;
constexpr std::uint32_t kRecordAnonymous = 1u << 30;
constexpr std::uint32_t kRecordAltData = 1u << 25;

void be16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v);
}
void be32(std::string& out, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) out += static_cast<char>(v >> (8 * i));
}

QByteArray sha1Of(const std::string& s) {
  return QCryptographicHash::hash(QByteArray::fromStdString(s), QCryptographicHash::Sha1);
}

void mix(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c) {
  a -= b; a -= c; a ^= c >> 13;
  b -= c; b -= a; b ^= a << 8;
  c -= a; c -= b; c ^= b >> 13;
  a -= b; a -= c; a ^= c >> 12;
  b -= c; b -= a; b ^= a << 16;
  c -= a; c -= b; c ^= b >> 5;
  a -= b; a -= c; a ^= c >> 3;
  b -= c; b -= a; b ^= a << 10;
  c -= a; c -= b; c ^= b >> 15;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

bool writeFile(const std::string& path, const std::string& bytes) {
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "wb"));
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
  return std::fclose(f.release()) == 0 && ok;
}

}  // namespace

FirefoxCache2Generator::FirefoxCache2Generator(std::string folder) : folder_(std::move(folder)) {
  std::error_code ec;
  std::filesystem::create_directories(folder_ + "/entries", ec);
  std::filesystem::create_directories(folder_ + "/doomed", ec);
}

std::uint32_t FirefoxCache2Generator::jenkinsHash(const char* data, std::size_t size) {
  const auto* k = reinterpret_cast<const unsigned char*>(data);
  auto le = [](const unsigned char* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
  };
  std::uint32_t a = 0x9E3779B9u, b = 0x9E3779B9u, c = 0;
  std::size_t left = size;
  for (; left >= 12; left -= 12, k += 12) {
    a += le(k);
    b += le(k + 4);
    c += le(k + 8);
    mix(a, b, c);
  }
  c += static_cast<std::uint32_t>(size);
  for (std::size_t i = 0; i < left; ++i) {
    const std::uint32_t byte = k[i];
    if (i < 4) a += byte << (8 * i);
    else if (i < 8) b += byte << (8 * (i - 4));
    else c += byte << (8 * (i - 7));
  }
  mix(a, b, c);
  return c;
}

std::string FirefoxCache2Generator::keyOf(const Response& response) {
  return std::string("O") + kPartition + "," + (response.anonymous ? "a," : "") + ":" +
         response.url;
}

std::string FirefoxCache2Generator::add(const Response& response, const std::string& body) {
  std::size_t at = 0;
  return add(response, body.size(), [&](char* buffer, std::size_t size) {
    body.copy(buffer, size, at);
    at += size;
  });
}

std::string FirefoxCache2Generator::add(const Response& response, std::uint64_t size,
                                        const BodySource& source) {
  const std::string key = keyOf(response);
  const QByteArray sha1 = sha1Of(key);
  const std::string path =
      folder_ + "/entries/" + sha1.toHex().toUpper().toStdString();
  std::unique_ptr<std::FILE, FileCloser> out(std::fopen(path.c_str(), "wb"));
  if (!out) return {};

  // The data region: the body, then any alternative data; one checksum per
  // 256 KiB chunk of the whole region.
  const std::uint64_t dataSize = size + response.altData.size();
  std::string chunkHashes;
  std::string chunk(kChunk, '\0');
  bool ok = true;
  for (std::uint64_t done = 0; ok && done < dataSize;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(dataSize - done, kChunk));
    std::size_t filled = 0;
    if (done < size) {
      filled = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, n));
      source(chunk.data(), filled);
    }
    if (filled < n)
      response.altData.copy(chunk.data() + filled, n - filled,
                            static_cast<std::size_t>(done + filled - size));
    be16(chunkHashes, jenkinsHash(chunk.data(), n) & 0xFFFF);
    ok = std::fwrite(chunk.data(), 1, n, out.get()) == n;
    done += n;
  }

  std::string head = "HTTP/1.1 200 OK\r\n";
  std::string original;
  auto header = [&](const std::string& line) {
    head += line + "\r\n";
    original += line + "\r\n";
  };
  header("Date: Fri, 11 Dec 2026 13:12:08 GMT");
  if (!response.contentType.empty()) header("Content-Type: " + response.contentType);
  if (!response.contentEncoding.empty()) header("Content-Encoding: " + response.contentEncoding);
  header("Content-Length: " + std::to_string(size));
  header("Cache-Control: max-age=" + std::to_string(kMaxAge));
  header("Last-Modified: Tue, 14 Nov 2023 22:13:20 GMT");

  const std::uint32_t frecency = 1245641718u + static_cast<std::uint32_t>(records_.size());
  std::string meta(4, '\0');
  meta += chunkHashes;
  be32(meta, kMetadataVersion);
  be32(meta, 1);  // fetch count
  be32(meta, kTime);
  be32(meta, kTime);
  be32(meta, frecency);
  be32(meta, kTime + kMaxAge);
  be32(meta, static_cast<std::uint32_t>(key.size()));
  be32(meta, 0);  // flags
  meta += key;
  meta += '\0';
  auto element = [&](const std::string& name, const std::string& value) {
    meta += name;
    meta += '\0';
    meta += value;
    meta += '\0';
  };
  element("request-method", "GET");
  element("response-head", head);
  element("original-response-headers", original);
  element("strongly-framed", "1");
  element("ctid", std::to_string(response.contentClass));
  element("net-response-time-onstart", "130");
  element("net-response-time-onstop", "133");
  if (!response.altData.empty()) {
    element("alt-data", "1;" + std::to_string(size) + ",javascript/moz-script-bytecode-20261117");
    element("alt-data-from-child", "webIsolated=https://example.com");
    element("alt-data-principal", "https://example.com");
  }
  const std::uint32_t sum = jenkinsHash(meta.data() + 4, meta.size() - 4);
  for (int i = 0; i < 4; ++i) meta[static_cast<std::size_t>(i)] = static_cast<char>(sum >> (24 - 8 * i));
  be32(meta, kMetadataVersion);
  be32(meta, static_cast<std::uint32_t>(dataSize));
  ok = ok && std::fwrite(meta.data(), 1, meta.size(), out.get()) == meta.size();
  ok = std::fclose(out.release()) == 0 && ok;
  if (!ok) return {};

  const std::uint64_t fileSize = dataSize + meta.size();
  std::uint32_t flags = kRecordInitialized |
                        static_cast<std::uint32_t>(std::min<std::uint64_t>((fileSize + 1023) / 1024, 0xFFFFFF));
  if (response.anonymous) flags |= kRecordAnonymous;
  if (!response.altData.empty()) flags |= kRecordAltData;
  records_.push_back({sha1.toStdString(), frecency, response.contentClass, flags});
  return path;
}

bool FirefoxCache2Generator::finish() {
  std::string header;
  be32(header, kIndexVersion);
  be32(header, kTime + 2);
  be32(header, 0);  // clean exit
  std::uint64_t kib = 0;
  for (const IndexRecord& r : records_) kib += r.flagsAndSize & 0xFFFFFF;
  be32(header, static_cast<std::uint32_t>(std::min<std::uint64_t>(kib, 0xFFFFFFFF)));
  be32(header, 0);  // not encrypted

  const QByteArray partition = sha1Of(kPartition);
  std::string records;
  for (const IndexRecord& r : records_) {
    records += r.sha1;
    be32(records, r.frecency);
    records.append(partition.constData(), 8);
    be16(records, 130);
    be16(records, 133);
    records += static_cast<char>(r.contentClass);
    be32(records, r.flagsAndSize);
  }
  std::string index = header + records;
  be32(index, jenkinsHash(records.data(), records.size()));
  std::string log;
  be32(log, jenkinsHash(nullptr, 0));
  return writeFile(folder_ + "/index", index) && writeFile(folder_ + "/index.log", log);
}

}  // namespace tessarine::bench
