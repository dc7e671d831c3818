// The three standard streams of one run, and how a run ends.
#pragma once
#include <cstdarg>
#include <iosfwd>
#include <string>

#include "common/format_check.h"

namespace vt {

struct Console {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
};

// Thrown to end a run with a status; the program's entry function catches it.
struct RunEnd {
  int status;
};

// printf-style formatting, checked by the compiler.
std::string vformat(const char* fmt, va_list ap);
std::string format(const char* fmt, ...) VT_PRINTF_FORMAT(1, 2);
void print(std::ostream& os, const char* fmt, ...) VT_PRINTF_FORMAT(2, 3);

// Writes the message (if any), flushes both streams and ends the run.
[[noreturn]] void end_run(Console& con, int status);

}  // namespace vt
