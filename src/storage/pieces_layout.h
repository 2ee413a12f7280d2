// On-flash layout of one pieces area: area header, file system header, descriptor table and
// content region. Every integer is 32-bit little-endian; the records are byte-packed.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <optional>
#include <span>
#include <string_view>

#include "os/le_bytes.h"

namespace bsp::storage::pieces {

// A little-endian 32-bit field with byte alignment, so records map onto any image offset.
class Le32 {
 public:
  operator uint32_t() const { return load_le32(b_); }
  Le32 &operator=(uint32_t v) {
    store_le32(b_, v);
    return *this;
  }

 private:
  uint8_t b_[4];
};
static_assert(sizeof(Le32) == 4 && alignof(Le32) == 1);

struct PIECES_HEAD_S {
  Le32 ulValidFlag;
  Le32 ulCrc;
  Le32 ulPieceSize;
  Le32 ulResv1;
};

struct PIECES_FILE_HEAD {
  char ucPieceFileVer[64];
  Le32 ulPieceMainAddrBase;
  Le32 ulPieceSpareAddrBase;
  Le32 ulPicecSize;
  Le32 ulPieceFileMax;
  Le32 ulPieceUnitSize;
  Le32 ulPpieceFileNameLength;
  Le32 ulPieceHeadOffset;
  Le32 ulPieceFileDesOffset;
  Le32 ulPieceContenOffset;
  Le32 ulPieceContentUsedOffset;
  Le32 ulPieceFileMaxLength;
  Le32 ulPieceFileDesIndexNext;
};

struct PIECES_FILE_DES {
  char ulPieceFileName[64];
  Le32 ulPieceFileSize;
  Le32 ulPieceFileMemOffset;
  Le32 ulUsedFlag;
};

static_assert(sizeof(PIECES_HEAD_S) == 16);
static_assert(sizeof(PIECES_FILE_HEAD) == 112);
static_assert(sizeof(PIECES_FILE_DES) == 76);

inline constexpr uint32_t kValidFlag = 0x59A2D6CF;
inline constexpr uint32_t kHeadOffset = 16;
inline constexpr uint32_t kDesOffset = 128;
inline constexpr uint32_t kDesSlots = 256;
inline constexpr uint32_t kContentOffset = kDesOffset + kDesSlots * sizeof(PIECES_FILE_DES);
inline constexpr uint32_t kUnit = 32;
inline constexpr uint32_t kNameLength = 64;
inline constexpr uint32_t kUsedFlag = 0x722;
inline constexpr uint32_t kVacatedFlag = 0x1979;
inline constexpr char kMagic[] = "PFS1.1";
static_assert(kContentOffset == 19584);
static_assert(kHeadOffset + sizeof(PIECES_FILE_HEAD) == kDesOffset);

// Result codes of the pieces file system.
enum Code : uint32_t {
  kOk = 0,
  kErrNull = 0x810401A1,
  kErrRange = 0x810401A9,
  kErrNoFile = 0x810401AB,
  kErrNotStamped = 0x810401AE,
  kErrCrc = 0x810404A1,
  kErrAlloc = 0x810404AA,
  kErrLockTake = 0x810407A2,
  kErrLockCreate = 0x810407A7,
  kErrFull = 0x81040CA3,
};

// Size rounded up to the allocation unit, computed without wrapping.
inline uint64_t round_unit(uint64_t n) { return (n + kUnit - 1) & ~static_cast<uint64_t>(kUnit - 1); }

// One file as the descriptor table describes it.
struct FileRef {
  uint32_t index;
  uint32_t offset;  // area offset of the content
  uint32_t size;    // allocated size
};

// A view of one area image (size S bytes) as a file system. It never reads outside the image;
// the structural operations assume consistent() holds.
class Volume {
 public:
  Volume(uint8_t *area, uint32_t size) : area_(area), size_(size) {}

  uint8_t *bytes() const { return area_; }
  uint32_t size() const { return size_; }
  bool big_enough() const { return area_ != nullptr && size_ >= kContentOffset; }
  PIECES_HEAD_S &area_head() const { return *reinterpret_cast<PIECES_HEAD_S *>(area_); }
  PIECES_FILE_HEAD &head() const { return *reinterpret_cast<PIECES_FILE_HEAD *>(area_ + kHeadOffset); }
  PIECES_FILE_DES &des(uint32_t i) const {
    return *reinterpret_cast<PIECES_FILE_DES *>(area_ + kDesOffset + i * sizeof(PIECES_FILE_DES));
  }

  // The header names this format (any version beginning with the three letters).
  bool has_magic() const;
  // Header and descriptors describe contents that lie back to back inside the content region,
  // with terminated names and counts within the table: safe to follow.
  bool consistent() const;
  // What an area must satisfy to be accepted as it stands: room for the header and descriptor
  // table, and either no magic (it will be formatted) or a consistent layout.
  bool acceptable() const { return big_enough() && (!has_magic() || consistent()); }

  void format(uint32_t main_addr, uint32_t spare_addr);

  // 0 and the file, 1 when absent, or a code (kErrRange for a name that is too long).
  uint32_t lookup(const char *name, FileRef *found) const;
  // Appends a file of round_unit(length) zero bytes; kErrFull when it does not fit.
  uint32_t create(const char *name, uint64_t length, FileRef *made);
  // Grows the last file in place to round_unit(need) bytes; kErrFull when it does not fit.
  uint32_t grow_last(const FileRef &file, uint64_t need);
  // Removes a file; the later contents and descriptors move down.
  void remove(const FileRef &file);
  std::span<uint8_t> content(const FileRef &file) const { return {area_ + file.offset, file.size}; }
  uint32_t count() const { return head().ulPieceFileDesIndexNext; }
  FileRef file(uint32_t i) const { return {i, des(i).ulPieceFileMemOffset, des(i).ulPieceFileSize}; }

 private:
  uint8_t *area_;
  uint32_t size_;
};

// Carries files changed in `ours` since `base` over into `result` (a newer image of the area
// committed elsewhere): files deleted here are deleted there, files created or changed here
// replace theirs. Files nobody here touched keep the newer contents.
void merge_changes(Volume &result, const Volume &base, const Volume &ours, uint32_t main_addr, uint32_t spare_addr);

}  // namespace bsp::storage::pieces

namespace bsp::storage::pieces {

// The descriptor's name, cut at 63 characters when the stored one lacks a terminator.
inline void copy_name(const PIECES_FILE_DES &d, char (&out)[kNameLength]) {
  size_t n = strnlen(d.ulPieceFileName, kNameLength - 1);
  memcpy(out, d.ulPieceFileName, n);
  out[n] = '\0';
}

inline const char *flag_text(const PIECES_FILE_DES &d) { return d.ulUsedFlag == kUsedFlag ? "USED" : "DELETED"; }

}  // namespace bsp::storage::pieces
