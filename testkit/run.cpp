#include "testkit/run.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#ifndef _WIN32
#include <sys/wait.h>
#endif

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

namespace {

#ifdef _WIN32
std::string text_lines(std::string t) {
  std::string lf;
  for (size_t i = 0; i < t.size(); ++i)
    if (t[i] != '\r' || i + 1 == t.size() || t[i + 1] != '\n') lf.push_back(t[i]);
  return lf;
}
// cmd /c drops the first and the last quote of a line that starts with
// one: the extra pair keeps the program's quotes.
std::string shell_line(const std::string& cmd) { return "\"" + cmd + "\""; }
int shell_status(int rc) { return rc >= -128 && rc <= 255 ? rc & 0xFF : -1000; }
#else
std::string text_lines(std::string t) { return t; }
std::string shell_line(const std::string& cmd) { return cmd; }
int shell_status(int rc) { return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1000; }
#endif

}  // namespace

RunResult run_binary(const std::string& command_line, const std::string& input, const std::string& folder) {
  TempDir dir;
  write_text(dir.file("in"), input);
  std::string cmd = command_line + " <" + dir.file("in") + " >" + dir.file("out") + " 2>" + dir.file("err");
  std::filesystem::path old = std::filesystem::current_path();
  if (!folder.empty()) std::filesystem::current_path(folder);
  int rc = std::system(shell_line(cmd).c_str());
  std::filesystem::current_path(old);
  RunResult r;
  r.status = shell_status(rc);
  r.out = text_lines(read_text(dir.file("out")));
  r.err = text_lines(read_text(dir.file("err")));
  return r;
}

std::string program_in(const std::string& bin, const std::string& name) {
  return "\"" + (std::filesystem::path(bin) / name).make_preferred().string() + "\"";
}

}  // namespace testkit
