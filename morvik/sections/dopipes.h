// The operating system's pipes.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// The pipe dump section.
void dopipes(Session& s);

}  // namespace morvik
