// The open files and pipes, and the file system's operations trace.
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/dumpfunc_chain.h"
#include "morvik/addrspace/dumpfunc_sysmem.h"
#include "morvik/records/fnumt.h"
#include "morvik/records/pipestruct.h"
#include "morvik/report/doarray.h"
#include "morvik/sections/dumpfunc_svc.h"
#include "morvik/symbols/dumpfunc_code.h"

namespace morvik {

namespace {

// File functions whose trace entries carry no file offset.
bool opens_or_closes(uint16_t func) {
  return func == 6 || func == 7 || func == 11 || func == 12 || func == 1 || func == 2;
}
constexpr uint16_t kFsRead = 8, kFsWrite = 9;

const char* manager_type(uint8_t mod) {
  switch (mod) {
    case kModPipe: return "PIPE";
    case kModDisk: return "DISK";
    case kModCon: return "CON ";
    case kModNfs: return "NFS ";
    case kModNet: return "NET ";
    case kModMisc: return "MISC";
    default: return "EXT?";
  }
}

// A name of `len` bytes at `far` plus `at`, ending at a NUL; empty when not
// in the dump.
std::string system_text(Session& s, uint32_t far, uint32_t at, size_t len) {
  std::vector<unsigned char> buf(len, 0);
  size_t got = far == 0 ? 0 : read_walk_record(s, far + at, buf.data(), len);
  return bounded_text(buf.data(), got);
}

void add_application_pipe(Session& s, const std::string& name) {
  for (const pipelistItem& p : s.openfiles.pipelist)
    if (p.name == name) return;  // opened more than once, listed once
  s.openfiles.pipelist.push_back({name, 0});
}

// One entry whose control block is not an OLIST; returns the name the
// blocked SVC's field gets (none for entries without one).
std::optional<std::string> control_block_entry(Session& s, const _fnumt& e, uint32_t fnum) {
  unsigned char blk[FSF0DACB::kSize];
  if (read_walk_record(s, e.fnt_ctrl, blk, sizeof blk) != sizeof blk) return std::nullopt;
  const FSF0DACB d = decode_fsf0dacb(blk);
  const char* type = manager_type(e.fnt_mod);
  const unsigned long fn = static_cast<unsigned long>(fnum);
  auto as_console = [&]() {
    s.outfile.print("\t\t\t  %08lx %s        %04x\n", fn, type, static_cast<unsigned>(e.fnt_rpid));
  };
  switch (e.fnt_mod) {
    case kModDisk: {
      std::string filespec = bounded_text(blk + FSF0DACB::kFilespecAt, FSF0DACB::kSize - FSF0DACB::kFilespecAt);
      s.outfile.print(" %-24s %08lx %s", filespec.c_str(), fn, type);
      s.outfile.print("  %4x  %04hx  %4x  %s\n", d.ACB_rnid, d.ACB_rpid, d.ACB_rfid,
                      getfid(static_cast<int16_t>(d.ACB_rfid)));
      return vt::format("%24s", filespec.c_str());
    }
    case kModPipe: {
      unsigned char raw[pipestruct::kSize] = {};
      read_walk_record(s, d.of_ctrl, raw, sizeof raw);
      const pipestruct pipe = decode_pipestruct(raw);
      std::string name = pipe.name();
      s.outfile.print(" %-24s %08lx %s  %4x  %04hx  %4x  %s", name.c_str(), fn, type, d.of_rnid, d.of_rpid, d.of_rfid,
                      getfid(static_cast<int16_t>(d.of_rfid)));
      if (pipe.pi_flags & pipestruct::kSemaphore) s.outfile.print("  %04lx", static_cast<unsigned long>(pipe.pi_owner));
      s.outfile.write("\n");
      if (s.applprocess && d.of_rpid == (s.applprocess->p_pid & 0xFFFF)) add_application_pipe(s, name);
      return vt::format("%24s", name.c_str());
    }
    case kModMisc: {
      std::string name = system_text(s, vt::le32(blk + 4), 6, 40);
      s.outfile.print(" %-24s %08lx %s  %4x  %04lx\n", name.c_str(), fn, type, e.fnt_rnid,
                      static_cast<unsigned long>(e.fnt_rpid));
      return name;
    }
    case kModNet:
      if (s.space.termdump) {
        std::string name = system_text(s, d.RSF_FILE_NAME, 0, 40);
        s.outfile.print(" %-24s %08lx %s", name.c_str(), fn, type);
        s.outfile.print("  %4x  %04hx  %4x\n", d.RSF_RNID, static_cast<unsigned short>(d.RSF_RPID), d.RSF_RFID);
        return name;
      }
      if ((d.RSF_FILE_NAME >> 16) <= s.space.GDT_lim) {
        // The name ends at its first CR or LF, else at its 40 bytes.
        std::string name = system_text(s, d.RSF_FILE_NAME, 0, 40);
        name = name.substr(0, name.find_first_of("\r\n"));
        s.outfile.print(" %-24s %08lx %s        %04x\n", name.c_str(), fn, type, static_cast<unsigned>(e.fnt_rpid));
        return name;
      }
      as_console();
      return std::nullopt;
    case kModCon:
      as_console();
      return std::string("Console");
    default:
      as_console();
      return std::nullopt;
  }
}

}  // namespace

const char* getFunction(int16_t funcnum) {
  static constexpr const char* kNames[] = {
      "INIT   ", "PCREATE", "PABORT ", "GET    ", "SET    ", "LOOKUP ", "OPEN   ", "CLOSE  ", "READ   ", "WRITE  ",
      "SEEK   ", "CREATE ", "DELETE ", "SPECIAL", "INSTALL", "DVRLOCK", "RENAME ", "LOCK   ", "COPY   ", "ALTER  ",
      "XLAT   ", "RWAIT  ", "KCTRL  ", "ORDER  ", "KEYPUT ", "GIVE   ", "BWAIT  ", "GSX    "};
  if (funcnum < 0 || funcnum >= static_cast<int16_t>(std::size(kNames))) return "????";
  return kNames[funcnum];
}

const char* getfid(int16_t rfid) {
  switch (static_cast<uint16_t>(rfid)) {
    case 0x7FE0:
    case 0x7FE1: return "DDA  ";
    case 0x7FE2: return "OCF  ";
    case 0x7FE3: return "ASM  ";
    case 0x7FE4: return "CON  ";
    case 0x7FE5: return "SIOAM";
    case 0x7FE6: return "PRS  ";
    case 0x7FE8: return "TERM ";
    case 0x7FE9: return "SNA  ";
    case 0x7FEE: return "TSS  ";
    default: return "     ";
  }
}

std::string devname(const std::string& buf) {
  static constexpr struct {
    const char* driver;
    const char* device;
  } kDevices[] = {
      {"OMKPIA", "ANDISPLAY:"},   {"OMKPID", "CDRAWER:"},  {"OMKPIC", "COIN:"},       {"OMKPIT", "TOTRET:"},
      {"OMKPII", "IOPROC:"},      {"OMKPIM", "MSR:"},      {"OMKPIN", "PINPAD:"},     {"OMKPIPR", "CR:"},
      {"OMKPIPJ", "SJ:"},         {"OMKPIPD", "DI:"},      {"OMKPIW", "SCALE:"},      {"OMKPIK", "TONE:"},
      {"OMKPIV", "VDISPLAY:"},    {"OMKPIA2", "ANDISPLAY2:"}, {"OMKPIF", "SDISPLAY:"}, {"OMKPIV2", "VDISPLAY2:"},
      {"OMKPIA4", "ANDISPLAY3:"}, {"OMKPIZ", "TOUCH:"},    {"OMKPIR1", "SERIAL 1"},   {"OMKPIR2", "SERIAL 2"},
      {"OMKPIR3", "SERIAL 3"},    {"OMKPIR4", "SERIAL 4"},
  };
  for (const auto& d : kDevices)
    if (buf == d.driver) return d.device;
  return buf;
}

void headers(Session& s) {
  s.outfile.write(s.space.termdump ? "\n\n SUB Open Files and Pipes:\n\n"
                                   : "\n\n SUB Open Files and Pipes on this controller:\n\n");
  s.outfile.write("    A non-zero Rnid field indicates that the pipe or file ");
  s.outfile.write("was opened from\n    another system on the LAN.  Rpid ");
  s.outfile.write("identifies the process which has the\n    file or pipe open.");
  if (s.applprocess) {
    s.outfile.print("    (The Rpid of %s is %04x.)", appl_process_name(s).c_str(), static_cast<unsigned>(s.applprocess->p_pid));
  }
  s.outfile.write("\n");
  s.outfile.write("\t\t\t\t\t\t\t\t Semaphor\n");
  s.outfile.write(" Fname\t\t\t  Fnum     Mngr  Rnid  Rpid  Rfid  Owner  Holder\n");
}

void formatFSFCCOMD(Session& s, const sym_s& sym) {
  unsigned char com[FSFCCOMD_s::kSize];
  if (s.dumpfile.read_at(sym_dump_offset(s, sym), com, sizeof com) != sizeof com) return;
  const FSFCCOMD_s c = decode_fsfccomd(com);
  std::vector<unsigned char> fstracebuf(size_t{FSF0FSTR::kSize} * FSF0FSTR::kSlots);
  size_t got = read_walk_record(s, c.FSF2trace, fstracebuf.data(), fstracebuf.size());

  s.outfile.write("\n\n\n SUB File Operations Trace:  the last 200 file operations ordered from\n"
                  "     oldest to latest\n\n");
  if (got != fstracebuf.size()) {
    s.outfile.print("*** The file operations trace at %08lX is not in the dump.\n",
                    static_cast<unsigned long>(c.FSF2trace));
    return;
  }
  const uint32_t distance = c.FSF2tptr - c.FSF2trace;
  const size_t oldest = distance / FSF0FSTR::kSize;
  bool walked = (c.FSF2tptr >> 16) == (c.FSF2trace >> 16) && c.FSF2tptr >= c.FSF2trace &&
                walk_ring(FSF0FSTR::kSlots, oldest, [&](size_t slot) {
                  const unsigned char* raw = &fstracebuf[slot * FSF0FSTR::kSize];
                  const FSF0FSTR t = decode_fsf0fstr(raw);
                  if (t.FUNC == 0) return;
                  int32_t secs = t.RESV / 1000;
                  long hours = secs / 3600, minutes = secs % 3600 / 60, seconds = secs % 60;
                  s.outfile.print("   Function %s", getFunction(static_cast<int16_t>(t.FUNC)));
                  if (!opens_or_closes(t.FUNC)) {
                    s.outfile.print("  Offset %08lX", static_cast<unsigned long>(t.offset));
                    s.outfile.print("\t\t       Time %02ld:%02ld:%02ld", hours, minutes, seconds);
                  } else {
                    s.outfile.print("\t\t\t\t       Time %02ld:%02ld:%02ld", hours, minutes, seconds);
                  }
                  std::string name = "\n     File ";
                  bool ended = false;
                  for (int i = 0; i < FSF0FSTR::kNameLen; ++i) {
                    unsigned char b = raw[FSF0FSTR::kNameAt + i];
                    ended = ended || b == FSF0FSTR::kNameEnd;
                    name += ended ? ' ' : static_cast<char>(b);
                  }
                  s.outfile.write(name);
                  s.outfile.print(" Rnid %3x  Rpid %4lx", t.RNID, static_cast<unsigned long>(t.RPID));
                  if (t.RNID == 0)
                    for (const plistItem& p : s.plist)
                      if (p.rpid == t.RPID) {
                        s.outfile.print("  Process %-10s", p.name.c_str());
                        break;
                      }
                  s.outfile.print("\n     Retc %04lx", static_cast<unsigned long>(static_cast<uint32_t>(t.RC)));
                  if (t.RC >= 0) s.outfile.write(" Success");
                  if ((t.FUNC == kFsRead || t.FUNC == kFsWrite) && t.RC > 0) {
                    std::string data = "\n     Data ";
                    for (int i = 0; i < FSF0FSTR::kDataLen; ++i) data += vt::format("%02X", raw[FSF0FSTR::kDataAt + i]);
                    data += '\t';
                    for (int i = 0; i < FSF0FSTR::kDataLen; ++i)
                      data += handle_unprintable_character(static_cast<char>(raw[FSF0FSTR::kDataAt + i]));
                    s.outfile.write(data);
                  }
                  s.outfile.write("\n\n");
                });
  if (!walked)
    s.outfile.print("*** The file operations trace's next slot %08lX lies outside its 200 slots; the trace ends here.\n",
                    static_cast<unsigned long>(c.FSF2tptr));
}

void showfnums(Session& s) {
  if (s.debugmode) show_function_prolog_code(s);
  if (s.outfile.is_file()) s.con.err << "  Processing open files...\n";
  std::optional<sym_s> fn_tab;
  std::optional<uint16_t> fn_table, fn_allotment, fn_shifttabl;
  bool mtables = false, fsfccomd = false;
  auto u16_of = [&](const sym_s& sym) {
    uint16_t v = 0;
    s.dumpfile.read_u16_at(sym_dump_offset(s, sym), v);
    return v;
  };
  scan_kernel_symbols(s, [&](const sym_s& sym) {
    if (!fn_tab && sym.name == "fn_tab") fn_tab = sym;
    else if (!fn_table && sym.name == "fn_table") fn_table = u16_of(sym);
    else if (!fn_allotment && sym.name == "fn_allotment") fn_allotment = u16_of(sym);
    else if (!fn_shifttabl && sym.name == "fn_shifttabl") fn_shifttabl = u16_of(sym);
    else if (!mtables && sym.name == "fn_mtables") mtables = true;
    else if (!fsfccomd && sym.name == "FSFCCOMD") {
      fsfccomd = true;
      formatFSFCCOMD(s, sym);
    }
    return !(fn_tab && fn_table && fn_allotment && fn_shifttabl && mtables && fsfccomd);
  });
  if (!fn_tab || !fn_table || !fn_allotment || !fn_shifttabl) return;

  std::vector<unsigned char> ptrs(size_t{*fn_table} * 4);
  ptrs.resize(s.dumpfile.read_at(sym_dump_offset(s, *fn_tab), ptrs.data(), ptrs.size()) / 4 * 4);
  headers(s);
  const unsigned shift = *fn_shifttabl & 31;
  std::set<uint32_t> seen;  // a table named twice is listed once
  std::vector<unsigned char> fnumt(size_t{*fn_allotment} * _fnumt::kSize);
  for (size_t t = 0; t < ptrs.size() / 4; ++t) {
    const uint32_t table = vt::le32(&ptrs[t * 4]);
    if (table == 0) continue;
    if (!seen.insert(table).second) {
      s.outfile.print("*** File-number tables: the table at %08lX is named again; it is listed once.\n",
                      static_cast<unsigned long>(table));
      continue;
    }
    const size_t got = read_walk_record(s, table, fnumt.data(), fnumt.size());
    for (size_t e = 0; e < got / _fnumt::kSize; ++e) {
      const _fnumt entry = decode_fnumt(&fnumt[e * _fnumt::kSize]);
      if (entry.fnt_unique == 0) continue;
      const uint32_t fnum = uint32_t{entry.fnt_unique} << 16 | static_cast<uint32_t>(t) << shift | static_cast<uint32_t>(e);
      if (entry.fnt_flag & _fnumt::kOlist) {
        unsigned char raw[OLIST::kSize];
        if (read_walk_record(s, entry.fnt_ctrl, raw, sizeof raw) != sizeof raw) continue;
        const OLIST o = decode_olist(raw);
        std::string fname = bounded_text(raw + OLIST::kNameAt, OLIST::kSize - OLIST::kNameAt);
        s.outfile.print(" %-24s %08lx ", fname.c_str(), static_cast<unsigned long>(fnum));
        s.outfile.write(o.ol_flags & OLIST::kDevice ? "DEV " : "FILE");
        s.outfile.print("  %04hx  %4hx  %4hx  %s\n", o.ol_nid, o.ol_rpid, o.ol_fid,
                        getfid(static_cast<int16_t>(o.ol_fid)));
        continue;
      }
      std::optional<std::string> name = control_block_entry(s, entry, fnum);
      if (name && s.openfiles.fnumForSVC != 0 && fnum == s.openfiles.fnumForSVC) fill_svc_name(s, *name);
    }
    s.outfile.flush();
  }
}

}  // namespace morvik
