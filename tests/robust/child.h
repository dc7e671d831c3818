// Runs an installed tool in a child process under a fault: without root's
// rights, with a limit on the size of the files it writes, or with its
// standard output on a full device.
#pragma once
#include <string>
#include <vector>

#include "testkit/run.h"
#include "testkit/tempdir.h"

namespace robust {

struct Fault {
  // Run as the unprivileged user "nobody" when the tests run as root: root
  // writes read-only files and folders regardless of their permissions.
  bool unprivileged = false;
  // Writes at or past this many bytes into a file fail (EFBIG); -1: none.
  long file_size_limit = -1;
  // Standard output goes to /dev/full: every write to it fails (ENOSPC).
  bool stdout_full = false;
};

// A folder for one test: the tools copied into it (so that any user may run
// them) and a working folder "work" in which the tool runs.
class Bench {
 public:
  Bench();
  std::string work_file(const std::string& name) const { return work_ + "/" + name; }
  // Hands the working folder and the files in it to the user the fault runs
  // as, then sets the permissions of the folder and of one file.
  void give_away(unsigned folder_mode, const std::string& file, unsigned file_mode) const;
  // Runs tool `name` (e.g. "kivra") in the working folder.
  testkit::RunResult run(const std::string& name, const std::vector<std::string>& args, const std::string& input,
                         const Fault& fault) const;
  bool exists(const std::string& name) const;

 private:
  testkit::TempDir dir_;
  std::string work_;
};

}  // namespace robust
