// KIVRA: patches a BASIC application so that its runtime dumps it on chosen
// errors, and switches the runtime's missing-RESUME check.
#pragma once
#include <functional>
#include <string>

#include "common/console.h"
#include "common/patchfile.h"

namespace kivra {

// Every open of the module goes through this; tests supply one that fails.
using ModuleOpener = std::function<bool(vt::PatchFile& file, const std::string& path, bool update)>;

int run(int argc, char** argv, vt::Console& con, const ModuleOpener& open_module);

}  // namespace kivra

int kivra_main(int argc, char** argv, vt::Console& con);
