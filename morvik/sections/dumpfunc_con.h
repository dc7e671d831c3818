// The virtual consoles and their screens.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// The consoles section.
void showConsoles(Session& s);

}  // namespace morvik
