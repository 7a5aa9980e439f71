#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/urlcache/ByteReader.h"
#include "platform/urlcache/msie/MsieUrlRecord.h"

namespace tessarine::urlcache::msie {

// A read-only parse of one index.dat held in memory. Every byte is treated
// as hostile: reads are bounds-checked, the hash-table chain is walked with
// a loop guard, and whatever cannot be read is skipped.
class MsieIndexFile {
 public:
  // One entry of the header's cache directory table.
  struct Directory {
    std::uint32_t fileCount = 0;
    std::string_view name;  // up to 8 bytes, cut at a NUL
  };
  // One hash slot that passes the live rule (key bit 0 clear, offset
  // block-aligned, in the block area and inside the file).
  struct Slot {
    std::uint32_t slotOffset = 0;
    std::uint32_t key = 0;
    std::uint32_t recordOffset = 0;
  };

  // Reads the file at `path` whole; nullopt when it cannot be read, is
  // implausibly large, or does not start with a known signature.
  static std::optional<MsieIndexFile> load(const std::string& path);
  // Reads everything from an open descriptor (positioned reads).
  static std::optional<MsieIndexFile> loadFromFd(int fd);
  // Parses `bytes`; nullopt unless they start with a known signature.
  static std::optional<MsieIndexFile> parse(std::string bytes);

  // True when `bytes` begin with one of the accepted signatures.
  static bool hasKnownSignature(std::string_view bytes);

  // The file's bytes, exactly as read.
  const std::string& bytes() const { return *bytes_; }
  // The header's file-size field.
  std::uint32_t sizeField() const { return sizeField_; }
  // How far records may reach: the real length, or the size field when
  // that is plausible and smaller.
  std::uint32_t limit() const { return limit_; }
  // The cache directory table (at most 32 entries, all inside the header).
  const std::vector<Directory>& directories() const { return directories_; }
  // Live slots in enumeration order: table after table, slot 0 to 509.
  const std::vector<Slot>& liveSlots() const { return slots_; }
  // The URL record a live slot points at, nullopt when the slot does not
  // lead to a readable `URL ` record (REDR, LEAK, damaged record).
  std::optional<MsieUrlRecord> urlRecord(const Slot& slot) const;
  // Every readable URL record of the live slots, in enumeration order.
  std::vector<MsieUrlRecord> urlRecords() const;

 private:
  explicit MsieIndexFile(std::string bytes);
  void walk();

  // Held by pointer so that moving the parse keeps the views valid.
  std::unique_ptr<const std::string> bytes_;
  ByteReader reader_;
  std::uint32_t sizeField_ = 0;
  std::uint32_t limit_ = 0;
  std::vector<Directory> directories_;
  std::vector<Slot> slots_;
};

}  // namespace tessarine::urlcache::msie
