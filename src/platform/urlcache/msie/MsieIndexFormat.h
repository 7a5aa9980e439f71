#pragma once

#include <cstdint>
#include <string_view>

// Layout of the WinINet URL cache index file (index.dat), version 5.2 as
// Internet Explorer 5 to 9 and Wine write it. All integers little-endian;
// offsets are from the start of the file unless said otherwise.
namespace tessarine::urlcache::msie {

// Signatures (the first 28 bytes, NUL-padded) this reader accepts.
constexpr std::string_view kSignatureIe52 = "Client UrlCache MMF Ver 5.2";
constexpr std::string_view kSignatureWine2012 = "WINE URLCache Ver 0.2012001";
constexpr std::string_view kSignatureWine2005 = "WINE URLCache Ver 0.2005001";
constexpr std::uint32_t kSignatureLength = 28;

// Header.
constexpr std::uint32_t kHeaderSize = 0x4000;
constexpr std::uint32_t kHeaderFileSize = 0x1C;         // u32
constexpr std::uint32_t kHeaderFirstHashTable = 0x20;   // u32
constexpr std::uint32_t kHeaderTotalBlocks = 0x24;      // u32
constexpr std::uint32_t kHeaderAllocatedBlocks = 0x28;  // u32
constexpr std::uint32_t kHeaderQuota = 0x30;            // u64
constexpr std::uint32_t kHeaderBytesInUse = 0x38;       // u64, non-sticky entries
constexpr std::uint32_t kHeaderStickyBytesInUse = 0x40; // u64, sticky entries
constexpr std::uint32_t kHeaderDirectoryCount = 0x48;   // u32
constexpr std::uint32_t kHeaderDirectoryTable = 0x4C;
constexpr std::uint32_t kDirectoryEntrySize = 12;
constexpr std::uint32_t kDirectoryFileCount = 0;        // u32, within an entry
constexpr std::uint32_t kDirectoryName = 4;             // 8 bytes, within an entry
constexpr std::uint32_t kDirectoryNameLength = 8;
constexpr std::uint32_t kMaxDirectories = 32;
constexpr std::uint32_t kHeaderBitmap = 0x250;
// Blocks the allocation bitmap can describe (bitmap runs to the header's end).
constexpr std::uint32_t kBitmapCapacityBlocks = (kHeaderSize - kHeaderBitmap) * 8;

// Blocks.
constexpr std::uint32_t kBlockSize = 0x80;

// Every record.
constexpr std::uint32_t kRecordSignature = 0x00;  // 4 bytes
constexpr std::uint32_t kRecordBlocks = 0x04;     // u32
constexpr std::string_view kHashSignature = "HASH";
constexpr std::string_view kUrlSignature = "URL ";

// Hash table (HASH).
constexpr std::uint32_t kHashNextTable = 0x08;  // u32, 0 for the last
constexpr std::uint32_t kHashSequence = 0x0C;   // u32
constexpr std::uint32_t kHashSlots = 0x10;
constexpr std::uint32_t kHashSlotCount = 510;
constexpr std::uint32_t kHashSlotSize = 8;      // u32 key, u32 record offset
constexpr std::uint32_t kHashTableSize = 0x1000;
constexpr std::uint32_t kHashTableBlocks = kHashTableSize / kBlockSize;
// Key bit 0 set: slot not in use (3 = never used, 1 = deleted, filler).
constexpr std::uint32_t kSlotKeyFreeBit = 0x1;
constexpr std::uint32_t kSlotKeyDeleted = 0x1;

// URL record (URL ), from the record start.
constexpr std::uint32_t kUrlLastModified = 0x08;  // FILETIME
constexpr std::uint32_t kUrlLastAccess = 0x10;    // FILETIME
constexpr std::uint32_t kUrlExpire = 0x18;        // FAT date/time
constexpr std::uint32_t kUrlFileSizeLow = 0x20;   // u32
constexpr std::uint32_t kUrlFileSizeHigh = 0x24;  // u32
constexpr std::uint32_t kUrlExemptDelta = 0x2C;   // u32, seconds
constexpr std::uint32_t kUrlUrlOffset = 0x34;     // u32
constexpr std::uint32_t kUrlDirectoryIndex = 0x38;  // u8
constexpr std::uint32_t kUrlFileNameOffset = 0x3C;  // u32, 0: no file
constexpr std::uint32_t kUrlEntryType = 0x40;       // u32
constexpr std::uint32_t kUrlHeaderOffset = 0x44;    // u32, 0: none
constexpr std::uint32_t kUrlHeaderLength = 0x48;    // u32
constexpr std::uint32_t kUrlExtensionOffset = 0x4C; // u32, 0: none
constexpr std::uint32_t kUrlLastSync = 0x50;        // FAT date/time
constexpr std::uint32_t kUrlHitRate = 0x54;         // u32
constexpr std::uint32_t kUrlUseCount = 0x58;        // u32
constexpr std::uint32_t kUrlFileTime = 0x5C;        // FAT date/time of the local file
constexpr std::uint32_t kUrlFixedSize = 0x68;

// Directory index values that name no table entry.
constexpr std::uint8_t kDirectoryBesideIndex = 0xFE;
constexpr std::uint8_t kDirectoryNone = 0xFF;

// Entry type bit of a sticky (exempt) entry.
constexpr std::uint32_t kTypeSticky = 0x4;

}  // namespace tessarine::urlcache::msie
