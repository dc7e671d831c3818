#include "common/binary_file.h"

#include <cstring>

namespace vt {

namespace {
constexpr size_t kReadAhead = 64 * 1024;
bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
}  // namespace

bool BinaryFile::open(const std::string& path) {
  close();
  if (!handle_.open(path)) return false;
  path_ = path;
  return true;
}

void BinaryFile::close() {
  handle_.close();
  path_.clear();
  pos_ = 0;
  buf_.clear();
  buf_start_ = 0;
}

size_t BinaryFile::pread(uint64_t offset, void* buf, size_t len) const { return handle_.pread(offset, buf, len); }

bool BinaryFile::seek(uint64_t pos) {
  if (!is_open()) return false;
  pos_ = pos;
  return true;
}

size_t BinaryFile::read(void* buf, size_t len) {
  size_t got = pread(pos_, buf, len);
  pos_ += got;
  return got;
}

size_t BinaryFile::read_items(void* buf, size_t item, size_t count) {
  if (item == 0 || count == 0) return 0;
  size_t got = read(buf, item * count);
  return got / item;
}

bool BinaryFile::fill() {
  if (pos_ >= buf_start_ && pos_ < buf_start_ + buf_.size()) return true;
  buf_.resize(kReadAhead);
  size_t got = pread(pos_, buf_.data(), buf_.size());
  buf_.resize(got);
  buf_start_ = pos_;
  return got > 0;
}

int BinaryFile::getc() {
  if (!fill()) return -1;
  int c = buf_[static_cast<size_t>(pos_ - buf_start_)];
  ++pos_;
  return c;
}

bool BinaryFile::read_word(std::string& word, size_t max) {
  word.clear();
  int c;
  do c = getc();
  while (c >= 0 && is_space(c));
  if (c < 0) return false;
  while (c >= 0 && !is_space(c)) {
    if (word.size() < max) word.push_back(static_cast<char>(c));
    c = getc();
  }
  if (c >= 0) --pos_;  // the delimiter stays unread, as with "%s"
  return true;
}

bool BinaryFile::read_line(std::string& line, size_t max) {
  line.clear();
  int c = getc();
  if (c < 0) return false;
  while (c >= 0 && c != '\n') {
    if (line.size() < max) line.push_back(static_cast<char>(c));
    c = getc();
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace vt
