// The operating system's pipes and semaphores.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// The pipe dump section: with an application process, the pipes the
// open-files section found it has open, each once; else every pipe.
void dopipes(Session& s);

}  // namespace morvik
