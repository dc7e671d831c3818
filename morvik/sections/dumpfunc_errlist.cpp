// The controller runtime's data: version, runtime data block, sessions,
// ON ERROR settings and the chain of data saved before ON ERROR routines.
#include "morvik/sections/dumpfunc_errlist.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc_appmem.h"
#include "morvik/addrspace/dumpfunc_chain.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/records/cdata.h"
#include "morvik/records/wrencrt.h"
#include "morvik/report/doarray.h"
#include "morvik/symbols/dumpfunc_code.h"

namespace morvik {

namespace {

const std::string kSide = "\xBA";

std::string frame(char left, char right, size_t fill) { return std::string(1, left) + std::string(fill, '\xCD') + right; }

// A box of the system's layout: `indent`, then a top line, the text lines
// between sides, a bottom line.
void box(Session& s, const std::string& indent, size_t width, const std::vector<std::string>& lines) {
  s.outfile.write(indent + frame('\xC9', '\xBB', width) + "\n");
  for (const std::string& l : lines) s.outfile.write(indent + kSide + l + kSide + "\n");
  s.outfile.write(indent + frame('\xC8', '\xBC', width) + "\n");
}

std::string process_name(const Session& s) {
  if (!s.applprocess) return std::string();
  std::string n(s.applprocess->p_name, sizeof s.applprocess->p_name);
  n = n.substr(0, n.find('\0'));
  return n.substr(0, n.find_last_not_of(' ') + 1);
}

void saved_instance(Session& s, const wren_rtdata& r, int n) {
  const std::string side = "\t\t\t\t\t\t\t\t\t  ";
  box(s, "    ", 69, {side, "   The following data was saved before entering an ON ERROR routine  ", side});
  s.outfile.print("\tsavesp1: 0x%hx  (stack pointer)\n", static_cast<unsigned short>(r.savesp1));
  s.outfile.print("\terrc:    %c%c\n", r.errc[1], r.errc[0]);
  s.outfile.print("\terrn:    0x%lx\n", static_cast<unsigned long>(r.errn));
  s.outfile.print("\terrio:   %d  (session number)\n", r.errio);
  box(s, "\t\t   ", 34, {std::string(34, ' '), vt::format("  End of data saved in heap (%3d) ", n), std::string(34, ' ')});
}

}  // namespace

void display(Session& s) {
  s.outfile.write("\n");
  const std::string blank(69, ' ');
  box(s, "    ", 69,
      {blank, "  Some errors have stacked up.  I'll format data saved in the heap   ",
       "  prior to each invocation of the ON ERROR routine and display up    ",
       "  to three instances, then display data only if the error differs    ",
       "  from the preceding one.  The final data displayed shows the state  ",
       "  at the time of the first un-resumed error.                         ", blank});
  s.outfile.write("\n");
}

// The chain is walked with the bounded walker; each block is the saved
// part of the runtime data (the next block's link where the runtime data
// keep the latest block) and the first bytes of the registers.
void doErrors(Session& s, uint32_t head) {
  if (head == 0) return;
  s.outfile.write("\n");
  constexpr size_t kLink = wren_crt::kSavedLink - wren_crt::kSavedAt;
  constexpr size_t kBlock = wren_crt::kSavedLen + wren_rtdata::kSavedLen;
  AppMemory mem(s);
  ChainGuard guard;
  int n = 1, full = 0, dots = 0;
  uint32_t prev_errn = 0;
  bool one = false;
  ChainResult r = walk_application_records(mem, guard, head, kBlock, [&](uint32_t, const unsigned char* rec) -> std::optional<uint32_t> {
    const uint32_t next = vt::le32(rec + kLink);
    if (n == 1 && next == 0) {
      s.outfile.write("\t There is one outstanding error.\n");
      one = true;
      return 0;
    }
    const wren_rtdata rt = decode_wren_rtdata(rec + wren_crt::kSavedLen, wren_rtdata::kSavedLen);
    if (next != 0 && n == 1) display(s);
    if (full >= 3 && next != 0 && rt.errn == prev_errn) {
      s.outfile.write(".");
      if (++dots % 80 == 0) s.outfile.write("\n");
      s.con.err.flush();
    } else {
      saved_instance(s, rt, n);
      ++full;
    }
    prev_errn = rt.errn;
    ++n;
    return next;
  });
  std::string note = chain_note(r, "Saved error chain", "block");
  if (!note.empty()) s.outfile.print("\n\t%s\n", note.c_str());
  if (one) return;
  const int blocks = n - 1;
  if (blocks > 1) {
    s.outfile.print("\n\t\t>>>>>>>>>>  %d missing resumes!  <<<<<<<<<< \n", blocks);
    add_summary_line(s, " %s has %d missing resumes!", process_name(s).c_str(), blocks);
  }
}

void wrenRTdata(Session& s) {
  s.runtime.rtlevel = s.shared ? findWrenRTlevel(s) : findNoshRTlevel(s);
  const int16_t level = s.runtime.rtlevel;
  AppMemory mem(s);
  const uint32_t ds = uint32_t{s.DS_selector} << 16;
  std::vector<unsigned char> head(4096, 0);
  head.resize(mem.read(ds, head.data(), head.size()));
  static const char kMarker[] = "??? Runtime Error ";
  size_t marker = 0;
  bool found = false;
  for (size_t i = 0; i + 18 <= head.size(); ++i)
    if (std::memcmp(head.data() + i, kMarker, 18) == 0) {
      marker = i;
      found = true;
      break;
    }
  if (!found) {
    s.outfile.write("\n  This doesn't appear to be a BASIC application.\n");
    return;
  }
  std::vector<unsigned char> crt(wren_crt::kSize, 0);
  auto read_crt = [&](size_t at) {
    std::fill(crt.begin(), crt.end(), 0);
    if (at <= 0xFFFF) mem.read(ds | static_cast<uint32_t>(at), crt.data(), crt.size());
  };
  read_crt(s.shared ? marker + 0x2B5 : 0x232);
  wren_crt c = decode_wren_crt(crt.data());
  if (!s.shared && c.valid1 == 0 && c.valid2 == 0) {
    std::vector<unsigned char> first(2048, 0);
    mem.read(ds, first.data(), first.size());
    size_t at = 0;
    bool got = false;
    for (size_t i = 0x2FC; i < 0x7FD; ++i)
      if (first[i] == ',' && first[i + 1] == '$' && first[i + 2] == '.') {
        at = i - 0x2FC;
        got = true;
        break;
      }
    if (!got) {
      s.outfile.write("\tCannot find the BASIC runtime data structure.\n");
      report(s, 69);
      return;
    }
    read_crt(at);
    c = decode_wren_crt(crt.data());
  }
  if (s.debugmode) {
    s.outfile.print("  stdinnum = %lx\n", static_cast<unsigned long>(c.stdinnum));
    s.outfile.print("  stdoutnum = %lx\n", static_cast<unsigned long>(c.stdoutnum));
    s.outfile.print("  security = 0x%04x\n", static_cast<unsigned>(c.security));
    s.outfile.print("  level = %d\n", c.swi_count);
    s.outfile.print("  currency = %c\n", c.currency);
    s.outfile.print("  separator = %c\n", c.separator);
    s.outfile.print("  sepdec = %c\n", c.sepdec);
  }
  int max = 0;
  if (level >= 629) {
    max = 1024;
  } else if (level >= 617) {
    max = 99;
  } else {
    report(s, 68);
    s.outfile.write("These are mighty old runtimes!!\n");
    s.outfile.flush();
    end_run(s, 0);
  }
  if (c.swi_count == 1)
    s.outfile.write("\t SWIs are disabled\n\n");
  else if (c.swi_count > 1)
    s.outfile.print("\t SWIs have been disabled %d times\n\n", c.swi_count);

  s.outfile.print("\t Open sessions (Max number of sessions = %d):\n", max);
  s.outfile.write("\t   (Trailing zeros are not formatted)\n\n");
  if (c.sessions == 0) {
    s.outfile.write("\t    There appear to be no sessions open.\n");
    add_summary_line(s, " There appear to be no sessions open.");
  } else {
    std::vector<unsigned char> table(static_cast<size_t>(max + 1) * 4, 0);
    mem.read(c.sessions, table.data(), table.size());
    static const char* const kDevices[] = {"(ASYNC)\t", "(BSC)\t", "(SNA)\t", "(SESSION)\t"};
    for (int i = 0; i <= max; ++i) {
      const uint32_t e = vt::le32(table.data() + 4 * i);
      if (isSelector(s, static_cast<uint16_t>(e >> 16)) != kLdtData) continue;
      s.outfile.print("\t   Session %2d:  ", i);
      unsigned char rec[fileinfo::kSize] = {};
      if (!mem.read_all(e, rec, sizeof rec)) {
        s.outfile.print("\n** ERROR ** session record at %08lX is not in the dump.\n", static_cast<unsigned long>(e));
        continue;
      }
      const fileinfo fi = decode_fileinfo(rec);
      if (fi.devnum >= 1 && fi.devnum <= 4) {
        s.outfile.write(kDevices[fi.devnum - 1]);
      } else if (fi.devnum == 0) {
        unsigned char name[31] = {};
        mem.read(fi.filename, name, 30);
        s.outfile.print("%s ", reinterpret_cast<const char*>(name));
      }
      s.outfile.print("\t%4u-byte buffer at %03x:%4.4hx\n", static_cast<unsigned>(fi.buffsize),
                      static_cast<unsigned>(fi.buffer >> 16), static_cast<unsigned short>(fi.buffer & 0xFFFF));
      if ((fi.buffer >> 16) & 7) showbuf(s, fi.buffer, fi.buffsize);
    }
  }
  if (c.referencing != 0)
    s.outfile.print("\n\t Currently referencing session %d\n", c.session);
  else if (c.session != 0)
    s.outfile.print("\n\t Latest session number used:  %d\n", c.session);

  std::vector<unsigned char> rt(wren_rtdata::kSize, 0);
  if (s.shared) {
    mem.read(ds | 0x7B0, rt.data(), rt.size());
  } else {
    bool got = false;
    for (size_t i = 0; i + 4 <= head.size(); ++i)
      if (vt::le16(head.data() + i) == 0x005B && vt::le16(head.data() + i + 2) == 0x00E7) {
        mem.read(ds | static_cast<uint32_t>(i), rt.data(), rt.size());
        got = true;
        break;
      }
    if (!got) std::fill(rt.begin(), rt.end(), 0);
  }
  const wren_rtdata r = decode_wren_rtdata(rt.data(), rt.size());
  if (r.sig1 != 0x005B || r.sig2 != 0x00E7) {
    s.outfile.write("\n  Cannot find the rtdata structure.\n");
    return;
  }
  if (r.errn != 0) {
    s.outfile.print("\n\t Latest error:  errc = %c%c,  errn = %lx,  errio = %d\n", r.errc[1], r.errc[0],
                    static_cast<unsigned long>(r.errn), r.errio);
    doErrors(s, c.saved);
  } else {
    s.outfile.write("\n\t No outstanding errors\n");
  }
  if (r.on_error != 0) {
    s.outfile.print("\n\t Current on error routine:     %3.3x:%4.4x", static_cast<unsigned>(r.on_error >> 16),
                    static_cast<unsigned>(r.on_error & 0xFFFF));
    if (s.symfile.is_open()) {
      s.outfile.write(" at");
      findname(s, r.on_error);
    } else if (s.cdvfile.is_open()) {
      s.outfile.write(" in");
      findname(s, r.on_error);
    } else {
      s.outfile.write("\n");
    }
    s.outfile.write("\n");
  }
  if (c.async_routine != 0) {
    s.outfile.print("\t Current async error routine:  %3x:%04x", static_cast<unsigned>(c.async_routine >> 16),
                    static_cast<unsigned>(c.async_routine & 0xFFFF));
    if (s.symfile.is_open() || s.cdvfile.is_open()) {
      s.outfile.write(" at");
      findname(s, c.async_routine);
    }
    s.outfile.write("\n");
  }
  if (r.debug_line != 0) s.outfile.print("\n\t Debug line number %d\n", r.debug_line);
}

}  // namespace morvik
