// A session record of the controller runtime (fileinfo, 42 bytes), as its
// session table points to it. The terminal runtime's is in showcrt.h; the
// layout is the same.
#pragma once
#include "morvik/records/showcrt.h"
