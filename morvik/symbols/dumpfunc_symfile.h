// Application data symbols by name, from the SYM or the CDV file, and the
// token reading the SYM file's readers share.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/binary_file.h"
#include "morvik/state/session.h"

namespace morvik {

// An application data symbol's selector:offset, or 0.
uint32_t get_symbol_address(Session& s, const char* symname);
// Hexadecimal text (upper-case digits) to a value.
uint32_t Hex_to_Decimal(const char* cptr);

// The next white-space-delimited token of a SYM file, cut to `max`
// characters (the rest of a longer token is passed over, so the pairs stay
// in step) and at a NUL byte. False at the end of the file.
bool read_sym_token(vt::BinaryFile& f, std::string& token, size_t max);

}  // namespace morvik
