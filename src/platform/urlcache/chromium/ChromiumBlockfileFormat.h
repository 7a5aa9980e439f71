#pragma once

#include <cstddef>
#include <cstdint>

// Byte layout of Chromium's "blockfile" disk cache backend: the `index`
// file, the block files `data_N`, cache addresses, entry records, rankings
// nodes and sparse control data. All integers are little-endian.
namespace tessarine::urlcache::chromium_blockfile {

// --- File names ---------------------------------------------------------
constexpr char kIndexFileName[] = "index";
constexpr char kBlockFilePrefix[] = "data_";    // + decimal file number
constexpr char kExternalFilePrefix[] = "f_";    // + 6 (or more) hex digits
constexpr int kExternalFileDigits = 6;

// --- The index file -----------------------------------------------------
constexpr std::uint32_t kIndexMagic = 0xc103cac3U;
constexpr std::uint32_t kIndexVersion2_0 = 0x20000;
constexpr std::uint32_t kIndexVersion2_1 = 0x20001;
constexpr std::uint32_t kIndexVersion3_0 = 0x30000;
constexpr std::size_t kIndexMagicOffset = 0x00;
constexpr std::size_t kIndexVersionOffset = 0x04;
constexpr std::size_t kIndexEntryCountOffset = 0x08;
constexpr std::size_t kIndexLastFileOffset = 0x10;
constexpr std::size_t kIndexSessionOffset = 0x14;
constexpr std::size_t kIndexTableLengthOffset = 0x1c;
constexpr std::size_t kIndexCrashOffset = 0x20;
constexpr std::size_t kIndexHeaderSize = 0x170;  // the hash table follows
constexpr std::size_t kBucketSize = 4;           // one cache address
// A stored table length of 0 means this one.
constexpr std::uint32_t kDefaultTableLength = 65536;
// Longer tables than this are not read: Chromium's largest is far below.
constexpr std::uint32_t kMaxTableLength = 1u << 22;

// --- Block files (`data_N`) -----------------------------------------------
constexpr std::uint32_t kBlockFileMagic = 0xc104cac3U;
constexpr std::uint32_t kBlockFileVersion = 0x20000;
constexpr std::size_t kBlockMagicOffset = 0x00;
constexpr std::size_t kBlockVersionOffset = 0x04;
constexpr std::size_t kBlockThisFileOffset = 0x08;  // i16
constexpr std::size_t kBlockNextFileOffset = 0x0a;  // i16
constexpr std::size_t kBlockSizeOffset = 0x0c;      // i32
constexpr std::size_t kBlockFileHeaderSize = 8192;  // blocks follow
constexpr int kMaxBlockFileNumber = 255;            // 8 bits in an address

// --- Cache addresses -------------------------------------------------------
constexpr std::uint32_t kAddressInitialized = 1u << 31;
constexpr int kAddressTypeShift = 28;
constexpr std::uint32_t kAddressTypeMask = 0x7;
constexpr std::uint32_t kAddressExternalNumberMask = 0x0fffffff;
constexpr int kAddressBlockCountShift = 24;        // count - 1
constexpr std::uint32_t kAddressBlockCountMask = 0x3;
constexpr int kAddressFileNumberShift = 16;
constexpr std::uint32_t kAddressFileNumberMask = 0xff;
constexpr std::uint32_t kAddressStartBlockMask = 0xffff;
constexpr std::uint32_t kMaxBlocksPerAddress = 4;

// File types of an address (bits 28-30). 5-7 never shipped.
constexpr std::uint32_t kTypeExternal = 0;
constexpr std::uint32_t kTypeRankings = 1;
constexpr std::uint32_t kTypeBlock256 = 2;
constexpr std::uint32_t kTypeBlock1K = 3;
constexpr std::uint32_t kTypeBlock4K = 4;
constexpr std::uint32_t kLastBlockType = kTypeBlock4K;

// Block size of each block type, indexed by type (0: external, no blocks).
constexpr std::uint32_t kBlockSizeOfType[] = {0, 36, 256, 1024, 4096};

// --- Entry record (256-byte blocks, 1-4 of them) ----------------------------
constexpr std::size_t kEntryHashOffset = 0x00;
constexpr std::size_t kEntryNextOffset = 0x04;
constexpr std::size_t kEntryRankingsOffset = 0x08;
constexpr std::size_t kEntryReuseCountOffset = 0x0c;
constexpr std::size_t kEntryStateOffset = 0x14;
constexpr std::size_t kEntryCreationTimeOffset = 0x18;
constexpr std::size_t kEntryKeyLengthOffset = 0x20;
constexpr std::size_t kEntryLongKeyOffset = 0x24;
constexpr std::size_t kEntryStreamSizesOffset = 0x28;  // i32 x 4
constexpr std::size_t kEntryStreamAddressesOffset = 0x38;  // u32 x 4
constexpr std::size_t kEntryFlagsOffset = 0x48;
constexpr std::size_t kEntrySelfHashOffset = 0x5c;  // hash of bytes before it
constexpr std::size_t kEntryInlineKeyOffset = 0x60;
constexpr std::size_t kEntryRecordSize = 256;
constexpr std::size_t kStreamCount = 4;
constexpr std::uint32_t kEntryStateNormal = 0;
constexpr std::uint32_t kEntryFlagSparseParent = 1u << 0;
constexpr std::uint32_t kEntryFlagSparseChild = 1u << 1;
constexpr int kResponseInfoStream = 0;
constexpr int kBodyStream = 1;
constexpr int kSparseStream = 2;
// Keys longer than this are stored outside the record; Chromium limits a
// key to what a URL may be (2 MiB) and a little prefix.
constexpr std::size_t kMaxKeyLength = 4u << 20;

// --- Rankings node (36-byte blocks in data_0) -----------------------------
constexpr std::size_t kRankingsLastUsedOffset = 0x00;
constexpr std::size_t kRankingsLastModifiedOffset = 0x08;
constexpr std::size_t kRankingsContentsOffset = 0x18;
constexpr std::size_t kRankingsDirtyOffset = 0x1c;
constexpr std::size_t kRankingsSelfHashOffset = 0x20;  // hash of bytes before it
constexpr std::size_t kRankingsNodeSize = 36;

// --- Sparse control data (stream 2 of parents and children) -----------------
constexpr std::size_t kSparseSignatureOffset = 0x00;   // i64
constexpr std::size_t kSparseMagicOffset = 0x08;       // kIndexMagic
constexpr std::size_t kSparseLastBlockOffset = 0x10;   // i32
constexpr std::size_t kSparseLastBlockLengthOffset = 0x14;  // i32
constexpr std::size_t kSparseHeaderSize = 64;          // bitmap follows
constexpr std::size_t kSparseChildBitmapSize = 128;    // 1 024 bits
constexpr std::uint64_t kSparseChildSpan = 1u << 20;   // bytes per child
constexpr std::uint64_t kSparseBlockSize = 1024;       // bytes per bit
constexpr char kSparseChildKeyPrefix[] = "Range_";
// A parent's bitmap holds at most this many bytes (one bit per child).
constexpr std::size_t kMaxSparseParentBitmap = 8192;

}  // namespace tessarine::urlcache::chromium_blockfile
