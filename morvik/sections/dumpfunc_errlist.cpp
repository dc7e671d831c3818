#include "morvik/sections/dumpfunc_errlist.h"

#include "common/console.h"

namespace morvik {

void wrenRTdata(Session& s) {
  s.runtime.rtlevel = s.shared ? findWrenRTlevel(s) : findNoshRTlevel(s);
}

}  // namespace morvik
