// The variables section from a SYM file and the stack section.
#include "morvik/driver/morvik_stack.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/ldt.h"

namespace morvik {

// Prints nothing until the SYM variable listing is built.
void processSyms(Session& /*s*/) {}

// Prints nothing until the stack section is built.
void dostack(Session& /*s*/) {}

}  // namespace morvik
