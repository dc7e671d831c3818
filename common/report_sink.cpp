#include "common/report_sink.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <ostream>

#include "common/console.h"
#include "common/platform.h"

namespace vt {

namespace {
// The system's reason for the operation that just failed (errno was cleared
// before it began).
std::string reason_now() {
  int e = errno;
  return e != 0 ? error_text(e) : std::string("write failed");
}

std::string to_crlf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}
}  // namespace

// A run that ends has closed its report already; nothing is reported from here.
ReportSink::~ReportSink() {
  failed_ = nullptr;
  close();
}

void ReportSink::check(bool ok, bool may_end_run) {
  if (ok || !good_) return;
  good_ = false;
  if (!failed_) return;
  failed_(reason_now());
  if (may_end_run) throw RunEnd{1};
}

void ReportSink::open_screen(std::ostream& out) {
  close();
  screen_ = &out;
  screen_count_ = 0;
  good_ = true;
}

bool ReportSink::open_file(const std::string& path) {
  close();
  file_.open(path, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
  good_ = file_.is_open();
  return good_;
}

void ReportSink::write(std::string_view text) {
  if (!good_) return;
  if (screen_) {
    // Others write to the screen too: a failure they met is this one's.
    if (*screen_) {
      errno = 0;
      screen_->write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    screen_count_ += static_cast<int64_t>(text.size());
    check(static_cast<bool>(*screen_));
  } else if (file_.is_open()) {
    errno = 0;
    std::string crlf = to_crlf(text);
    size_t keep = crlf.size();
    if (limit_ >= 0) {
      int64_t room = limit_ - static_cast<int64_t>(file_.tellp());
      keep = room <= 0 ? 0 : std::min(keep, static_cast<size_t>(room));
    }
    file_.write(crlf.data(), static_cast<std::streamsize>(keep));
    if (keep < crlf.size()) file_.seekp(static_cast<std::streamoff>(crlf.size() - keep), std::ios::cur);
    check(static_cast<bool>(file_));
  }
}

void ReportSink::print(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string s = vformat(fmt, ap);
  va_end(ap);
  write(s);
}

int64_t ReportSink::tell() {
  if (screen_) return screen_count_;
  if (!file_.is_open()) return 0;
  return static_cast<int64_t>(file_.tellp());
}

void ReportSink::seek(int64_t pos) {
  if (!file_.is_open() || !good_) return;
  errno = 0;  // a seek writes out what is buffered
  file_.seekp(static_cast<std::streamoff>(pos), std::ios::beg);
  check(static_cast<bool>(file_));
}

void ReportSink::seek_end() {
  limit_ = -1;
  if (!file_.is_open() || !good_) return;
  errno = 0;
  file_.seekp(0, std::ios::end);
  check(static_cast<bool>(file_));
}

void ReportSink::flush() {
  if (!good_) return;
  if (screen_) {
    if (*screen_) {
      errno = 0;
      screen_->flush();
    }
    check(static_cast<bool>(*screen_));
  }
  if (file_.is_open()) {
    errno = 0;
    file_.flush();
    check(static_cast<bool>(file_));
  }
}

bool ReportSink::close() {
  if (screen_ && good_) {
    if (*screen_) {
      errno = 0;
      screen_->flush();
    }
    check(static_cast<bool>(*screen_), false);
  }
  screen_ = nullptr;
  if (file_.is_open()) {
    if (good_) {
      errno = 0;
      file_.flush();
      check(static_cast<bool>(file_), false);
    }
    errno = 0;
    file_.close();
    check(static_cast<bool>(file_), false);
  }
  return good_;
}

bool write_crlf_text(const std::string& path, std::string_view text, std::string* reason) {
  errno = 0;
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  bool ok = static_cast<bool>(f);
  if (ok) {
    std::string crlf = to_crlf(text);
    f.write(crlf.data(), static_cast<std::streamsize>(crlf.size()));
    ok = static_cast<bool>(f);
  }
  if (ok) {
    f.close();
    ok = static_cast<bool>(f);
  }
  if (!ok && reason) *reason = reason_now();
  return ok;
}

std::string write_failure_line(const std::string& name, const std::string& reason) {
  return "\n\tCannot write " + name + ": " + reason + "\n";
}

bool next_text_line(std::string_view& rest, std::string& line) {
  if (rest.empty()) return false;
  size_t nl = rest.find('\n');
  std::string_view l = nl == std::string_view::npos ? rest : rest.substr(0, nl);
  rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
  if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
  line.assign(l);
  return true;
}

}  // namespace vt
