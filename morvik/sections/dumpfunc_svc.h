// The SVC trace and the file numbers of the application.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// The SVC trace section and the last-SVC summary line.
void svctrace(Session& s);
// The open-files section (and the file operations trace).
void showfnums(Session& s);

}  // namespace morvik
