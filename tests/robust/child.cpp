#include "child.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace robust {
namespace {

constexpr uid_t kNobody = 65534;

bool as_root() { return geteuid() == 0; }

std::string drain(int fd) {
  std::string s;
  char buf[4096];
  ssize_t got;
  while ((got = read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(got));
  close(fd);
  return s;
}

}  // namespace

Bench::Bench() : work_(dir_.file("work")) {
  namespace fs = std::filesystem;
  fs::create_directory(work_);
  fs::create_directory(dir_.file("bin"));
  for (const char* tool : {"vanterik", "kivra", "ostrel", "morvik"})
    fs::copy_file(std::string(VT_STAGE_BIN) + "/" + tool, dir_.file(std::string("bin/") + tool));
  fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
}

void Bench::give_away(unsigned folder_mode, const std::string& file, unsigned file_mode) const {
  if (as_root()) {
    for (const auto& e : std::filesystem::directory_iterator(work_))
      if (chown(e.path().c_str(), kNobody, kNobody) != 0) throw std::runtime_error("chown");
    if (chown(work_.c_str(), kNobody, kNobody) != 0) throw std::runtime_error("chown");
  }
  if (chmod(work_file(file).c_str(), file_mode) != 0 || chmod(work_.c_str(), folder_mode) != 0)
    throw std::runtime_error("chmod");
}

bool Bench::exists(const std::string& name) const { return std::filesystem::exists(work_file(name)); }

testkit::RunResult Bench::run(const std::string& name, const std::vector<std::string>& args, const std::string& input,
                              const Fault& fault) const {
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
  const std::string program = dir_.file("bin/" + name);
  std::vector<std::string> storage = {program};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : storage) argv.push_back(a.data());
  argv.push_back(nullptr);

  // The answers are a few bytes: the pipe holds them before the child runs,
  // so a tool that ends without reading them cannot make this write fail.
  if (!input.empty() && write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size()))
    throw std::runtime_error("write");
  close(in[1]);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    if (fault.stdout_full) {
      int full = open("/dev/full", O_WRONLY);
      if (full < 0 || dup2(full, 1) < 0) _exit(124);
      close(full);
    }
    for (int fd : {in[0], out[0], out[1], err[0], err[1]}) close(fd);
    if (chdir(work_.c_str()) != 0) _exit(120);
    if (fault.file_size_limit >= 0) {
      signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead of killing the tool
      rlimit r{};
      getrlimit(RLIMIT_FSIZE, &r);
      r.rlim_cur = static_cast<rlim_t>(fault.file_size_limit);
      if (setrlimit(RLIMIT_FSIZE, &r) != 0) _exit(121);
    }
    if (fault.unprivileged && as_root()) {
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(122);
    }
    execv(program.c_str(), argv.data());
    _exit(123);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  testkit::RunResult r;
  r.out = drain(out[0]);
  r.err = drain(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1000 - WTERMSIG(status);
  return r;
}

}  // namespace robust
