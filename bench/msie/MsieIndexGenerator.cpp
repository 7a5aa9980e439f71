#include "MsieIndexGenerator.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

namespace tessarine::bench {
namespace {

constexpr std::uint32_t kHeader = 0x4000;
constexpr std::uint32_t kBlock = 0x80;
constexpr std::uint32_t kTableBlocks = 32;
constexpr std::uint32_t kRecordBlocks = 2;
constexpr std::uint32_t kBuckets = 64;
constexpr std::uint32_t kBucketSlots = 7;
constexpr std::uint32_t kBitmap = 0x250;
constexpr std::uint32_t kBitmapBlocks = (kHeader - kBitmap) * 8;
constexpr std::uint32_t kGrowBlocks = 128;  // files grow by 0x4000 bytes
constexpr std::uint32_t kBodySize = 35;
// 2026-12-11 13:15:26 as FAT date (low u16) and time (high u16).
constexpr std::uint32_t kFatTime = 0x5D8Bu | (0x69EDu << 16);
constexpr std::uint64_t kFileTime = 134100000000000000ull;

void put32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
void put64(std::string& b, std::size_t at, std::uint64_t v) {
  put32(b, at, static_cast<std::uint32_t>(v));
  put32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}
void putText(std::string& b, std::size_t at, std::string_view s) {
  b.replace(at, s.size(), s);
  b[at + s.size()] = '\0';
}
std::size_t align4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

// FNV-1a: spreads the URLs over the buckets the way a real hash does.
std::uint32_t hashOf(std::string_view s) {
  std::uint32_t h = 2166136261u;
  for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return h;
}

}  // namespace

std::string MsieIndexGenerator::url(int i) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "http://bench.example/site/%06d/picture.gif?v=%d", i, i % 97);
  return buf;
}

std::string MsieIndexGenerator::directory(int i) {
  static const char* const names[] = {"BNCHAAAA", "BNCHBBBB", "BNCHCCCC", "BNCHDDDD"};
  return names[i % 4];
}

std::string MsieIndexGenerator::fileName(int i) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "picture%06d[0].gif", i);
  return buf;
}

bool MsieIndexGenerator::write(const std::string& folder, const Options& options) {
  const int n = options.entries < 0 ? 0 : options.entries;

  // Place every entry in the first table whose bucket has room.
  struct Placement { std::uint32_t table, slot, key; };
  std::vector<Placement> placed(static_cast<std::size_t>(n));
  std::vector<std::vector<std::uint8_t>> fill;  // per table, per bucket
  for (int i = 0; i < n; ++i) {
    const std::uint32_t h = hashOf(url(i));
    const std::uint32_t bucket = (h >> 6) % kBuckets;
    std::uint32_t t = 0;
    for (;; ++t) {
      if (t == fill.size()) fill.emplace_back(kBuckets, 0);
      if (fill[t][bucket] < kBucketSlots) break;
    }
    placed[i] = {t, bucket * kBucketSlots + fill[t][bucket]++, h & ~0x3Fu};
  }
  const std::uint32_t tables = fill.empty() ? 1 : static_cast<std::uint32_t>(fill.size());
  const std::uint64_t used = std::uint64_t{tables} * kTableBlocks +
                             std::uint64_t{static_cast<std::uint32_t>(n)} * kRecordBlocks;
  const std::uint64_t total = (used + kGrowBlocks - 1) / kGrowBlocks * kGrowBlocks;
  if (total > kBitmapBlocks) return false;

  std::string b(kHeader + total * kBlock, '\0');
  putText(b, 0, "Client UrlCache MMF Ver 5.2");
  put32(b, 0x1C, static_cast<std::uint32_t>(b.size()));
  put32(b, 0x20, kHeader);
  put32(b, 0x24, static_cast<std::uint32_t>(total));
  put32(b, 0x28, static_cast<std::uint32_t>(used));
  put64(b, 0x30, 134173696);
  put64(b, 0x38, std::uint64_t{kBodySize} * static_cast<std::uint32_t>(n));
  put32(b, 0x48, 4);
  for (int d = 0; d < 4; ++d) {
    put32(b, 0x4C + 12 * d, static_cast<std::uint32_t>((n + 3 - d) / 4));
    b.replace(0x50 + 12 * d, 8, directory(d));
  }
  for (std::uint64_t blk = 0; blk < used; ++blk)
    b[kBitmap + blk / 8] = static_cast<char>(b[kBitmap + blk / 8] | (1 << (blk % 8)));

  // Hash tables first, blocks 0.., each linked to the next.
  auto tableAt = [](std::uint32_t t) { return kHeader + t * kTableBlocks * kBlock; };
  for (std::uint32_t t = 0; t < tables; ++t) {
    const std::size_t at = tableAt(t);
    b.replace(at, 4, "HASH");
    put32(b, at + 4, kTableBlocks);
    put32(b, at + 8, t + 1 < tables ? tableAt(t + 1) : 0);
    put32(b, at + 12, t);
    for (std::uint32_t s = 0; s < 510; ++s) {
      const std::uint32_t v = s < kBuckets * kBucketSlots ? 3 : 0xDEADBEEF;
      put32(b, at + 16 + 8 * s, v);
      put32(b, at + 20 + 8 * s, v);
    }
  }

  // Records after the tables.
  const std::uint32_t firstRecord = tableAt(tables);
  for (int i = 0; i < n; ++i) {
    const std::size_t at = firstRecord + static_cast<std::size_t>(i) * kRecordBlocks * kBlock;
    for (std::uint32_t k = 0; k < kRecordBlocks * kBlock; k += 4) put32(b, at + k, 0xDEADBEEF);
    const std::string u = url(i), f = fileName(i);
    b.replace(at, 4, "URL ");
    put32(b, at + 0x04, kRecordBlocks);
    put64(b, at + 0x08, kFileTime);
    put64(b, at + 0x10, kFileTime + 10000000ull * static_cast<std::uint32_t>(i));
    put32(b, at + 0x18, kFatTime);
    put32(b, at + 0x1C, 0);
    put32(b, at + 0x20, kBodySize);
    put32(b, at + 0x24, 0);
    put32(b, at + 0x28, 0);
    put32(b, at + 0x2C, 0);
    put32(b, at + 0x30, 0x60);
    const std::size_t urlAt = 0x68;
    const std::size_t nameAt = align4(urlAt + u.size() + 1);
    const std::size_t extAt = align4(nameAt + f.size() + 1);
    if (extAt + 4 > kRecordBlocks * kBlock) return false;
    put32(b, at + 0x34, urlAt);
    b[at + 0x38] = static_cast<char>(i % 4);
    b[at + 0x39] = 0;
    b[at + 0x3A] = 0x10;
    b[at + 0x3B] = 0x10;
    put32(b, at + 0x3C, static_cast<std::uint32_t>(nameAt));
    put32(b, at + 0x40, 1);
    put32(b, at + 0x44, 0);
    put32(b, at + 0x48, 0);
    put32(b, at + 0x4C, static_cast<std::uint32_t>(extAt));
    put32(b, at + 0x50, kFatTime);
    put32(b, at + 0x54, 1);
    put32(b, at + 0x58, 0);
    put32(b, at + 0x5C, kFatTime);
    put64(b, at + 0x60, 0);
    putText(b, at + urlAt, u);
    putText(b, at + nameAt, f);
    putText(b, at + extAt, "gif");
    const Placement& p = placed[i];
    const std::size_t slot = tableAt(p.table) + 16 + 8 * p.slot;
    put32(b, slot, p.key);
    put32(b, slot + 4, static_cast<std::uint32_t>(at));
  }

  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(folder, ec);
  for (int d = 0; d < 4; ++d) fs::create_directories(fs::path(folder) / directory(d), ec);
  if (ec) return false;
  {
    std::ofstream out(fs::path(folder) / "index.dat", std::ios::binary | std::ios::trunc);
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
    if (!out) return false;
  }
  if (options.withFiles) {
    const std::string body(kBodySize, 'x');
    for (int i = 0; i < n; ++i) {
      std::ofstream out(fs::path(folder) / directory(i) / fileName(i), std::ios::binary);
      out.write(body.data(), body.size());
      if (!out) return false;
    }
  }
  return true;
}

}  // namespace tessarine::bench
