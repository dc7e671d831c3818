// Runs a program's in-process entry with captured standard streams, or an
// installed program through the shell.
#pragma once
#include <string>
#include <vector>

#include "common/console.h"

namespace testkit {

struct RunResult {
  int status = 0;
  std::string out;
  std::string err;
};

using Entry = int (*)(int, char**, vt::Console&);

RunResult run_entry(Entry entry, const std::vector<std::string>& args, const std::string& input = "");

// Runs a command line through the shell (sh, or cmd on Windows) with `input`
// on standard input, in `folder` (the current one when empty). The status
// is the one a POSIX shell sees (8 bits: -1 comes back as 255; a crash as
// -1000). A Windows program's standard streams are in text mode; their CR LF
// line ends come back as LF.
RunResult run_binary(const std::string& command_line, const std::string& input = "", const std::string& folder = "");

// The quoted path of a program in `bin`, for a command line.
std::string program_in(const std::string& bin, const std::string& name);

#ifdef VT_STAGE_BIN
// The installed copy of one of the four programs.
inline std::string installed(const std::string& name) { return program_in(VT_STAGE_BIN, name); }
#endif

}  // namespace testkit
