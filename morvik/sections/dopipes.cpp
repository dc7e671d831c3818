#include "morvik/sections/dopipes.h"

namespace morvik {

// Prints nothing until the pipe dump is built.
void dopipes(Session& /*s*/) {}

}  // namespace morvik
