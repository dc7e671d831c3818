#include "common/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vt {

bool replace_file(const std::string& source, const std::string& target, std::string* reason) {
#ifdef _WIN32
  if (MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) return true;
  if (reason) {
    char text[256] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, GetLastError(), 0,
                             text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == '.')) text[--n] = 0;
    *reason = n > 0 ? text : "cannot replace the file";
  }
  return false;
#else
  if (std::rename(source.c_str(), target.c_str()) == 0) return true;
  if (reason) *reason = error_text(errno);
  return false;
#endif
}

std::string error_text(int errnum) { return std::strerror(errnum); }

#ifdef _WIN32
bool seek_file(std::FILE* f, int64_t pos) { return _fseeki64(f, pos, SEEK_SET) == 0; }
bool seek_file_end(std::FILE* f) { return _fseeki64(f, 0, SEEK_END) == 0; }
int64_t tell_file(std::FILE* f) { return _ftelli64(f); }

std::tm local_time(std::time_t t) {
  std::tm tm{};
  localtime_s(&tm, &t);
  return tm;
}
#else
bool seek_file(std::FILE* f, int64_t pos) { return fseeko(f, static_cast<off_t>(pos), SEEK_SET) == 0; }
bool seek_file_end(std::FILE* f) { return fseeko(f, 0, SEEK_END) == 0; }
int64_t tell_file(std::FILE* f) { return static_cast<int64_t>(ftello(f)); }

std::tm local_time(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}
#endif

ReadOnlyHandle::~ReadOnlyHandle() { close(); }

ReadOnlyHandle::ReadOnlyHandle(ReadOnlyHandle&& o) noexcept
    : handle_(std::exchange(o.handle_, kNone)), size_(std::exchange(o.size_, 0)) {}

ReadOnlyHandle& ReadOnlyHandle::operator=(ReadOnlyHandle&& o) noexcept {
  if (this != &o) {
    close();
    handle_ = std::exchange(o.handle_, kNone);
    size_ = std::exchange(o.size_, 0);
  }
  return *this;
}

#ifdef _WIN32
bool ReadOnlyHandle::open(const std::string& path) {
  close();
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER sz;
  if (!GetFileSizeEx(h, &sz)) {
    CloseHandle(h);
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  size_ = static_cast<uint64_t>(sz.QuadPart);
  return true;
}

namespace {
void close_handle(intptr_t h) { CloseHandle(reinterpret_cast<HANDLE>(h)); }
// One read at a position; returns the bytes got (0 at the end or on failure).
size_t read_some(intptr_t h, uint64_t at, void* buf, size_t len) {
  OVERLAPPED ov{};
  ov.Offset = static_cast<DWORD>(at);
  ov.OffsetHigh = static_cast<DWORD>(at >> 32);
  DWORD want = static_cast<DWORD>(len > 0x40000000 ? 0x40000000 : len);
  DWORD got = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(h), buf, want, &got, &ov)) return 0;
  return got;
}
}  // namespace
#else
bool ReadOnlyHandle::open(const std::string& path) {
  close();
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  handle_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
  return true;
}

namespace {
void close_handle(intptr_t h) { ::close(static_cast<int>(h)); }
size_t read_some(intptr_t h, uint64_t at, void* buf, size_t len) {
  ssize_t got = ::pread(static_cast<int>(h), buf, len, static_cast<off_t>(at));
  return got > 0 ? static_cast<size_t>(got) : 0;
}
}  // namespace
#endif

void ReadOnlyHandle::close() {
  if (handle_ != kNone) close_handle(handle_);
  handle_ = kNone;
  size_ = 0;
}

size_t ReadOnlyHandle::pread(uint64_t offset, void* buf, size_t len) const {
  if (handle_ == kNone || offset >= size_) return 0;
  if (len > size_ - offset) len = static_cast<size_t>(size_ - offset);
  size_t done = 0;
  while (done < len) {
    size_t got = read_some(handle_, offset + done, static_cast<char*>(buf) + done, len - done);
    if (got == 0) break;
    done += got;
  }
  return done;
}

}  // namespace vt
