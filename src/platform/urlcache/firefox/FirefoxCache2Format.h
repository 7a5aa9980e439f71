#pragma once

#include <cstddef>
#include <cstdint>

// Byte layout of Firefox's "cache2" disk cache. Every integer it stores is
// big-endian. An entry file is: data (body, then optional alternative data),
// metadata block, trailer.
namespace tessarine::urlcache::firefox_cache2 {

// Folder layout.
constexpr const char* kEntriesDir = "entries";
constexpr const char* kDoomedDir = "doomed";
constexpr const char* kIndexFile = "index";
constexpr const char* kIndexLogFile = "index.log";
// Entry files are named by the SHA-1 of their key: 40 hex digits.
constexpr std::size_t kEntryNameLength = 40;

// The data region is checksummed in chunks of this size.
constexpr std::uint64_t kChunkSize = 262144;

// Trailer. Version 4 ends with two words (version, offset word); versions
// 1..3 end with one word (the data size D).
constexpr std::uint32_t kTrailerVersionMin = 4;
constexpr std::uint32_t kTrailerVersionMax = 255;
constexpr std::size_t kTrailerSizeCurrent = 8;
constexpr std::size_t kTrailerSizeOld = 4;
constexpr std::uint32_t kEncryptedFlag = 0x80000000u;
constexpr std::uint32_t kDataSizeMask = 0x7FFFFFFFu;

// Metadata block, relative to D: checksum, N chunk hashes, header, key, NUL,
// elements.
constexpr std::size_t kMetaChecksumOffset = 0;
constexpr std::size_t kMetaChunkHashesOffset = 4;
constexpr std::size_t kChunkHashSize = 2;

// Header, relative to its start (after the chunk hashes).
constexpr std::size_t kHdrVersion = 0;
constexpr std::size_t kHdrFetchCount = 4;
constexpr std::size_t kHdrLastFetched = 8;
constexpr std::size_t kHdrLastModified = 12;
constexpr std::size_t kHdrFrecency = 16;
constexpr std::size_t kHdrExpiration = 20;
constexpr std::size_t kHdrKeySize = 24;
constexpr std::size_t kHdrFlags = 28;  // absent in version 1
constexpr std::size_t kHeaderSizeV1 = 28;
constexpr std::size_t kHeaderSize = 32;
constexpr std::uint32_t kMetadataVersionMin = 1;
constexpr std::uint32_t kMetadataVersionMax = 4;
constexpr std::uint32_t kNoExpiration = 0xFFFFFFFFu;

// Smallest possible file: checksum, v1 header, key NUL, old trailer.
constexpr std::uint64_t kMinEntryFileSize = 4 + kHeaderSizeV1 + 1 + kTrailerSizeOld;
// Metadata larger than this is taken for damage rather than read.
constexpr std::uint64_t kMaxMetadataSize = 16u << 20;
// More elements than this are taken for damage.
constexpr std::size_t kMaxElements = 4096;

// Element names.
constexpr const char* kElemResponseHead = "response-head";
constexpr const char* kElemAltData = "alt-data";
constexpr const char* kElemRequestMethod = "request-method";
// Version prefix of the alt-data value: "1;<offset>,<type>".
constexpr const char* kAltDataVersionPrefix = "1;";

// Key grammar: tags "<char>[value]," then ":" and the URL.
constexpr char kKeyUrlTag = ':';
constexpr char kKeyTagEnd = ',';
constexpr char kKeyAnonymousTag = 'a';

}  // namespace tessarine::urlcache::firefox_cache2
