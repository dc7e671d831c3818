// One input of the MORVIK targets: the first byte picks the base (a dump
// variant, with or without the application), the rest are patch records applied to one file of the testkit pair (the
// dump or its BSX file); the other file stays valid.
#pragma once
#include <cstddef>
#include <cstdint>

namespace fuzz {

enum class MorvikPart { Dump, Bsx };

void morvik_input(MorvikPart part, const uint8_t* data, size_t size);

}  // namespace fuzz
