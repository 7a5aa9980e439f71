#pragma once

#include <cstddef>
#include <cstdint>

// Byte layout of Chromium's "simple" disk cache backend and of the HTTP
// response info it keeps in stream 0. All integers are little-endian.
namespace tessarine::urlcache::chromium_simple {

// --- The `index` marker file and entry file headers --------------------
// Initial magic of `index` and of every entry file.
constexpr std::uint64_t kInitialMagic = 0xfcfb6d1ba7725c30ULL;
// First four bytes of a blockfile backend's `index` (not ours).
constexpr std::uint32_t kBlockfileIndexMagic = 0xc103cac3U;
// First bytes of an sql backend's `index` (not ours).
constexpr char kSqlIndexMagic[] = "SQLCache";
constexpr std::size_t kIndexFileSize = 24;

// Entry file header (`_0`, `_1`, `_s`): 20 bytes padded to 24.
constexpr std::size_t kHeaderMagicOffset = 0x00;
constexpr std::size_t kHeaderVersionOffset = 0x08;
constexpr std::size_t kHeaderKeyLengthOffset = 0x0c;
constexpr std::size_t kHeaderKeyHashOffset = 0x10;
constexpr std::size_t kHeaderSize = 24;  // the key follows
constexpr std::uint32_t kEntryVersion = 5;        // `_0` and `_1` files
constexpr std::uint32_t kSparseFileVersion = 9;   // `_s` files

// --- EOF record ending each stream of a `_0` file ----------------------
constexpr std::uint64_t kFinalMagic = 0xf4fa6f45970d41d8ULL;
constexpr std::size_t kEofMagicOffset = 0;
constexpr std::size_t kEofFlagsOffset = 8;
constexpr std::size_t kEofCrcOffset = 12;
constexpr std::size_t kEofStreamSizeOffset = 16;  // stream 0's record only
constexpr std::size_t kEofRecordSize = 24;
constexpr std::uint32_t kEofFlagHasCrc = 1u << 0;
constexpr std::uint32_t kEofFlagHasKeySha256 = 1u << 1;
constexpr std::size_t kKeySha256Size = 32;  // precedes stream 0's record

// --- Range records of a `_s` file, after its header and key -----------
// Each 32-byte record is followed by its data.
constexpr std::uint64_t kSparseRangeMagic = 0xeb97bf016553676bULL;
constexpr std::size_t kSparseRangeMagicOffset = 0;
constexpr std::size_t kSparseRangeOffsetOffset = 8;   // i64, in the resource
constexpr std::size_t kSparseRangeLengthOffset = 16;  // i64
constexpr std::size_t kSparseRangeCrcOffset = 24;     // CRC-32 of the data
constexpr std::size_t kSparseRangeHeaderSize = 32;

// --- File names ---------------------------------------------------------
// `<16 lower-case hex digits of the entry hash>` + one of these.
constexpr char kStream01Suffix[] = "_0";
constexpr char kStream2Suffix[] = "_1";
constexpr char kSparseSuffix[] = "_s";
constexpr std::size_t kEntryHashDigits = 16;
// The index proper, relative to the cache folder; removing it makes the
// browser rebuild its index from the entry files.
constexpr char kRealIndexPath[] = "index-dir/the-real-index";
constexpr char kIndexFileName[] = "index";
// The cache folder inside a profile's `Cache` folder.
constexpr char kCacheDataFolder[] = "Cache_Data";

// --- Stream 0: the pickled HTTP response info -------------------------
// u32 payload size, then fields each starting at a multiple of 4.
constexpr std::size_t kPickleHeaderSize = 4;
constexpr std::uint32_t kResponseInfoVersion = 3;  // low 8 bits of flags
constexpr std::uint32_t kResponseInfoVersionMask = 0xff;
constexpr std::uint32_t kResponseFlagTruncated = 1u << 12;
constexpr std::uint32_t kResponseFlagHasExtraFlags = 1u << 31;
constexpr std::uint32_t kResponseExtraFlagOriginalTime = 1u << 2;

// --- Time values ---------------------------------------------------------
// Microseconds since 1601-01-01 UTC; FILETIME counts 100 ns units.
constexpr std::int64_t kFiletimeUnitsPerMicrosecond = 10;

// --- Limits we impose on hostile files ---------------------------------
// Longer keys are not taken for real ones (a URL Chromium keeps is at most
// 2 MiB long).
constexpr std::uint32_t kMaxKeyLength = 4u << 20;
// Stream 0 holds headers and certificates, never megabytes.
constexpr std::uint32_t kMaxStream0Size = 16u << 20;

}  // namespace tessarine::urlcache::chromium_simple
