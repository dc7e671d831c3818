// What the open-files section learns about the application's files and
// pipes, for the sections that follow it.
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
};

}  // namespace morvik
