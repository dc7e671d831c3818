#include "morvik/sections/doarray_unresumed.h"

#include <algorithm>
#include <array>

#include "common/le.h"
#include "morvik/report/doarray.h"
#include "morvik/symbols/dumpfunc_code.h"

namespace morvik {

namespace {

// One 16-byte record of an error that did not resume; bytes the buffer
// does not hold read as zero.
void show_error_record(Session& s, std::span<const unsigned char> rec) {
  std::array<unsigned char, 16> r{};
  std::copy_n(rec.begin(), std::min(rec.size(), r.size()), r.begin());
  if (r[0] == 0)
    s.outfile.write("   ");
  else
    s.outfile.print("%c%c ", r[0], r[1]);
  s.outfile.print("%02X%02X%02X%02X ", r[4], r[5], r[6], r[7]);
  print_timestamp(s, vt::le32(&r[12]));
  s.outfile.print(" session=%d,", r[2]);
  s.outfile.print(" ON ERROR at %02X%02X:%02X%02X", r[11], r[10], r[9], r[8]);
  findname(s, vt::le32(&r[8]), 1);
  s.outfile.write("\n");
}

}  // namespace

int16_t show_unresumed_errors(Session& s, int16_t arnnet, uint16_t /*arnoeptr*/,
                              std::span<const unsigned char> arnoebuf) {
  if (arnnet == 0) return 0;
  s.outfile.write("\tThe following error was NOT resumed:\n\t  #1. ");
  show_error_record(s, arnoebuf.first(std::min<size_t>(16, arnoebuf.size())));
  if (arnnet == 1) return 0;
  s.outfile.write("\tThe next error to occur after it was:\n\t  #2. ");
  show_error_record(s, arnoebuf.size() > 16 ? arnoebuf.subspan(16) : std::span<const unsigned char>());
  s.outfile.write("\tYou should determine why your ON ERROR routine did not RESUME from \n");
  s.outfile.write("\terror #1.  It may have caused error #2.\n");
  return 0;
}

}  // namespace morvik
