// What KIVRA and OSTREL share: the module file they scan and patch in place,
// the module header, the runtime's level marker and the signature search.
#pragma once
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "common/platform.h"

namespace vt {

// A module opened for scanning (and, opened for update, for patching).
// Small block reads are served from one large window, so that scanning a
// big module in 256-byte blocks costs one system call per window, not per
// block. A view never holds more than the file gave.
class PatchFile {
 public:
  static constexpr size_t kWindow = 1 << 20;

  PatchFile() = default;
  ~PatchFile() {
    if (f_) std::fclose(f_);
  }
  PatchFile(const PatchFile&) = delete;
  PatchFile& operator=(const PatchFile&) = delete;

  bool open(const std::string& path, bool update) {
    f_ = std::fopen(path.c_str(), update ? "r+b" : "rb");
    if (!f_) {
      errno_ = errno;
      return false;
    }
    // Unbuffered: reads come in whole windows anyway, and a failed write
    // must not leave bytes in a buffer that a later seek or close would
    // still try to write.
    std::setvbuf(f_, nullptr, _IONBF, 0);
    if (seek_file_end(f_)) length_ = std::max<int64_t>(0, tell_file(f_));
    return true;
  }
  bool is_open() const { return f_ != nullptr; }
  int64_t length() const { return length_; }
  int error() const { return errno_; }

  // Up to n bytes at pos; `got` says how many the file holds there. The
  // pointer stays valid until the next call.
  const unsigned char* view(int64_t pos, size_t n, size_t& got) {
    got = 0;
    if (!f_ || pos < 0 || pos >= length_) return window_.data();
    int64_t wend = wpos_ + static_cast<int64_t>(wlen_);
    bool inside = pos >= wpos_ && pos < wend;
    if (!inside || (pos + static_cast<int64_t>(n) > wend && wend < length_)) fill(pos, n);
    if (pos < wpos_ || pos >= wpos_ + static_cast<int64_t>(wlen_)) return window_.data();
    size_t off = static_cast<size_t>(pos - wpos_);
    got = std::min(n, wlen_ - off);
    return window_.data() + off;
  }

  // Reads n bytes at pos into dst; returns how many arrived.
  size_t read(int64_t pos, unsigned char* dst, size_t n) {
    size_t got = 0;
    const unsigned char* p = view(pos, n, got);
    if (got) std::memcpy(dst, p, got);
    return got;
  }

  // Writes n bytes at pos and pushes them to the file at once, so that a
  // failure shows here and not at some later flush. A patch never grows the
  // module: a write that would reach past its end is refused.
  bool write(int64_t pos, const unsigned char* p, size_t n) {
    wlen_ = 0;  // the window no longer holds what the file holds
    if (!f_) return false;
    if (pos < 0 || static_cast<uint64_t>(n) > static_cast<uint64_t>(length_) ||
        pos > length_ - static_cast<int64_t>(n)) {
      errno_ = EINVAL;
      return false;
    }
    if (!seek_file(f_, pos) || std::fwrite(p, 1, n, f_) != n || std::fflush(f_) != 0) {
      errno_ = errno;
      std::clearerr(f_);
      return false;
    }
    return true;
  }

  bool close() {
    if (!f_) return true;
    bool ok = std::fclose(f_) == 0;
    if (!ok) errno_ = errno;
    f_ = nullptr;
    wlen_ = 0;
    return ok;
  }

 private:
  void fill(int64_t pos, size_t n) {
    // No bigger than what the file holds from pos on: a small module does
    // not cost a megabyte for each open.
    size_t want = std::max(kWindow, n);
    if (pos < length_ && length_ - pos < static_cast<int64_t>(want))
      want = std::max(n, static_cast<size_t>(length_ - pos));
    window_.resize(want);
    wpos_ = pos;
    wlen_ = 0;
    if (!seek_file(f_, pos)) {
      errno_ = errno;
      return;
    }
    wlen_ = std::fread(window_.data(), 1, window_.size(), f_);
    if (std::ferror(f_)) {
      errno_ = errno;
      std::clearerr(f_);
    }
  }

  std::FILE* f_ = nullptr;
  int64_t length_ = 0;
  int errno_ = 0;
  std::vector<unsigned char> window_ = std::vector<unsigned char>(1);
  int64_t wpos_ = 0;
  size_t wlen_ = 0;
};

// The writes of one patch step and the bytes they replaced, so that a step
// that fails half-way (a full disk, a write limit) puts the module back as
// it was instead of leaving it half-patched.
class PatchStep {
 public:
  explicit PatchStep(PatchFile& file) : file_(file) {}

  // Writes n bytes at pos inside the module; false when that failed.
  bool write(int64_t pos, const unsigned char* p, size_t n) {
    Saved s{pos, std::vector<unsigned char>(n)};
    if (file_.read(pos, s.bytes.data(), n) != n) return false;  // not inside the module
    saved_.push_back(std::move(s));
    return file_.write(pos, p, n);
  }

  // Puts back what the step's writes replaced, newest first; true when the
  // module then reads as before the step. A put-back write may itself fail
  // part-way, so the reading decides.
  bool undo() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) file_.write(it->pos, it->bytes.data(), it->bytes.size());
    bool same = true;
    for (const Saved& s : saved_) {
      std::vector<unsigned char> now(s.bytes.size());
      same = same && file_.read(s.pos, now.data(), now.size()) == now.size() && now == s.bytes;
    }
    saved_.clear();
    return same;
  }

 private:
  struct Saved {
    int64_t pos;
    std::vector<unsigned char> bytes;
  };
  PatchFile& file_;
  std::vector<Saved> saved_;
};

// The 128-byte module header. A file that starts with 128 zero bytes carries
// the prefix record, and its header follows it.
struct ModuleHeader {
  int64_t base = 0;
  unsigned char bytes[128] = {};
  bool complete = false;

  // Descriptor 9's length: the LDT group's size in paragraphs.
  int64_t ldt_bytes() const { return int64_t{le16(bytes + 82)} * 16; }
  // Descriptor 8's type byte is 0xFF when the module uses shared runtimes.
  bool uses_shared_runtimes() const { return bytes[72] == 0xFF; }
};

inline ModuleHeader read_module_header(PatchFile& file) {
  ModuleHeader h;
  h.complete = file.read(0, h.bytes, 128) == 128;
  if (h.complete && std::all_of(h.bytes, h.bytes + 128, [](unsigned char b) { return b == 0; })) {
    h.base = 128;
    h.complete = file.read(128, h.bytes, 128) == 128;
  }
  return h;
}

// The runtime's level marker: "CBRT" and three decimal digits. `avail` is
// how many bytes from p on may be looked at.
inline bool cbrt_level(const unsigned char* p, size_t avail, int& level) {
  if (avail < 7 || std::memcmp(p, "CBRT", 4) != 0) return false;
  for (int i = 4; i < 7; ++i)
    if (p[i] < '0' || p[i] > '9') return false;
  level = (p[4] - '0') * 100 + (p[5] - '0') * 10 + (p[6] - '0');
  return true;
}

// First position k in [from, to) with p[k] == a and p[k + 1] == b, or `to`;
// p[to] must be readable.
inline size_t next_pair(const unsigned char* p, size_t from, size_t to, unsigned char a, unsigned char b) {
  for (size_t k = from + 1; k <= to;) {
    auto* hit = static_cast<const unsigned char*>(std::memchr(p + k, b, to + 1 - k));
    if (!hit) break;
    size_t h = static_cast<size_t>(hit - p);
    if (p[h - 1] == a) return h - 1;
    k = h + 1;
  }
  return to;
}

// First position k in [from, to) with p[k] == a, or `to`.
inline size_t next_byte(const unsigned char* p, size_t from, size_t to, unsigned char a) {
  if (from >= to) return to;
  auto* hit = static_cast<const unsigned char*>(std::memchr(p + from, a, to - from));
  return hit ? static_cast<size_t>(hit - p) : to;
}

// Arguments are handled in a 256-byte work buffer; a longer one is refused
// before the module is touched.
inline void refuse_long_arguments(int argc, char** argv, Console& con) {
  constexpr size_t kLongest = 255;
  for (int i = 1; i < argc; ++i) {
    if (std::strlen(argv[i]) > kLongest) {
      print(con.err, "\tArgument %d is too long (at most %u characters).\n", i, static_cast<unsigned>(kLongest));
      end_run(con, 1);
    }
  }
}

}  // namespace vt
