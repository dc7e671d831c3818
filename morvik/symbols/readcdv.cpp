#include "morvik/symbols/readcdv.h"

namespace morvik {

// Reads nothing until the CDV reader is built.
int16_t readcdv(Session& /*s*/) { return 0; }

}  // namespace morvik
