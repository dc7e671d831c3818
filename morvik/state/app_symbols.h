// The application's symbols as the symbol layer loads them from the SYM or
// CDV file, for every section that names code or data. Built once a run.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace morvik {

struct AppSymbols {
  uint16_t rtdsvOffset = 0;  // data offset of the runtime label "rtdsv" (SYM file)
  int16_t Csources = 0;      // the application has C sources (CDV file)
  // File names of the CDV source-file table, by file index (the array
  // printer names an array's source file with them).
  std::vector<std::string> filelist_names;
};

}  // namespace morvik
