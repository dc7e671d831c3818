#include "morvik/driver/morvik_rtdata.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc_appmem.h"
#include "morvik/addrspace/dumpfunc_chain.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/driver/morvik_procs.h"
#include "morvik/records/showcrt.h"
#include "morvik/report/doarray.h"
#include "morvik/sections/doarray_unresumed.h"
#include "morvik/sections/dumpfunc_errlist.h"
#include "morvik/symbols/dumpfunc_code.h"
#include "morvik/symbols/dumpfunc_symfile.h"
#include "morvik/symbols/readcdv.h"

namespace morvik {

namespace {

// The data segment, read once through the application's translation (a
// page at a time), for the marker scans: bytes not in the dump end it.
struct DataSegment {
  std::vector<unsigned char> bytes;

  DataSegment(Session& s, AppMemory& mem) {
    if (isSelector(s, s.DS_selector) != kLdtData) return;
    bytes.resize(size_t{s.space.ldt_entry(s.DS_selector >> 3).ld_len} + 1);
    bytes.resize(mem.read(uint32_t{s.DS_selector} << 16, bytes.data(), bytes.size()));
  }
  // The first offset from `from` below `end` where `text` (`n` bytes) starts
  // and `accept` agrees.
  template <typename Accept>
  std::optional<size_t> find(size_t from, size_t end, const char* text, size_t n, Accept accept) const {
    end = std::min(end, bytes.size());
    for (size_t o = from; o + n <= end; ++o)
      if (std::memcmp(bytes.data() + o, text, n) == 0 && accept(o)) return o;
    return std::nullopt;
  }
  // `len` bytes at `o`, zeros past the end.
  std::vector<unsigned char> at(size_t o, size_t len) const {
    std::vector<unsigned char> r(len, 0);
    if (o < bytes.size()) std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(o), std::min(len, bytes.size() - o), r.begin());
    return r;
  }
};

bool valid_far(uint32_t far) { return (far & 0x70000) == 0x70000; }

std::string process_name(const Session& s) { return s.applprocess ? pd_name(*s.applprocess) : std::string(); }

bool names_code(Session& s) { return !s.symbols.CodeHead.empty() || s.cdvfile.is_open(); }

// Writes a session's name into the blank field the blocked SVC's line keeps
// for it, never past the field.
void fill_svc_name(Session& s, uint32_t fnum, const std::string& text) {
  OpenFiles& o = s.openfiles;
  if (o.fnumForSVC == 0 || o.fnumForSVC != fnum) return;
  if (s.outfile.is_file() && o.SVCend > o.SVCpos) {
    s.outfile.seek(o.SVCpos);
    s.outfile.set_write_limit(o.SVCend);
    s.outfile.write(text);
    s.outfile.seek_end();
  }
  o.fnumForSVC = 0;
}

// --- the error history --------------------------------------------------

void print_slot(Session& s, const alstuff_s& al, size_t i, const std::vector<unsigned char>* oerr,
                std::vector<bool>& shown_session, bool& starE) {
  const alserrtrc e = al.ring[i];
  s.outfile.print("\t    %.2s ", reinterpret_cast<const char*>(e.err));
  s.outfile.print("%2.2X%2.2X%2.2X%2.2X", e.errnum_bytes[0], e.errnum_bytes[1], e.errnum_bytes[2], e.errnum_bytes[3]);
  const char* ts = reinterpret_cast<const char*>(e.timestmp);
  if (s.cbrt < 50) {
    s.outfile.print("   %.2s-%.2s  %.2s:%.2s", ts, ts + 2, ts + 4, ts + 6);
  } else {
    s.outfile.print("   %.2s-%.2s  ", ts, ts + 2);
    print_timestamp(s, vt::le32(e.timestmp + 4));
  }
  const uint32_t n = e.errnum();
  if (n == 0x30040000u || n == 0x52000000u || n == 0x50000000u || n == 0xA8000000u) {
    s.outfile.write("\t\t    ");
  } else if (al.session[i] != 0) {
    s.outfile.print("   session %4d", al.session[i]);
    shown_session[i] = true;
  } else {
    s.outfile.write("\t\t    ");
  }
  if (s.cbrt >= 50 && e.err[0] != 0x40 && e.err[3] != 0) {
    if (e.err[3] == 1)
      s.outfile.write("   repeated once");
    else
      s.outfile.print("   repeated %d times", e.err[3]);
  }
  if (oerr) {
    const uint32_t at = vt::le32(oerr->data() + 4 * i);
    s.outfile.print("\n\t\t\tON ERROR at %04x:%04x ", static_cast<unsigned>(at >> 16), static_cast<unsigned>(at & 0xFFFF));
    findname(s, at, 1);
    s.outfile.write("\n");
  }
  s.outfile.write("\n");
  if (n == 0xA0000000u) starE = true;
}

void error_list(Session& s, const alstuff_s& al) {
  const std::string name = process_name(s);
  const int k = al.next;
  if (k < 0 || k > 15) {
    s.outfile.print("\n\t*** The error ring's next-slot index %d lies outside 0-15: the ring is not listed.\n", k);
    return;
  }
  std::optional<std::vector<unsigned char>> oerr;
  if (s.cbrt >= 52) oerr = findOERRlist(s);
  const std::vector<unsigned char>* table = oerr ? &*oerr : nullptr;
  const bool wrapped = k < 15 && al.ring[static_cast<size_t>(k) + 1].errnum() != 0;
  s.outfile.print("\n\t The last %d errors recorded by the runtimes:\n\n", wrapped ? 15 : k);
  std::vector<bool> shown(16, false);
  bool starE = false;
  for (int i = k + 1; i <= 15 && al.ring[static_cast<size_t>(i)].errnum() != 0; ++i)
    print_slot(s, al, static_cast<size_t>(i), table, shown, starE);
  for (int i = 0; i < k; ++i)
    if (al.ring[static_cast<size_t>(i)].err[0] != 0x40) print_slot(s, al, static_cast<size_t>(i), table, shown, starE);

  if (s.cbrt >= 56) show_unresumed_errors(s, al.arnnet, al.arnoeptr, al.arnoebuf);
  if (starE) {
    static const unsigned char kApar[] = "OMKUCLTL APAR=";
    if (auto v = findStringInData(s, kApar, 14, 38)) {
      s.outfile.write("\n\t Apropos of the *E error, the Application Services Library \n");
      std::string text(v->begin(), v->end());
      s.outfile.print("\t    version is %s\n", text.substr(0, text.find('\0')).c_str());
    }
  }
  if (s.outfile.is_file()) {
    std::string line;
    if (k != 0) {
      const alserrtrc& e = al.ring[static_cast<size_t>(k) - 1];
      line = vt::format(" %s's last error was %.2s %2.2x%2.2x%2.2x%2.2X", name.c_str(), reinterpret_cast<const char*>(e.err),
                        e.errnum_bytes[0], e.errnum_bytes[1], e.errnum_bytes[2], e.errnum_bytes[3]);
      if (shown[static_cast<size_t>(k) - 1]) line += vt::format(" on session %2d", al.session[static_cast<size_t>(k) - 1]);
    } else {
      line = vt::format(" %s has recorded no runtime errors yet", name.c_str());
    }
    add_summary_line(s, "%s.", line.c_str());
  }
}

void unresumed(Session& s, int16_t arnnet) {
  if (arnnet == 1) {
    s.outfile.write("\n\t There is 1 un-resumed error\n");
    add_summary_line(s, "    There is 1 un-resumed error.");
  } else if (arnnet != 0) {
    s.outfile.print("\n\t There are %d un-resumed errors\n", arnnet);
    add_summary_line(s, "    There are %d un-resumed errors.%s", arnnet, arnnet < 0 ? "  (arnnet has gone negative.)" : "");
  }
  s.outfile.flush();
}

// --- the SWI trace --------------------------------------------------------

void swi_trace(Session& s, AppMemory& mem) {
  const uint32_t at = get_symbol_address(s, "disab_enab_trace");
  if (at == 0) return;
  unsigned char t[128] = {};
  if (!mem.read_all(at, t, sizeof t)) return;
  if (vt::le32(t) != 0x3E744544u || vt::le32(t + 124) != 0x7445443Cu) return;
  s.outfile.write("\t disab_enab_trace[] contains the following entries:\n");
  s.outfile.write("\t      the last transition from enabled to disabled: ");
  for (int i = 1; i <= 30; ++i) {
    const uint32_t e = vt::le32(t + 4 * i);
    if (e == 0xFFFFFFFFu) {
      s.outfile.write("\t    *** WRAP ***");
    } else {
      s.outfile.print("\t   %04X:%04X ", static_cast<unsigned>((e >> 16) & 0x7FFF), static_cast<unsigned>(e & 0xFFFF));
      s.outfile.write((e >> 16) > 0x8000 ? "Disable in " : " Enable in ");
      findname(s, e & 0x7FFFFFFFu, 1);
    }
    s.outfile.write("\n");
  }
}

// --- the sessions ---------------------------------------------------------

void sessions(Session& s, AppMemory& mem, const crt_s& crt) {
  const bool two = crt.second_form;
  if (crt.swi_count != 0)
    s.outfile.print("\n\t SWIs disabled %d time(s)\n", crt.swi_count);
  else
    s.outfile.write("\n\t SWIs are enabled\n");
  s.outfile.write("\n\t Open sessions   (trailing zeros are not formatted):\n\n");
  const int maxfn = std::min<int>(s.MAXFN, crt_s::kMaxSessions - 1);
  if (two && s.debugmode)
    for (int i = 0; i <= maxfn; ++i)
      if (crt.files[static_cast<size_t>(i)] != 0)
        s.outfile.print(" Session %2d pointer=%08lX\n", i, static_cast<unsigned long>(crt.files[static_cast<size_t>(i)]));
  for (int i = 0; i <= maxfn; ++i) {
    const uint32_t f = crt.files[static_cast<size_t>(i)];
    if (f == 0) continue;
    if (!two) s.outfile.print("\t   Session %2d:  ", i);
    unsigned char rec[64] = {};
    if (!valid_far(f) || mem.read(f, rec, sizeof rec) < fileinfo::kSize) {
      s.outfile.print("\n** ERROR ** %s.files[%d]=%08lX, which seems corrupted.\n", two ? "crt2" : "crt", i,
                      static_cast<unsigned long>(f));
      break;
    }
    const fileinfo fi = decode_fileinfo(rec);
    if (two) s.outfile.print("\t   Session %2d:  ", i);
    if (two && !valid_far(fi.buffer)) {
      s.outfile.print("\n** ERROR ** &buffer=%08lX, which seems corrupted.\n\n", static_cast<unsigned long>(fi.buffer));
      continue;
    }
    size_t room = two ? std::min<size_t>(0x10000 - (fi.filename & 0xFFFF), 64) : 80;
    std::vector<unsigned char> nb(room + 1, 0);
    mem.read(fi.filename, nb.data(), room);
    std::string fname(reinterpret_cast<const char*>(nb.data()));
    std::string shown = fi.devnum != 0 ? std::string(device_name(fname.c_str())) + " " : fname;
    s.outfile.write(shown);
    fill_svc_name(s, fi.fnum, two ? shown + "\n" : shown);
    s.outfile.print("\t%4d-byte buffer at %03lX:%04lX\n", fi.buffsize, static_cast<unsigned long>(fi.buffer >> 16),
                    static_cast<unsigned long>(fi.buffer & 0xFFFF));
    const uint32_t ifend = crt.ifend[static_cast<size_t>(i)];
    if (ifend != 0) {
      if (two) {
        s.outfile.print("\t   (IF END routine at %03x:%03x)\n", static_cast<unsigned>(ifend >> 16), static_cast<unsigned>(ifend & 0xFFFF));
      } else {
        s.outfile.print("\t   (IF END routine at %03x:%03hx  ", static_cast<unsigned>(ifend >> 16),
                        static_cast<unsigned short>(ifend & 0xFFFF));
        findname(s, ifend, 97);
        s.outfile.write(")\n");
      }
    }
    if (rec[9] & 0x70) showbuf(s, fi.buffer, fi.buffsize);
    if (two) s.outfile.flush();
  }
  s.outfile.flush();
  if (crt.accessing != 0) {
    if (two) {
      s.outfile.print("\t  The application is currently accessing session %d\n", crt.last_session);
    } else {
      s.outfile.print("\tThe application is currently referencing session %d.\n", crt.last_session);
      add_summary_line(s, " The application is currently referencing session %d.", crt.last_session);
    }
  } else {
    s.outfile.print("\t Session last referenced:  %d\n", crt.last_session);
  }
  s.outfile.print("\n\t EVENT%% = %d\n", crt.event);
  if (crt.pelton != 0) s.outfile.write("\n\t A PELTON printer is attached\n");
  s.outfile.write("\t Current async error routine:  ");
  if (crt.async_routine != 0) {
    const unsigned seg = crt.async_routine >> 16, off = crt.async_routine & 0xFFFF;
    s.outfile.print(two ? "%03x:%03x" : "%03x:%4.4x", seg, off);
    if (names_code(s)) {
      s.outfile.write(two ? "  (at" : " (");
      findname(s, crt.async_routine, 0);
      s.outfile.write(")");
    }
  } else {
    s.outfile.write("none defined");
  }
}

// --- the runtime registers ----------------------------------------------

void registers(Session& s, const crt_s& crt, const std::vector<unsigned char>& rt) {
  const int maxfn = std::min<int>(s.MAXFN, crt_s::kMaxSessions - 1);
  if (isSelector(s, vt::le16(rt.data() + 99)) == kLdtCode) {
    const uint32_t on = vt::le32(rt.data() + 97);
    s.outfile.print("\t Current on error routine:     %03x:%03hx", static_cast<unsigned>(on >> 16),
                    static_cast<unsigned short>(on & 0xFFFF));
    if (names_code(s)) {
      s.outfile.write(" (at");
      findname(s, on, 0);
      s.outfile.write(")");
    }
    s.outfile.write("\n");
    if (int16_t el = static_cast<int16_t>(vt::le16(rt.data() + 87))) s.outfile.print("\t  elnum:   %d\n", el);
    if (int16_t dl = static_cast<int16_t>(vt::le16(rt.data() + 103))) s.outfile.print("\t  Debug line number:\t\t\t%d\n", dl);
    s.outfile.write("\n\t IF END Settings:  ");
    bool any = false;
    for (int i = 0; i <= maxfn; ++i) {
      const uint16_t sp = vt::le16(rt.data() + 105 + 2 * i);
      const uint32_t r = crt.ifend[static_cast<size_t>(i)];
      if (sp == 0 || r == 0) continue;
      if (!any) s.outfile.write("\n\t\t   Session   Stack pointer   Routine");
      any = true;
      s.outfile.print("\n\t\t     %02d\t\t%.4hx", i, static_cast<unsigned short>(sp));
      s.outfile.print("\t   %4hx:%04hx ", static_cast<unsigned short>(r >> 16), static_cast<unsigned short>(r & 0xFFFF));
      findname(s, r, 0);
    }
    s.outfile.write(any ? "\n" : "No IF END routines are defined\n");
    return;
  }
  const uint16_t seg = vt::le16(rt.data() + 97), off = vt::le16(rt.data() + 95);
  const uint32_t on = uint32_t{seg} << 16 | off;
  s.outfile.print("\t Current on error routine:     %03x:%03hx", static_cast<unsigned>(seg), static_cast<unsigned short>(off));
  if (names_code(s)) {
    s.outfile.write(" in");
    findname(s, on, 0);
    if (s.cdvfile.is_open()) showlinenum(s, on);
  }
  s.outfile.write("\n");
  if (int16_t el = static_cast<int16_t>(vt::le16(rt.data() + 85))) s.outfile.print("\t  elnum:  %d\n", el);
  if (int16_t ln = static_cast<int16_t>(vt::le16(rt.data() + 101))) s.outfile.print("\t  lnum:\t\t\t\t%d\n", ln);
  s.outfile.write("\t IF END stack pointers:\t");
  bool any = false;
  for (int i = 0; i <= maxfn && 103 + 2 * i + 2 <= static_cast<int>(rt.size()); ++i) {
    const uint16_t sp = vt::le16(rt.data() + 103 + 2 * i);
    if (sp == 0 || crt.ifend[static_cast<size_t>(i)] == 0) continue;
    any = true;
    s.outfile.print("Session %02d:  %.4hx\n\t\t\t\t\t", i, static_cast<unsigned short>(sp));
  }
  s.outfile.write(any ? "\n" : "No IF END routines defined\n");
}

void missing(Session& s, const char* text) {
  s.outfile.write(text);
  s.outfile.flush();
  end_run(s, 0);
}

}  // namespace

void runtime_data_report(Session& s) {
  AppMemory mem(s);
  const DataSegment ds(s, mem);

  // The error history after "net==>".
  auto net = ds.find(0, 0xFFFF, "net==>", 6, [](size_t) { return true; });
  if (!net) missing(s, "\n\tCan't find net== ... this is probably not a BASIC application.\n");
  report(s, 34);
  size_t al_at = *net + 6;
  std::vector<unsigned char> raw = ds.at(al_at, alstuff_s::kSize);
  if (std::memcmp(raw.data() + 2, "*errs*", 6) != 0) {
    al_at -= 2;
    raw = ds.at(al_at, alstuff_s::kSize);
    if (std::memcmp(raw.data() + 2, "*errs*", 6) != 0) missing(s, "can't find \"*errs*\"\n\n\n");
  }
  const alstuff_s al = decode_alstuff(raw.data());
  s.runtime.arnnet = al.arnnet;
  report(s, 35);
  error_list(s, al);
  unresumed(s, al.arnnet);

  // The runtime's data "CRTDATA", taken where the 101 far pointers of its
  // IF END table are null or valid.
  report(s, 38);
  auto crt_at = ds.find(0, 0xFFFF, "CRTDATA", 7, [&](size_t o) {
    for (size_t g = 0; g < 101; ++g) {
      const size_t b = o + crt_s::kIfEnd + 4 * g + 2;
      if (b >= ds.bytes.size()) return false;
      if (ds.bytes[b] != 0 && (ds.bytes[b] & 7) != 7) return false;
    }
    return true;
  });
  if (!crt_at) missing(s, "can't find CRTDATA (p1)\n");
  const bool two = s.cbrt >= 48;
  report(s, two ? 40 : 39);
  const size_t crt_size = two ? crt_s::kSize2 : crt_s::kSize1;
  const crt_s crt = decode_crt(ds.at(*crt_at, crt_size).data(), two);
  s.runtime.heapScanFrom = static_cast<int32_t>(*crt_at + crt_size);
  s.runtime.savedErrorHead = crt.saved_errors;
  if (s.cbrt >= 55) swi_trace(s, mem);
  report(s, two ? 42 : 41);
  sessions(s, mem, crt);
  s.outfile.write("\n");
  s.outfile.flush();
  s.con.out.flush();

  // The runtime registers "RTDATA" past the runtime's data.
  report(s, 43);
  static const char kRtdata[] = {'R', 'T', 'D', 'A', 'T', 'A', 0};
  auto rt_at = ds.find(*crt_at + crt_size, 0x10000, kRtdata, 7, [](size_t) { return true; });
  if (!rt_at) missing(s, "can't find RTDATA (p2)\n");
  const std::vector<unsigned char> rt = ds.at(*rt_at, rtdata_s::kSize);
  report(s, 45);
  registers(s, crt, rt);
}

void saved_error_data(Session& s) {
  if (!s.space.termappl || s.runtime.arnnet <= 1 || s.runtime.savedErrorHead == 0) return;
  s.outfile.write("\n\n    There are some outstanding errors...\n");
  vt::print(s.con.out, "  Processing errors...\n");
  report(s, 54);
  AppMemory mem(s);
  ChainGuard guard;
  const size_t low = s.cbrt < 40 ? 4 : 0;
  size_t blocks = 0;
  ChainResult r = walk_application_records(
      mem, guard, s.runtime.savedErrorHead, saved_error_s::kSize, [&](uint32_t, const unsigned char* rec) -> std::optional<uint32_t> {
        const saved_error_s e = decode_saved_error(rec, low);
        ++blocks;
        s.outfile.write("\nThe following data was saved before entering an ON ERROR routine:");
        s.outfile.print("   savesp1: 0x%hx  (stack pointer)\n", static_cast<unsigned short>(e.savesp1));
        s.outfile.print("   errc:    %c%c\n", e.errc[1], e.errc[0]);
        s.outfile.print("   errn:    0x%lx\n", static_cast<unsigned long>(e.errn));
        s.outfile.print("   errio:   %d  (session number)\n", e.errio);
        return e.next;
      });
  std::string note = chain_note(r, "Saved error chain", "block");
  if (!note.empty()) s.outfile.print("\n%s\n", note.c_str());
  if (blocks > 0) s.outfile.write("\nEnd of saved error data\n");
  s.outfile.flush();
}

}  // namespace morvik
