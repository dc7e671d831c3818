// The CDV part of get_symbol_address. The CDV reader's name lookup
// (findCDVName) belongs here: an entry whose selector is an LDT data selector
// gives its address. Until that reader exists no CDV name is found.

#include "morvik/symbols/dumpfunc_symfile.h"

namespace morvik {

uint32_t cdv_symbol_address(Session& s, const char* symname) {
  s.outfile.print("\n\t  Cannot find symbol '%s' in the CDV file.\n", symname);
  s.outfile.flush();
  return 0;
}

}  // namespace morvik
