// The dump file: read by position (offset, length -> bytes got), so that
// gigabyte dumps are never loaded whole. The system's file position, which
// translations move (they read page tables) and readers then seek, is the
// explicit position of this object.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/binary_file.h"
#include "common/le.h"

namespace morvik {

// What a translation yields for memory that is not present (a page
// directory or page table entry with frame 0, or a descriptor that could
// not be read): no dump offset. Seeking there fails and reads get nothing,
// so callers see a short read instead of reading frame 0 by accident.
constexpr uint32_t kNoDumpOffset = 0xFFFFFFFFu;

class DumpImage {
 public:
  bool open(const std::string& path) {
    forget();
    return file_.open(path);
  }
  void close() {
    file_.close();
    forget();
  }
  bool is_open() const { return file_.is_open(); }
  const std::string& path() const { return file_.path(); }
  uint64_t size() const { return file_.size(); }

  // Positional read; does not move the file position. Returns bytes got.
  size_t read_at(uint64_t offset, void* buf, size_t len) const;
  bool read_u16_at(uint64_t offset, uint16_t& v) const;
  bool read_u32_at(uint64_t offset, uint32_t& v) const;

  // The file position. Seeking to kNoDumpOffset fails (and reads there get
  // nothing); any other offset is accepted, as with the C library.
  bool seek(uint64_t offset) {
    pos_ = offset;
    return offset != kNoDumpOffset && file_.is_open();
  }
  uint64_t tell() const { return pos_; }
  size_t read(void* buf, size_t len) {
    size_t got = read_at(pos_, buf, len);
    pos_ += got;
    return got;
  }
  // fread-like: whole items got.
  size_t read_items(void* buf, size_t item, size_t count) {
    if (item == 0 || count == 0) return 0;
    return read(buf, item * count) / item;
  }

  // Reads made on the dump file so far, and reads of a page that had been
  // read before (the cache let it go).
  uint64_t file_reads() const { return file_reads_; }
  uint64_t pages_read_again() const { return pages_read_again_; }

  static constexpr size_t kPage = 4096;
  static constexpr size_t kCachePages = 256;  // 1 MiB

 private:
  struct CachedPage {
    uint64_t index = UINT64_MAX;
    uint64_t used = 0;  // last use, for letting the least recent go
    size_t len = 0;     // bytes in the file (the last page may be short)
    std::vector<unsigned char> bytes;
  };
  const CachedPage& page(uint64_t index) const;
  void forget() {
    cache_.clear();
    where_.clear();
    seen_.clear();
    pos_ = 0;
  }

  vt::BinaryFile file_;
  uint64_t pos_ = 0;
  // A few pages of the dump, so that walks that come back to the same
  // memory (page tables, descriptors, data) read each page once.
  mutable std::vector<CachedPage> cache_;
  mutable std::unordered_map<uint64_t, size_t> where_;  // page index -> cache_ slot
  mutable uint64_t clock_ = 0;
  mutable uint64_t file_reads_ = 0;
  mutable uint64_t pages_read_again_ = 0;
  mutable std::vector<bool> seen_;  // pages read so far (one bit a page)
};

inline size_t DumpImage::read_at(uint64_t offset, void* buf, size_t len) const {
  if (offset == kNoDumpOffset || !file_.is_open()) return 0;
  unsigned char* out = static_cast<unsigned char*>(buf);
  size_t done = 0;
  while (done < len) {
    uint64_t at = offset + done;
    const CachedPage& p = page(at / kPage);
    size_t in = static_cast<size_t>(at % kPage);
    if (in >= p.len) break;
    size_t n = std::min(len - done, p.len - in);
    std::memcpy(out + done, p.bytes.data() + in, n);
    done += n;
    if (in + n < kPage && done < len) break;  // the file ends in this page
  }
  return done;
}

inline const DumpImage::CachedPage& DumpImage::page(uint64_t index) const {
  ++clock_;
  if (auto it = where_.find(index); it != where_.end()) {
    cache_[it->second].used = clock_;
    return cache_[it->second];
  }
  size_t slot = cache_.size();
  if (slot < kCachePages) {
    cache_.emplace_back();
    cache_.back().bytes.resize(kPage);
  } else {
    slot = 0;
    for (size_t i = 1; i < cache_.size(); ++i)
      if (cache_[i].used < cache_[slot].used) slot = i;
    where_.erase(cache_[slot].index);
  }
  CachedPage& p = cache_[slot];
  p.index = index;
  p.used = clock_;
  p.len = 0;
  if (index * kPage < file_.size()) {
    p.len = file_.pread(index * kPage, p.bytes.data(), kPage);
    ++file_reads_;
  }
  if (index < (uint64_t{1} << 32)) {
    if (seen_.size() <= index) seen_.resize(static_cast<size_t>(index) + 1 + seen_.size() / 2);
    if (seen_[static_cast<size_t>(index)]) ++pages_read_again_;
    seen_[static_cast<size_t>(index)] = true;
  }
  where_[index] = slot;
  return p;
}

inline bool DumpImage::read_u16_at(uint64_t offset, uint16_t& v) const {
  unsigned char b[2];
  if (read_at(offset, b, 2) != 2) return false;
  v = vt::le16(b);
  return true;
}

inline bool DumpImage::read_u32_at(uint64_t offset, uint32_t& v) const {
  unsigned char b[4];
  if (read_at(offset, b, 4) != 4) return false;
  v = vt::le32(b);
  return true;
}

}  // namespace morvik
