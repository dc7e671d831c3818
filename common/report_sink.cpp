#include "common/report_sink.h"

#include <algorithm>
#include <cstdarg>
#include <ostream>

#include "common/console.h"

namespace vt {

namespace {
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

ReportSink::~ReportSink() { close(); }

void ReportSink::open_screen(std::ostream& out) {
  close();
  screen_ = &out;
  screen_count_ = 0;
}

bool ReportSink::open_file(const std::string& path) {
  close();
  file_.open(path, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
  good_ = file_.is_open();
  return good_;
}

void ReportSink::write(std::string_view text) {
  if (screen_) {
    screen_->write(text.data(), static_cast<std::streamsize>(text.size()));
    screen_count_ += static_cast<int64_t>(text.size());
  } else if (file_.is_open()) {
    std::string crlf = to_crlf(text);
    size_t keep = crlf.size();
    if (limit_ >= 0) {
      int64_t room = limit_ - static_cast<int64_t>(file_.tellp());
      keep = room <= 0 ? 0 : std::min(keep, static_cast<size_t>(room));
    }
    file_.write(crlf.data(), static_cast<std::streamsize>(keep));
    if (keep < crlf.size()) file_.seekp(static_cast<std::streamoff>(crlf.size() - keep), std::ios::cur);
    if (!file_) good_ = false;
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
  if (!file_.is_open()) return;
  file_.seekp(static_cast<std::streamoff>(pos), std::ios::beg);
  if (!file_) good_ = false;
}

void ReportSink::seek_end() {
  limit_ = -1;
  if (!file_.is_open()) return;
  file_.seekp(0, std::ios::end);
  if (!file_) good_ = false;
}

void ReportSink::flush() {
  if (screen_) screen_->flush();
  if (file_.is_open()) file_.flush();
}

void ReportSink::close() {
  if (screen_) screen_->flush();
  screen_ = nullptr;
  if (file_.is_open()) {
    file_.flush();
    if (!file_) good_ = false;
    file_.close();
  }
}

bool write_crlf_text(const std::string& path, std::string_view text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) return false;
  std::string crlf = to_crlf(text);
  f.write(crlf.data(), static_cast<std::streamsize>(crlf.size()));
  f.close();
  return static_cast<bool>(f);
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
