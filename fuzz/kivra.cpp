// KIVRA on whatever the bytes are, as the module, answering "y": once for a
// terminal and once for a controller application.
#include <cstdint>

#include "fuzz/harness.h"
#include "kivra/kivra.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WorkDir& dir = fuzz::WorkDir::get();
  fuzz::write(dir.file("A.286"), data, size);
  fuzz::run(kivra_main, {"kivra", "T", "A.286", "DO", "EF", "*", "22", "MR"}, "y");
  fuzz::write(dir.file("A.286"), data, size);
  fuzz::run(kivra_main, {"kivra", "C", "A.286", "FU", "300", "mr"}, "y");
  dir.sweep();
  return 0;
}
