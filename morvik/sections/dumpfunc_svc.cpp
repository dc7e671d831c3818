#include "morvik/sections/dumpfunc_svc.h"

namespace morvik {

// Prints nothing until the SVC trace section is built.
void svctrace(Session& /*s*/) {}

// Prints nothing until the file-number section is built.
void showfnums(Session& /*s*/) {}

}  // namespace morvik
