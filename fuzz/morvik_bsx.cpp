// MORVIK with a damaged BSX file; the dump stays valid.
#include "fuzz/morvik_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::morvik_input(fuzz::MorvikPart::Bsx, data, size);
  return 0;
}
