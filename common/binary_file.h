// A binary input file with an explicit file position: positional reads for
// random access, plus the sequential reads (read, getc, tokens) that move
// the position the way the C file functions the formats were made for do.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/platform.h"

namespace vt {

class BinaryFile {
 public:
  bool open(const std::string& path);
  void close();
  bool is_open() const { return handle_.is_open(); }
  const std::string& path() const { return path_; }
  uint64_t size() const { return handle_.size(); }

  // Positional read; does not move the file position. Returns bytes got.
  size_t pread(uint64_t offset, void* buf, size_t len) const;

  // The file position. A seek past the end succeeds (reads there get
  // nothing), as with the C library.
  bool seek(uint64_t pos);
  uint64_t tell() const { return pos_; }
  bool at_end() const { return pos_ >= size(); }

  // Reads at the position and advances by the bytes got.
  size_t read(void* buf, size_t len);
  // fread-like: reads up to `count` whole items of `item` bytes; returns
  // the items got (a partial item moves the position but is not counted).
  size_t read_items(void* buf, size_t item, size_t count);
  // One byte, or -1 at the end.
  int getc();
  // Skips white space, then reads one white-space-delimited word (as "%s"
  // does) of which at most `max` characters are kept. False at the end.
  bool read_word(std::string& word, size_t max = SIZE_MAX);
  // Reads the rest of the current line without its LF or CR LF. False at
  // the end of the file.
  bool read_line(std::string& line, size_t max = SIZE_MAX);

 private:
  bool fill();
  ReadOnlyHandle handle_;
  std::string path_;
  uint64_t pos_ = 0;
  // Read-ahead for getc and words: bytes [buf_start_, buf_start_ + buf_.size()).
  std::vector<unsigned char> buf_;
  uint64_t buf_start_ = 0;
};

}  // namespace vt
