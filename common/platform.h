// The few things the standard library does not offer portably.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace vt {

// Replaces `target` by `source` in one step where the platform allows it.
// Returns false (and leaves `target` alone) on failure, with the system's
// reason in `reason` when given.
bool replace_file(const std::string& source, const std::string& target, std::string* reason = nullptr);

// The system's text for an errno value, as perror would print it.
std::string error_text(int errnum);

// 64-bit positions in a C file (`long` is 32 bits on Windows). The seeks
// return false on failure; tell_file returns -1.
bool seek_file(std::FILE* f, int64_t pos);
bool seek_file_end(std::FILE* f);
int64_t tell_file(std::FILE* f);

// The local time of `t`.
std::tm local_time(std::time_t t);

// A read-only file read by position (no shared file pointer), so that
// gigabyte dumps are read piecewise without loading them.
class ReadOnlyHandle {
 public:
  ReadOnlyHandle() = default;
  ~ReadOnlyHandle();
  ReadOnlyHandle(const ReadOnlyHandle&) = delete;
  ReadOnlyHandle& operator=(const ReadOnlyHandle&) = delete;
  ReadOnlyHandle(ReadOnlyHandle&& o) noexcept;
  ReadOnlyHandle& operator=(ReadOnlyHandle&& o) noexcept;

  bool open(const std::string& path);  // false when it cannot be opened for reading
  void close();
  bool is_open() const { return handle_ != kNone; }
  uint64_t size() const { return size_; }
  // Reads up to `len` bytes at `offset`; returns the number of bytes got
  // (short at the end of the file, 0 on failure).
  size_t pread(uint64_t offset, void* buf, size_t len) const;

 private:
  static constexpr intptr_t kNone = -1;
  intptr_t handle_ = kNone;
  uint64_t size_ = 0;
};

}  // namespace vt
