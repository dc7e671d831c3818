// MORVIK on a damaged dump; its BSX file stays valid.
#include "fuzz/morvik_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::morvik_input(fuzz::MorvikPart::Dump, data, size);
  return 0;
}
