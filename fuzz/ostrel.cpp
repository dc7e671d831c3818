// OSTREL on whatever the bytes are, as the module, answering "y": once for a
// terminal and once for a controller application.
#include <cstdint>

#include "fuzz/harness.h"
#include "ostrel/ostrel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::WorkDir& dir = fuzz::WorkDir::get();
  fuzz::write(dir.file("A.286"), data, size);
  fuzz::run(ostrel_main, {"ostrel", "T", "A.286", "4611"}, "y");
  fuzz::write(dir.file("A.286"), data, size);
  fuzz::run(ostrel_main, {"ostrel", "C", "A.286", "400"}, "y");
  dir.sweep();
  return 0;
}
