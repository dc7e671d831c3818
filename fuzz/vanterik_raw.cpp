// VANTERIK on whatever the bytes are, as the module (no SYM file beside it).
#include <cstdint>

#include "fuzz/harness.h"
#include "vanterik/vanterik.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WorkDir& dir = fuzz::WorkDir::get();
  fuzz::write(dir.file("A.286"), data, size);
  fuzz::run(vanterik_main, {"vanterik", "A.286"});
  dir.sweep();
  return 0;
}
