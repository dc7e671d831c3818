#include "testkit/run.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

#include "testkit/tempdir.h"

namespace testkit {

RunResult run_entry(Entry entry, const std::vector<std::string>& args, const std::string& input) {
  std::vector<std::string> storage(args);
  std::vector<char*> argv;
  for (auto& a : storage) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::istringstream in(input);
  std::ostringstream out, err;
  vt::Console con{in, out, err};
  RunResult r;
  r.status = entry(static_cast<int>(storage.size()), argv.data(), con);
  r.out = out.str();
  r.err = err.str();
  return r;
}

RunResult run_binary(const std::string& command_line, const std::string& input) {
  TempDir dir;
  write_text(dir.file("in"), input);
  std::string cmd = command_line + " <" + dir.file("in") + " >" + dir.file("out") + " 2>" + dir.file("err");
  int rc = std::system(cmd.c_str());
  RunResult r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1000;
  r.out = read_text(dir.file("out"));
  r.err = read_text(dir.file("err"));
  return r;
}

}  // namespace testkit
