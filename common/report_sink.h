// The report output: either the screen (the console's standard output, plain
// LF) or a file, in which every "\n" is written as CR LF so that the summary
// box lines keep their fixed byte length. The sink knows its position and can
// go back to an earlier one (the summary area) and return to the end.
#pragma once
#include <cstdint>
#include <fstream>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

#include "common/format_check.h"

namespace vt {

class ReportSink {
 public:
  ReportSink() = default;
  ReportSink(const ReportSink&) = delete;
  ReportSink& operator=(const ReportSink&) = delete;
  ~ReportSink();

  // Sends the report to the screen.
  void open_screen(std::ostream& out);
  // Creates (truncates) a report file; false when it cannot be created.
  bool open_file(const std::string& path);
  // Every write, positioned write and flush is checked. At the first that
  // fails the sink calls `failed` with the system's reason and then ends the
  // run with status 1 (throws RunEnd); later writes are dropped. Without a
  // handler a failure only clears good().
  void on_failure(std::function<void(const std::string& reason)> failed) { failed_ = std::move(failed); }
  bool is_open() const { return screen_ != nullptr || file_.is_open(); }
  bool is_file() const { return file_.is_open(); }
  bool is_screen() const { return screen_ != nullptr; }

  void write(std::string_view text);
  void print(const char* fmt, ...) VT_PRINTF_FORMAT(2, 3);
  void putc(char c) { write(std::string_view(&c, 1)); }

  // Byte position in the file (the screen counts the bytes written).
  int64_t tell();
  // Positions a file output; the screen ignores it (it has no summary area).
  void seek(int64_t pos);
  // Back to the end of the output; clears the write limit.
  void seek_end();
  // While a limit is set, bytes of a file output that would land at or past
  // it are skipped over instead of written (the position still moves), so a
  // text written into a fixed-size slot cannot spill over what follows it.
  void set_write_limit(int64_t limit) { limit_ = limit; }
  void clear_write_limit() { limit_ = -1; }
  void flush();
  // Flushes and closes; never ends the run. False when the output has
  // failed (a failure first seen here is passed to the handler).
  bool close();
  // False once a write has failed.
  bool good() const { return good_; }

 private:
  // The stream's state after an operation begun with errno cleared.
  void check(bool ok, bool may_end_run = true);

  std::ostream* screen_ = nullptr;
  int64_t screen_count_ = 0;
  std::fstream file_;
  bool good_ = true;
  int64_t limit_ = -1;
  std::function<void(const std::string&)> failed_;
};

// Writes a whole text file with CR LF line ends ("appargs", "rpost.bat");
// false when it cannot be written completely, with the system's reason in
// `reason` when given.
bool write_crlf_text(const std::string& path, std::string_view text, std::string* reason = nullptr);

// The one line that names an output that could not be written and why.
std::string write_failure_line(const std::string& name, const std::string& reason);

// Splits text into lines, accepting LF and CR LF ends.
bool next_text_line(std::string_view& rest, std::string& line);

}  // namespace vt
