// VANTERIK: turns a linked .286 module into a vanteriked one (prebuilt LDT,
// fixups resolved to selectors, SYM file merged or appended), or lists the
// LDT of a vanteriked module.
#pragma once
#include <ctime>
#include <functional>

#include "common/console.h"

namespace vanterik {

// Supplies the local time of the run; tests pass a fixed one.
using LocalClock = std::function<std::tm()>;
std::tm system_local_time();

int vanterik_run(int argc, char** argv, vt::Console& con, const LocalClock& clock);

}  // namespace vanterik

// The program's entry, on the system clock.
int vanterik_main(int argc, char** argv, vt::Console& con);
