// The dump file: read by position (offset, length -> bytes got), so that
// gigabyte dumps are never loaded whole. The system's file position, which
// translations move (they read page tables) and readers then seek, is the
// explicit position of this object.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

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
  bool open(const std::string& path) { return file_.open(path); }
  void close() { file_.close(); }
  bool is_open() const { return file_.is_open(); }
  const std::string& path() const { return file_.path(); }
  uint64_t size() const { return file_.size(); }

  // Positional read; does not move the file position. Returns bytes got.
  size_t read_at(uint64_t offset, void* buf, size_t len) const {
    if (offset == kNoDumpOffset) return 0;
    return file_.pread(offset, buf, len);
  }
  bool read_u16_at(uint64_t offset, uint16_t& v) const;
  bool read_u32_at(uint64_t offset, uint32_t& v) const;

  // The file position. Seeking to kNoDumpOffset fails (and reads there get
  // nothing); any other offset is accepted, as with the C library.
  bool seek(uint64_t offset) {
    file_.seek(offset);
    return offset != kNoDumpOffset && file_.is_open();
  }
  uint64_t tell() const { return file_.tell(); }
  size_t read(void* buf, size_t len) {
    if (file_.tell() == kNoDumpOffset) return 0;
    return file_.read(buf, len);
  }
  // fread-like: whole items got.
  size_t read_items(void* buf, size_t item, size_t count) {
    if (file_.tell() == kNoDumpOffset) return 0;
    return file_.read_items(buf, item, count);
  }

 private:
  vt::BinaryFile file_;
};

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
