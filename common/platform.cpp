#include "common/platform.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vt {

bool replace_file(const std::string& source, const std::string& target) {
#ifdef _WIN32
  return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  return std::rename(source.c_str(), target.c_str()) == 0;
#endif
}

std::string error_text(int errnum) { return std::strerror(errnum); }

}  // namespace vt
