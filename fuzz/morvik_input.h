// One input of the MORVIK targets: the first byte picks the base (a dump
// variant, with or without the application), the rest are patch records
// applied to one input file of testkit's (the dump, its BSX file, the
// application's SYM or CDV file); the others stay valid.
#pragma once
#include <cstddef>
#include <cstdint>

namespace fuzz {

enum class MorvikPart { Dump, Bsx, Sym, Cdv };

void morvik_input(MorvikPart part, const uint8_t* data, size_t size);

}  // namespace fuzz
