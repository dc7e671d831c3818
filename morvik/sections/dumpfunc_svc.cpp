#include "morvik/sections/dumpfunc_svc.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/dumpfunc_appmem.h"
#include "morvik/addrspace/dumpfunc_chain.h"
#include "morvik/addrspace/dumpfunc_sysmem.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/records/fnumt.h"
#include "morvik/records/mypd.h"
#include "morvik/report/doarray.h"
#include "morvik/sections/dumpfunc_con.h"

namespace morvik {

namespace {

constexpr uint16_t kSvcNames = 43;  // numbers 0-42 have names
// Summary lines are 80 bytes in a report file.
constexpr int32_t kSummaryLineBytes = 80;

// The unpadded names; "F_ENABLE " keeps its blank.
constexpr const char* kFuncs2[kSvcNames] = {
    "GET",        "SET",       "LOOKUP",    "CREATE",    "DELETE",    "OPEN",      "CLOSE",      "READ",
    "WRITE",      "SPECIAL",   "RENAME",    "DEFINE",    "DEVLOCK",   "INSTALL",   "LOCK",       "COPY",
    "ALTER",      "XLAT",      "RWAIT",     "KCTRL",     "ORDER",     "KEYPUT",    "GIVE",       "BWAIT",
    "TIMER",      "EXIT",      "ABORT",     "CANCEL",    "WAIT",      "F_STATUS",  "F_RETURN",   "F_EXCEPTION",
    "F_ENABLE ",  "F_DISABLE", "F_SWIRET",  "F_MALLOC",  "F_MFREE",   "F_OVERLAY", "F_COMMAND",  "F_CONTROL",
    "F_GSX",      "F_SEEK",    "????"};

constexpr const char* kFuncs[kSvcNames] = {
    "GET      ", "SET      ", "LOOKUP   ", "CREATE   ", "DELETE   ", "OPEN     ", "CLOSE    ", "READ     ",
    "WRITE    ", "SPECIAL  ", "RENAME   ", "DEFINE   ", "DEVLOCK  ", "INSTALL  ", "LOCK     ", "COPY     ",
    "ALTER    ", "XLAT     ", "RWAIT    ", "KCTRL    ", "ORDER    ", "KEYPUT   ", "GIVE     ", "BWAIT    ",
    "TIMER    ", "EXIT     ", "ABORT    ", "CANCEL   ", "WAIT     ", "F_STATUS ", "F_RETURN ", "F_EXCEPTION",
    "F_ENABLE ", "F_DISABLE", "F_SWIRET ", "F_MALLOC ", "F_MFREE  ", "F_OVERLAY", "F_COMMAND", "F_CONTROL",
    "F_GSX    ", "F_SEEK   ", "????     "};

enum : uint16_t {
  kGet = 0, kSet = 1, kLookup = 2, kCreate = 3, kDelete = 4, kOpen = 5, kClose = 6, kRead = 7, kWrite = 8,
  kSpecial = 9, kTimer = 24, kWait = 28, kMalloc = 35
};

// The largest SVC trace table read (the kernel's data segment).
constexpr size_t kMostTraceBytes = 0x10000;

// A process name of 10 bytes, blank or NUL padded, without its padding.
std::string process_name(const unsigned char* p_name) {
  std::string name = bounded_text(p_name, 10);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

std::string lower(std::string t) {
  for (char& c : t)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return t;
}


// Writes `text`, then the time when given, then `tail` on the next summary
// line of a report file, and moves to the line after it.
void summary_with_time(Session& s, const std::string& text, std::optional<uint32_t> msec, const char* tail) {
  if (!s.outfile.is_file() || s.summaryEnd == 0 || s.summaryPos >= s.summaryEnd) return;
  seek_summary(s, s.summaryPos);
  s.outfile.write(text);
  if (msec) formatTime(s, static_cast<int32_t>(*msec));
  s.outfile.write(tail);
  s.summaryPos += kSummaryLineBytes;
  s.outfile.seek_end();
}

// The runtime's SVC bookkeeping block in the data segment: the u32 at byte
// 38 is the time the SVC was issued.
std::optional<uint32_t> svc_issued_time(Session& s) {
  static constexpr unsigned char kPattern[20] = {0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0x50,
                                                 0xC0, 0, 0, 0, 0, 0, 0, 0, 0, 0x50};
  constexpr size_t kBlock = 42;
  AppMemory mem(s);
  std::vector<unsigned char> seg(0x10000);
  seg.resize(mem.read(uint32_t{s.DS_selector} << 16, seg.data(), seg.size()));
  auto at = std::search(seg.begin(), seg.end(), std::begin(kPattern), std::end(kPattern));
  if (at == seg.end() || size_t(seg.end() - at) < kBlock) return std::nullopt;
  return vt::le32(&*at + 38);
}

// Up to `len` bytes of application data at `far` as text ending at a NUL;
// nothing when `far` is not readable application data.
std::optional<std::string> app_text(Session& s, uint32_t far, size_t len) {
  if (isSelector(s, static_cast<uint16_t>(far >> 16)) != kLdtData) return std::nullopt;
  AppMemory mem(s);
  std::vector<unsigned char> buf(len, 0);
  size_t got = mem.read(far, buf.data(), len);
  if (got == 0) return std::nullopt;
  return bounded_text(buf.data(), got);
}

// The WAIT of a BASIC application: the count, sessions and time two frames
// up its stack, as summary lines (or one line on the screen).
void wait_summary(Session& s, const std::string& name) {
  AppMemory mem(s);
  uint32_t bp = s.BP;
  for (int hop = 0; hop < 2; ++hop) {
    unsigned char w[2];
    if (isSelector(s, s.SS_selector) != kLdtData || !mem.read_all(uint32_t{s.SS_selector} << 16 | bp, w, 2)) return;
    bp = vt::le16(w);
  }
  uint32_t frame = bp + (s.space.termappl ? 0 : 2);
  unsigned char buf[40] = {};
  size_t got = mem.read(uint32_t{s.SS_selector} << 16 | ((frame + 6) & 0xFFFF), buf, sizeof buf);
  if (got < 6) return;
  // The count, its sessions and the time must all lie in the bytes read.
  size_t count = std::min<size_t>(vt::le16(buf), (got - 6) / 2);
  uint32_t time = vt::le32(buf + 2 + 2 * count);
  std::vector<std::string> lines(1, vt::format(" %s is in a %u millisecond WAIT", name.c_str(), time));
  if (count > 0) lines[0] += " on session(s)";
  for (size_t i = 0; i < count; ++i) {
    if (i == 4) {
      lines[0] += ",";
      size_t left = count - 4;
      size_t column = left * 4 < 70 ? 70 - 4 * left : 0;
      lines.emplace_back(column > 4 ? column - 4 : 0, ' ');
    } else if (i > 0) {
      lines.back() += ",";
    }
    lines.back() += vt::format(" %d", static_cast<int16_t>(vt::le16(buf + 2 + 2 * i)));
  }
  lines.back() += ".";
  if (s.outfile.is_file()) {
    for (const std::string& line : lines) add_summary_line(s, "%s", line.c_str());
  } else {
    s.outfile.write("\t ");
    for (const std::string& line : lines) s.outfile.write(line);
    s.outfile.write("\n");
  }
}

// A line ending in a blank field for the name of the file the SVC refers
// to; the field starts one blank after the label.
void svc_field(Session& s, uint32_t fnum, const char* label, size_t blanks) {
  s.outfile.write(label);
  s.outfile.write(std::string(blanks, ' '));
  s.openfiles.fnumForSVC = fnum;
  s.openfiles.SVCend = s.outfile.tell();
  s.openfiles.SVCpos = s.openfiles.SVCend - static_cast<int64_t>(blanks - 1);
}

}  // namespace

std::string appl_process_name(const Session& s) {
  if (!s.applprocess) return s.APPL_NAME;
  return process_name(reinterpret_cast<const unsigned char*>(s.applprocess->p_name));
}

const char* svc_name(uint16_t func) { return kFuncs[std::min<uint16_t>(func, kSvcNames - 1)]; }
const char* svc_name_unpadded(uint16_t func) { return kFuncs2[std::min<uint16_t>(func, kSvcNames - 1)]; }

void fill_svc_name(Session& s, std::string_view name) {
  OpenFiles& o = s.openfiles;
  o.fnumForSVC = 0;
  if (!s.outfile.is_file() || o.SVCend <= o.SVCpos) return;
  s.outfile.seek(o.SVCpos);
  s.outfile.set_write_limit(o.SVCend);
  s.outfile.write(name);
  s.outfile.seek_end();
}

void svctrace(Session& s) {
  if (s.outfile.is_file()) s.con.err << "\n  Processing the SVC trace...\n";
  std::optional<sym_s> table, last, next_sym;
  scan_kernel_symbols(s, [&](const sym_s& sym) {
    if (!table && sym.name == "act_table") table = sym;
    if (!last && sym.name == "act_last") last = sym;
    if (!next_sym && sym.name == "act_next") next_sym = sym;
    return !(table && last && next_sym);
  });
  if (!table || !last || !next_sym) return;
  uint16_t next = 0;
  s.dumpfile.read_u16_at(sym_dump_offset(s, *next_sym), next);

  s.outfile.write("\n SUB SVC (Supervisor Call) Trace:\n\n");
  const uint32_t start = sym_dump_offset(s, *table);
  const uint32_t end = sym_dump_offset(s, *last) + trc::kSize;
  size_t bytes = end > start ? std::min<size_t>(end - start, kMostTraceBytes) : 0;
  std::vector<unsigned char> buf(bytes);
  buf.resize(s.dumpfile.read_at(start, buf.data(), buf.size()));
  const size_t slots = buf.size() / trc::kSize;
  const int64_t oldest = int64_t{next} + s.space.OS_Data - start;

  struct Last {
    uint32_t stuff;
    uint16_t func;
  };
  std::optional<Last> lastsvc;
  const std::string app = s.applname == "0" ? std::string() : s.applname;
  bool walked = oldest >= 0 && oldest % trc::kSize == 0 &&
                walk_ring(slots, static_cast<size_t>(oldest / trc::kSize), [&](size_t slot) {
                  trc t = decode_trc(&buf[slot * trc::kSize]);
                  if (t.type != trc::kSvc) return;
                  unsigned char pd[27] = {};
                  read_walk_record(s, t.pd, pd, sizeof pd);
                  std::string name = process_name(pd + 16);
                  if (t.func < kSvcNames) {
                    s.outfile.print("\tSVC  %s    %-10.10s    ", svc_name(t.func), name.c_str());
                    formatTime(s, static_cast<int32_t>(t.stuff));
                    s.outfile.write("\n");
                    if (!app.empty() && lower(name).compare(0, app.size(), app) == 0) lastsvc = Last{t.stuff, t.func};
                  } else {
                    s.outfile.print("\tSVC  func = %d,", t.func);
                    formatTime(s, static_cast<int32_t>(t.stuff));
                  }
                });
  if (!walked) {
    s.outfile.print("*** The SVC trace's next entry %04X is not an entry of its table; the trace ends here.\n",
                    static_cast<unsigned>(next));
    return;
  }
  // GET is SVC 0: a last SVC of that number is still one.
  if (lastsvc && s.outfile.is_file()) {
    std::string text = vt::format(" The last SVC for %s was %s at", appl_process_name(s).c_str(),
                                  svc_name_unpadded(lastsvc->func));
    summary_with_time(s, text, lastsvc->stuff, ".");
    s.openfiles.svc_timestamp = true;
  }
}

void showSVC(Session& s, const unsigned char* args) {
  const uint16_t func = vt::le16(args);
  const uint32_t pblk_at = vt::le32(args + 2);
  const uint32_t third = vt::le32(args + 6);
  std::optional<uint32_t> issued;
  if (s.cbrt > 49) issued = svc_issued_time(s);

  pblk p;
  if (func != kWait) {
    if (isSelector(s, static_cast<uint16_t>(pblk_at >> 16)) != kLdtData) return;
    unsigned char raw[pblk::kSize];
    AppMemory mem(s);
    if (!mem.read_all(pblk_at, raw, sizeof raw)) return;
    p = decode_pblk(raw);
  }
  const std::string name = appl_process_name(s);
  // A name of 22 bytes at parm1, cut to 21.
  auto named = [&](const char* fmt, bool device) {
    std::string n = app_text(s, p.parm1, 22).value_or(std::string()).substr(0, 21);
    if (device) n = devname(n);
    s.outfile.print(fmt, n.c_str());
  };
  switch (func) {
    case kGet: s.outfile.print(":  GET table %d", p.option); break;
    case kSet: s.outfile.print(":  SET table %d", p.option); break;
    case kLookup: {
      // The third argument names the table: shown as text when it points
      // at application data, else as its value.
      auto text = app_text(s, third, 20);
      std::string shown = text ? *text : vt::format("%08lX", static_cast<unsigned long>(third));
      s.outfile.print(":  LOOKUP table %d, %s", p.option, shown.c_str());
      if (isSelector(s, static_cast<uint16_t>(p.parm1 >> 16)) == kLdtData)
        if (auto file = app_text(s, p.parm1, 20)) s.outfile.print(", file %s", file->c_str());
      break;
    }
    case kCreate: named(":  CREATE %s", false); break;
    case kDelete: named(":  DELETE %s", false); break;
    case kOpen: named(":  OPEN %s", true); break;
    case kClose: svc_field(s, p.parm1, p.flag == 1 ? ":  TCLOSE" : ":  CLOSE", 26); break;
    case kRead: svc_field(s, p.parm1, ":  READ", 31); break;
    case kWrite: svc_field(s, p.parm1, ":  WRITE to", 28); break;
    case kSpecial:
      if (p.swi != 0)
        svc_field(s, p.parm1, ":  E_SPECIAL to", 26);
      else
        svc_field(s, p.parm1, ":  SPECIAL to", 28);
      break;
    case kTimer:
      s.outfile.print(p.swi != 0 ? ":  TIMER %ld msec, asynchronous." : ":  TIMER %ld msec, synchronous.",
                      static_cast<long>(static_cast<int32_t>(p.parm1)));
      break;
    case kWait:
      s.outfile.write(":  WAIT");
      if (s.BASIC) wait_summary(s, name);
      break;
    case kMalloc: s.outfile.write(":  MALLOC"); break;
    default: s.outfile.write("\n"); return;
  }
  if (!s.openfiles.svc_timestamp)
    summary_with_time(s, vt::format(" %s is in a %s SVC%s", name.c_str(), svc_name_unpadded(func),
                                    issued ? " issued at" : ""),
                      issued, "");
  if (issued) {
    if (s.outfile.is_file()) {
      summary_with_time(s, "    This occurred at", issued, ".");
    } else {
      s.outfile.write("    This occurred at");
      formatTime(s, static_cast<int32_t>(*issued));
      s.outfile.write("\n");
    }
  }
  s.outfile.seek_end();
  s.outfile.write("\n");
}

}  // namespace morvik
