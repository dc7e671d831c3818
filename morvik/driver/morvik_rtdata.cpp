#include "morvik/driver/morvik_rtdata.h"

namespace morvik {

// Prints nothing until the runtime data report is built.
void runtime_data_report(Session& /*s*/) {}

// Prints nothing until the saved error data are built.
void saved_error_data(Session& /*s*/) {}

}  // namespace morvik
