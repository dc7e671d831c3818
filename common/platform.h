// The few things the standard library does not offer portably.
#pragma once
#include <string>

namespace vt {

// Replaces `target` by `source` in one step where the platform allows it.
// Returns false (and leaves `target` alone) on failure.
bool replace_file(const std::string& source, const std::string& target);

// The system's text for an errno value, as perror would print it.
std::string error_text(int errnum);

}  // namespace vt
