// Application data symbols by name, from the SYM or the CDV file.
#pragma once
#include <cstdint>

#include "morvik/state/session.h"

namespace morvik {

// An application data symbol's selector:offset, or 0.
uint32_t get_symbol_address(Session& s, const char* symname);
// The CDV part of get_symbol_address (the CDV reader fills it in).
uint32_t cdv_symbol_address(Session& s, const char* symname);
// Hexadecimal text (upper-case digits) to a value.
uint32_t Hex_to_Decimal(const char* cptr);

}  // namespace morvik
