// The virtual consoles and their screens, and the time stamps of the trace
// sections.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// The consoles section: every console driver of the driver list, each
// virtual console's screen in tree order.
void showConsoles(Session& s);
// The framed image of the screen of the virtual console at `addr`.
void formatScreen(Session& s, uint32_t addr);
// Writes " time h:mm:ss.mmm" for a time in milliseconds.
void formatTime(Session& s, int32_t msec);

}  // namespace morvik
