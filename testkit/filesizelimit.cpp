#include "testkit/filesizelimit.h"

#include <csignal>
#include <sys/resource.h>

namespace testkit {

FileSizeLimit::FileSizeLimit(long limit) {
  rlimit r{};
  getrlimit(RLIMIT_FSIZE, &r);
  saved_ = r.rlim_cur;
  saved_handler_ = std::signal(SIGXFSZ, SIG_IGN);
  r.rlim_cur = static_cast<rlim_t>(limit);
  setrlimit(RLIMIT_FSIZE, &r);
}

FileSizeLimit::~FileSizeLimit() {
  rlimit r{};
  getrlimit(RLIMIT_FSIZE, &r);
  r.rlim_cur = static_cast<rlim_t>(saved_);
  setrlimit(RLIMIT_FSIZE, &r);
  std::signal(SIGXFSZ, saved_handler_);
}

}  // namespace testkit
