// Searches of the application's data segment: a text, and the runtime's
// table of ON ERROR addresses per error-ring slot ("oerrlist").
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc_appmem.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/sections/dumpfunc_errlist.h"
#include "morvik/symbols/dumpfunc_symfile.h"
#include "morvik/symbols/readcdv.h"

namespace morvik {

// The segment is read a page at a time through its own translation; the
// `outlen` bytes at a match are taken as far as the segment holds them.
std::optional<std::vector<unsigned char>> findStringInData(Session& s, const unsigned char* str, int16_t inlen,
                                                           int16_t outlen) {
  if (inlen <= 0 || outlen < inlen || isSelector(s, s.DS_selector) != kLdtData) return std::nullopt;
  AppMemory mem(s);
  const uint32_t limit = uint32_t{s.space.ldt_entry(s.DS_selector >> 3).ld_len} + 1;
  std::vector<unsigned char> seg(limit);
  seg.resize(mem.read(uint32_t{s.DS_selector} << 16, seg.data(), seg.size()));
  const size_t n = static_cast<size_t>(inlen);
  for (size_t o = 0; o + n <= seg.size(); ++o) {
    if (std::memcmp(seg.data() + o, str, n) != 0) continue;
    std::vector<unsigned char> out(static_cast<size_t>(outlen), 0);
    std::copy_n(seg.begin() + static_cast<std::ptrdiff_t>(o), std::min(out.size(), seg.size() - o), out.begin());
    return out;
  }
  return std::nullopt;
}

std::optional<std::vector<unsigned char>> findOERRlist(Session& s) {
  report(s, 910);
  AppMemory mem(s);
  RuntimeFindings& r = s.runtime;
  uint32_t oerrlist = 0;
  if (s.cdvfile.is_open()) {
    report(s, 911);
    if (const listitem* item = findCDVName(s, "oerrlist")) {
      if (s.debugmode) vt::print(s.con.out, "item=%08lX\n", static_cast<unsigned long>(static_cast<uint32_t>(item->addr)));
      unsigned char b[4] = {};
      if (mem.read_all(static_cast<uint32_t>(item->addr), b, 4)) oerrlist = vt::le32(b);
    }
  } else if (s.symfile.is_open()) {
    SymTokens tokens(s.symfile);
    std::string_view t;
    while (tokens.next(t, 159)) {
      const uint32_t value = Hex_to_Decimal(std::string(t).c_str());
      if (!tokens.next(t, 159)) break;
      const int16_t v16 = static_cast<int16_t>(value);
      if (t == "tracesize") r.sym_tracesize = v16;
      else if (t == "nestlevel") r.sym_nestlevel = v16;
      else if (t == "traceindex") r.sym_traceindex = v16;
      else if (t == "timebuffer") r.sym_timebuffer = v16;
      else if (t == "tracebuffer") r.sym_tracebuffer = v16;
      else if (t == "oerrlist") {
        s.outfile.print("\n\t oerrlist is supposed to be at %04X:%04X, based upon the SYM file.\n",
                        static_cast<unsigned>(s.DS_selector), static_cast<unsigned>(value & 0xFFFF));
        s.outfile.flush();
        if (s.debugmode)
          vt::print(s.con.out, "DS=%04X, offset=%04X\n", static_cast<unsigned>(s.DS_selector), static_cast<unsigned>(value & 0xFFFF));
        unsigned char b[4] = {};
        if (mem.read_all(uint32_t{s.DS_selector} << 16 | (value & 0xFFFF), b, 4)) oerrlist = vt::le32(b);
        break;
      }
    }
  }
  report(s, 915);
  if (oerrlist != 0 && (oerrlist & 0x70000) != 0x70000) {
    vt::print(s.con.err, "WARNING - oerrlist=%08lX.  The SYM file probably does not match!\n", static_cast<unsigned long>(oerrlist));
    s.outfile.print("\nWARNING - oerrlist=%08lX.  The SYM file probably does not match!\n", static_cast<unsigned long>(oerrlist));
    const uint32_t ds = uint32_t{s.DS_selector} << 16;
    auto u16 = [&](int16_t off) {
      unsigned char b[2] = {};
      mem.read(ds | static_cast<uint16_t>(off), b, 2);
      return vt::le16(b);
    };
    auto u32 = [&](int16_t off) {
      unsigned char b[4] = {};
      mem.read(ds | static_cast<uint16_t>(off), b, 4);
      return static_cast<unsigned long>(vt::le32(b));
    };
    s.outfile.print("  The word before tracesize should be 0x5000.  It is=%04X", u16(static_cast<int16_t>(r.sym_tracesize - 2)));
    s.outfile.print(".\n  tracesize:   offset=%04X", static_cast<unsigned>(static_cast<uint16_t>(r.sym_tracesize)));
    if (r.sym_tracesize) s.outfile.print(", value=%04X", u16(r.sym_tracesize));
    s.outfile.print(".\n  traceindex:  offset=%04X", static_cast<unsigned>(static_cast<uint16_t>(r.sym_traceindex)));
    if (r.sym_traceindex) s.outfile.print(", value=%04X", u16(r.sym_traceindex));
    s.outfile.print(".\n  tracebuffer: offset=%04X", static_cast<unsigned>(static_cast<uint16_t>(r.sym_tracebuffer)));
    if (r.sym_tracebuffer) s.outfile.print(", value=%08lX", u32(r.sym_tracebuffer));
    s.outfile.print(".\n  nestlevel:   offset=%04X", static_cast<unsigned>(static_cast<uint16_t>(r.sym_nestlevel)));
    if (r.sym_nestlevel) s.outfile.print(", value=%02X", static_cast<unsigned>(u16(r.sym_nestlevel) & 0xFF));
    s.outfile.print(".\n  timebuffer:  offset=%04X", static_cast<unsigned>(static_cast<uint16_t>(r.sym_timebuffer)));
    if (r.sym_timebuffer) s.outfile.print(", value=%08lX", u32(r.sym_timebuffer));
    s.outfile.write(".\n\n");
    s.outfile.flush();
    // The table cannot be read through a pointer that is not application
    // data: the error list goes on without it.
    report(s, 919);
    return std::nullopt;
  }
  report(s, 919);
  if (oerrlist == 0) return std::nullopt;
  std::vector<unsigned char> table(68, 0);
  mem.read(oerrlist, table.data(), 64);
  return table;
}

}  // namespace morvik
