// The report output: either the screen (the console's standard output, plain
// LF) or a file, in which every "\n" is written as CR LF so that the summary
// box lines keep their fixed byte length. The sink knows its position and can
// go back to an earlier one (the summary area) and return to the end.
#pragma once
#include <cstdint>
#include <fstream>
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
  void close();
  // False once a write to the file has failed.
  bool good() const { return good_; }

 private:
  std::ostream* screen_ = nullptr;
  int64_t screen_count_ = 0;
  std::fstream file_;
  bool good_ = true;
  int64_t limit_ = -1;
};

// Writes a whole text file with CR LF line ends ("appargs", "rpost.bat");
// false when it cannot be written completely.
bool write_crlf_text(const std::string& path, std::string_view text);

// Splits text into lines, accepting LF and CR LF ends.
bool next_text_line(std::string_view& rest, std::string& line);

}  // namespace vt
