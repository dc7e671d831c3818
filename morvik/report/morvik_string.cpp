// The printer of one BASIC string, shared by the array printer, the
// variables sections and the CDV variable listing.
#include "morvik/report/morvik_string.h"

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/ldt.h"

namespace morvik {

namespace {

// Reads `buf.size()` bytes of the application at `addr` without running
// past the segment's 64 KB; bytes not read stay zero. A selector that is not
// the application's ends the run in the translation.
void read_app(Session& s, std::span<unsigned char> buf, uint32_t addr) {
  if (buf.empty()) return;
  if ((addr & 0xFFFF) + buf.size() - 1 > 0xFFFF) buf = buf.first(0x10000 - (addr & 0xFFFF));
  readstuff(s, buf, addr, 1, static_cast<int16_t>(buf.size()), 'a');
}

}  // namespace

int16_t doString(Session& s, uint32_t addr) {
  vt::ReportSink& o = s.outfile;
  if (addr == 0) {
    o.write(s.symfile.is_open() ? "STR    Null\n" : "Null string\t\t\t");
    return 0;
  }
  unsigned char lenbytes[2] = {0, 0};
  read_app(s, lenbytes, addr);
  uint16_t L = vt::le16(lenbytes);
  if (L == 0)
    o.write("STR    0; \"");
  else
    o.print("STR %4d: \"", L);

  size_t n = L;
  if ((addr & 0xFFFF) + n > 0xFFFF) n = 16;
  if (n > 0 && isValidSelector(s, addr + static_cast<uint32_t>(n) - 1) != kLdtData) n = 1;
  n = std::min<size_t>(n, s.userStringLimit);
  // The characters stop where the segment's reads stop (below ld_len, and
  // within 0xFFFF): the string is cut there rather than shown with bytes
  // never read.
  uint32_t end = std::min<uint32_t>(0xFFFF, getlimit(s, addr));  // first offset not read
  uint32_t first = (addr & 0xFFFF) + 2;
  n = first >= end ? 0 : std::min<size_t>(n, end - first);

  std::vector<unsigned char> chars(n, 0);
  if ((addr & 0xFFFF) <= 0xFFFD) read_app(s, chars, addr + 2);
  bool unprintable = false;
  unsigned char any = 0;
  std::string text;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = chars[i];
    any |= c;
    if (c < 32 || c > 126) {
      unprintable = true;
      c = '.';
    }
    text += static_cast<char>(c);
    if ((i + 1) % 60 == 0) text += "\n\t\t\t\t       ";
  }
  text += '"';
  o.write(text);
  if (any == 0) {
    o.write(" (all hex 00)");
  } else if (unprintable) {
    std::string hex = "\n\t\t\t       or hex  ";
    for (size_t i = 0; i < n; ++i) {
      hex += vt::format("%02X", chars[i]);
      size_t count = i + 1;
      if (count % 24 == 0)
        hex += "\n\t\t\t\t       ";
      else if (count % 8 == 0)
        hex += "  ";
      else if (count % 4 == 0)
        hex += " ";
    }
    o.write(hex);
    if (s.cdvfile.is_open()) {
      if (n == 1) o.write("    ");
      return 0;
    }
  }
  if (s.symfile.is_open())
    o.write("\n");
  else if (n >= 8 && n <= 11)
    o.write("\t");
  else if (n <= 7)
    o.write("\t\t");
  return 0;
}

}  // namespace morvik
