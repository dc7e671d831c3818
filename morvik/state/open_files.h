// What the SVC and open-files sections learn about the application's files
// and pipes, for the sections that follow them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace morvik {

// A pipe the application has open. The name is kept whole (up to the 10
// bytes of a pipe's name), so that the pipe dump finds the pipe by it.
struct pipelistItem {
  std::string name;
  int16_t gotit = 0;  // set once the pipe dump has listed it
};

struct OpenFiles {
  std::vector<pipelistItem> pipelist;

  // The file number the blocked SVC refers to (0 for none), and the blank
  // field the SVC line reserved for its name: report positions of its
  // first byte and of the byte past it. The sections that learn the name
  // write it there, cut to the field, and clear fnumForSVC.
  uint32_t fnumForSVC = 0;
  int64_t SVCpos = 0;
  int64_t SVCend = 0;
  bool svc_timestamp = false;  // the SVC trace has written its summary line
};

}  // namespace morvik
