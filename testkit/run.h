// Runs a program's in-process entry with captured standard streams.
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

// Runs an installed binary through the shell with `input` on standard input.
RunResult run_binary(const std::string& command_line, const std::string& input = "");

}  // namespace testkit
