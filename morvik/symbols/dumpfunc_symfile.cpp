#include "morvik/symbols/dumpfunc_symfile.h"

#include <string>

namespace morvik {

uint32_t get_symbol_address(Session& s, const char* symname) {
  if (s.symfile.is_open()) {
    s.symfile.seek(0);
    std::string hex, name;
    // Tokens two at a time: a hexadecimal offset and a name, whatever the
    // section; longer tokens are cut to the system's buffers.
    while (s.symfile.read_word(hex, 7) && s.symfile.read_word(name, 159)) {
      if (name == symname) return (static_cast<uint32_t>(s.DS_selector) << 16) + Hex_to_Decimal(hex.c_str());
    }
    s.outfile.print("\n\t  Cannot find symbol '%s' in the SYM file.\n", symname);
    return 0;
  }
  if (s.cdvfile.is_open()) return cdv_symbol_address(s, symname);
  return 0;
}

uint32_t Hex_to_Decimal(const char* cptr) {
  uint32_t value = 0;
  for (; *cptr; ++cptr) {
    unsigned c = static_cast<unsigned char>(*cptr);
    value = value * 16 + (c >= 'A' ? c - 55 : c & 0xF);
  }
  return value;
}

}  // namespace morvik
