// A file size limit for the tests of failed writes (POSIX only: the
// Windows build leaves it and its tests out).
#pragma once

namespace testkit {

// While alive, every write at or past `limit` bytes into a file fails, as on
// a full disk; the writer sees EFBIG instead of a signal.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(long limit);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  unsigned long long saved_;
  void (*saved_handler_)(int);
};

}  // namespace testkit
