#include "morvik/symbols/dumpfunc_symfile.h"

#include <cstring>
#include <string>

#include "morvik/addrspace/ldt.h"
#include "morvik/symbols/readcdv.h"

namespace morvik {

uint32_t get_symbol_address(Session& s, const char* symname) {
  if (s.symfile.is_open()) {
    s.symfile.seek(0);
    std::string hex, name;
    // Tokens two at a time: a hexadecimal offset and a name, whatever the
    // section; longer tokens are cut to the system's buffers.
    while (read_sym_token(s.symfile, hex, 7) && read_sym_token(s.symfile, name, 159)) {
      if (name == symname) return (static_cast<uint32_t>(s.DS_selector) << 16) + Hex_to_Decimal(hex.c_str());
    }
    s.outfile.print("\n\t  Cannot find symbol '%s' in the SYM file.\n", symname);
    return 0;
  }
  if (s.cdvfile.is_open()) {
    const listitem* item = findCDVName(s, symname);
    if (item && isSelector(s, static_cast<uint16_t>(static_cast<uint32_t>(item->addr) >> 16)) == kLdtData)
      return static_cast<uint32_t>(item->addr);
    s.outfile.print("\n\t  Cannot find symbol '%s' in the CDV file.\n", symname);
    s.outfile.flush();
    return 0;
  }
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

bool read_sym_token(vt::BinaryFile& f, std::string& token, size_t max) {
  if (!f.read_word(token, max)) return false;
  token.resize(std::strlen(token.c_str()));
  return true;
}

}  // namespace morvik
