// MORVIK with a damaged SYM file; the dump and its BSX file stay valid.
#include "fuzz/morvik_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::morvik_input(fuzz::MorvikPart::Sym, data, size);
  return 0;
}
