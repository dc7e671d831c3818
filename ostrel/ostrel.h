// OSTREL: patches a BASIC application so that its runtime keeps a longer
// call trace, and reports the dormant runtime options a size switches on.
#pragma once
#include "common/console.h"

int ostrel_main(int argc, char** argv, vt::Console& con);
