// The variables section from a SYM file and the stack section.
#include "morvik/driver/morvik_stack.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/dumpfunc_appvalue.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/report/doarray.h"
#include "morvik/report/morvik_string.h"
#include "morvik/symbols/dumpfunc_code.h"
#include "morvik/symbols/sortsym.h"

namespace morvik {

namespace {

bool starts_with(const std::string& name, const char* prefix) { return name.rfind(prefix, 0) == 0; }

// The text of a display line: the 16-bit length, then up to `room`
// characters, cut at the length.
std::string display_text(Session& s, uint32_t p, size_t room) {
  std::vector<unsigned char> b(2 + room, 0);
  read_app_value(s, p, b.data(), b.size());
  size_t len = std::min<size_t>(vt::le16(b.data()), room);
  std::string text(reinterpret_cast<const char*>(b.data() + 2), len);
  return text.substr(0, text.find('\0'));
}

}  // namespace

void processSyms(Session& s) {
  vt::ReportSink& o = s.outfile;
  const AppSymbols& sym = s.symbols;
  if (s.BASIC && !sym.BASICsym) {
    o.write("\n SUB Application Variables:   sorry, the SYM file appears to be damaged");
    s.con.err << "  The sym file may be damaged.\n\n";
    return;
  }
  if (sym.BASICsym && !s.BASIC) {
    o.write("\t This is a BASIC sym file, but it's not a BASIC app.\n");
    return;
  }
  o.flush();
  const bool file = o.is_file();
  if (file) s.con.err << "\n  Processing application variables..." << std::flush;

  for (const dataNode& n : sym.DataList) {
    if (n.name != "rtdsv") continue;
    unsigned char w[2];
    read_app_value(s, uint32_t{s.DS_selector} << 16 | (static_cast<uint32_t>(n.offset) & 0xFFFF), w, 2);
    if (vt::le16(w) != s.DS_selector)
      o.write("\t SYM file may not be a good match!\n");
    else if (!sym.sym_extracted_from_dump)
      o.write(" A spot check of SYM file matching is inconclusive.\n");
    break;
  }

  o.write("\n SUB Application Variables:   ");
  if (sym.DataList.empty()) {
    o.write("There are no application variables in the SYM file.\n");
    return;
  }
  o.write("\n  (Empty array elements other than the first and ");
  o.write("last are not formatted.)\n\n");

  const bool terminal = s.space.termappl != 0;
  bool over64k = false;
  bool cashdrawer = false;
  size_t count = 0;
  for (const dataNode& n : sym.DataList) {
    uint32_t offset = static_cast<uint32_t>(n.offset);
    uint32_t addr = uint32_t{s.DS_selector} << 16 | (offset & 0xFFFF);
    if (offset > 0xFFFF) {
      over64k = true;
      addr = getDataPointer(s, s.DS_selector, offset);
    }
    if (s.debugmode)
      o.print("%04lX:%04lX ", static_cast<unsigned long>(addr >> 16), static_cast<unsigned long>(addr & 0xFFFF));
    o.write(n.name);
    if (n.name.size() < 28) o.write(std::string(28 - n.name.size(), ' '));

    uint32_t at = addr;
    if (!terminal) at = s.space.ELVELA ? (uint32_t{s.DS_selector} << 16 | (offset & 0xFFFF)) : getAddress(s, offset);
    const bool tname = file && terminal && !n.name.empty() && n.name[0] == 'T';
    unsigned char b[10];
    switch (n.size) {
      case 1: {
        read_app_value(s, at, b, 1);
        unsigned v = b[0];
        if (v & 0x80)
          o.print("  INT1:       -%3i         %02XH \n", static_cast<int>(256 - v), v);
        else
          o.print("  INT1:        %3i         %02XH \n", static_cast<int>(v), v);
        break;
      }
      case 2: {
        read_app_value(s, at, b, 2);
        uint16_t w = vt::le16(b);
        unsigned lo = w & 0xFF;
        if (lo & 0x80)
          o.print("  INT1/2:     -%3d         %02XH", static_cast<int>(256 - lo), lo);
        else
          o.print("  INT1/2:      %3d         %02XH", static_cast<int>(lo), lo);
        o.print("\t / %5d  %04XH\n", static_cast<int>(w), static_cast<unsigned>(w));
        if (tname && starts_with(n.name, "TS.INTRX"))
          add_summary_line(s, w ? " The terminal is in a transaction." : " The terminal is NOT in a transaction.");
        if (tname && starts_with(n.name, "TS.CASHDRAWER")) {
          cashdrawer = w != 0;
          if (!cashdrawer) add_summary_line(s, " The cash drawer is not configured.");
        }
        break;
      }
      case 4: {
        read_app_value(s, at, b, 4);
        uint32_t p = vt::le32(b);
        if (isValidSelector(s, p) == kLdtData) {
          int16_t flag = starts_with(n.name, "TS.TRACE") ? 0 : 1;
          if (doArray(s, p, n.name, flag, 0) == -1) {
            o.write("  ");
            doString(s, p);
            if (s.debugmode)
              o.print("%04lX:%04lX <- %s\n", static_cast<unsigned long>(p >> 16),
                      static_cast<unsigned long>(p & 0xFFFF), n.name.c_str());
          }
          if (file && !n.name.empty() && n.name[0] == 'T') {
            if (starts_with(n.name, "TS.DISP1$"))
              add_summary_line(s, " TS.DISP$:  %s", display_text(s, p, 22).c_str());
            else if (starts_with(n.name, "TS.DISP2$"))
              add_summary_line(s, "            %s", display_text(s, p, 22).c_str());
          }
        } else if (p == 0 && !n.name.empty() && n.name.back() == '$') {
          o.write("  STR    0: \"\"\n");
        } else {
          o.print("  INT4: %10ld\t %08lXH\n", static_cast<long>(static_cast<int32_t>(p)), static_cast<unsigned long>(p));
          if (file && cashdrawer && starts_with(n.name, "TS.DEV.LONG")) {
            if (p & 0x1)
              add_summary_line(s, " The cash drawer is not connected.");
            else if (p & 0x100)
              add_summary_line(s, " The cash drawer is open.");
            else
              add_summary_line(s, " The cash drawer is closed.");
          }
        }
        break;
      }
      case 10: {
        read_app_value(s, at, b, 10);
        std::string text = "  REAL:  ";
        for (int i = 9; i >= 1; --i) text += vt::format("%2x", b[i]);
        text += vt::format("e%d\n", static_cast<int>(b[0]) - 64);
        o.write(text);
        break;
      }
      default:
        o.write("\n");
        break;
    }
    ++count;
    if (file && count % 200 == 1) s.con.err << ".(7)." << std::flush;
  }
  if (file) s.con.err << "\n" << std::flush;
  o.flush();
  if (over64k) add_summary_line(s, " Static Data is over 64 KB.  Please use CDV, not SYM.");
}

void print_stack_chars(Session& s, uint16_t word) {
  unsigned lo = word & 0xFF, hi = word >> 8;
  if (lo >= 32 && lo <= 126 && hi >= 32 && hi <= 126) s.outfile.print(" \"%c%c\"", lo, hi);
}

namespace {

// The stack's words read in order: a cursor in the dump that follows the
// stack segment (for paged dumps it checks each page it enters). Bytes past
// the segment's limit are never read; they read as zero.
struct StackReader {
  Session& s;
  uint32_t stacklimit = 0;  // last offset of the segment
  uint64_t pos = 0;         // dump position of the next byte
  int32_t curoff = 0, prevoff = 0;

  void start() { pos = getphysoffset(s, uint32_t{s.SS_selector} << 16); }

  void stkgetnext(unsigned char* buf, size_t n) {
    std::fill(buf, buf + n, 0);
    const uint32_t from = static_cast<uint32_t>(curoff);
    size_t inseg = from > stacklimit ? 0 : std::min<size_t>(n, stacklimit - from + 1);
    uint64_t start = pos;
    s.dumpfile.read_at(pos, buf, inseg);
    pos += n;
    if (!s.space.page) {
      curoff += static_cast<int32_t>(n);
      return;
    }
    prevoff = curoff;
    curoff += static_cast<int32_t>(n);
    bool crossed = (prevoff / 4096) != (curoff / 4096) || prevoff % 4096 == 0;
    if (static_cast<uint32_t>(curoff) <= stacklimit && prevoff != 0 && curoff % 4096 != 0 && crossed) {
      size_t k = static_cast<size_t>((curoff / 4096) * 4096 - prevoff);
      uint32_t right = getphysoffset(s, uint32_t{s.SS_selector} << 16 | static_cast<uint32_t>(prevoff + k));
      if (right != start + k) {
        s.outfile.write(" *");
        std::fill(buf + k, buf + n, 0);
        s.dumpfile.read_at(right, buf + k, inseg > k ? inseg - k : 0);
        pos = right + (n - k);
      }
    }
  }
  uint16_t next16() {
    unsigned char b[2];
    stkgetnext(b, 2);
    return vt::le16(b);
  }
  void next32(uint16_t& lo, uint16_t& hi) {
    unsigned char b[4];
    stkgetnext(b, 4);
    lo = vt::le16(b);
    hi = vt::le16(b + 2);
  }
};

// Repeat counts of the runs of zero, 0x5353 and 0x0D0D double words.
struct Runs {
  int zero = 0, ss = 0, dd = 0;
};

void close_run(Session& s, int& r) {
  if (r > 1) s.outfile.print("   ... (Value repeated %d times)", r - 1);
  r = 0;
}

// The far return address w1:w0 into code: the call before it, decoded.
void show_code_return(Session& s, uint16_t w1, uint16_t w0, bool symbols) {
  vt::ReportSink& o = s.outfile;
  unsigned char c[5] = {};
  uint32_t before = uint32_t{w1} << 16 | static_cast<uint16_t>(w0 - 5);
  if (w0 < 5 || !read_app_value(s, before, c, 5)) {
    o.write("   code");
    return;
  }
  if (c[0] == 0x9A) {
    uint16_t toff = vt::le16(c + 1), tseg = vt::le16(c + 3);
    o.write(" ");
    if (symbols) findname(s, before);
    o.write(" calls");
    if (symbols) findname(s, uint32_t{tseg} << 16 | toff);
    o.print(" (%hx:%04hx)", tseg, toff);
  } else if (c[2] == 0xE8) {
    uint16_t target = static_cast<uint16_t>(w0 + vt::le16(c + 3));
    o.write(" ");
    if (symbols) findname(s, uint32_t{w1} << 16 | static_cast<uint16_t>(w0 - 3));
    o.write(" calls");
    if (symbols) findname(s, uint32_t{w1} << 16 | target);
    o.print(" (%hx:%04hx)", w1, target);
  } else {
    o.write("   code");
  }
}

// A far pointer w1:w0 into data: what it points at.
void show_data_pointer(Session& s, uint16_t w1, uint16_t w0) {
  vt::ReportSink& o = s.outfile;
  uint32_t p = uint32_t{w1} << 16 | w0;
  o.write("   data ");
  if (s.cdvfile.is_open()) findname(s, p);
  unsigned char b[4];
  if (isValidSelector(s, p) == kLdtData && read_app_value(s, p, b, 4)) {
    o.print(" -> %02X %02X %02X %02X ", b[0], b[1], b[2], b[3]);
    auto ch = [](unsigned char c) { return c < 32 || c > 127 ? '.' : static_cast<char>(c); };
    o.print(" \"%c%c%c%c\"", ch(b[0]), ch(b[1]), ch(b[2]), ch(b[3]));
  }
}

}  // namespace

void dostack(Session& s) {
  vt::ReportSink& o = s.outfile;
  const AddressSpace& a = s.space;
  uint32_t fp = s.BP;
  const bool symbols = s.symfile.is_open() || s.cdvfile.is_open();
  if (o.is_file()) s.con.err << "  Processing the stack\n" << std::flush;
  o.write("\n\n SUB Application Stack:");
  if (s.regsOK)
    o.print("\n   (SS = %04x; SP = %04x; BP = %04x; stack frames may be delineated by '*')\n", s.SS_selector, s.SP,
            s.BP);
  else
    o.print("   (SS = %04x; SP = %04x)\n", s.SS_selector, s.SP);
  // EL dumps may name a system stack; a selector of no table is refused everywhere.
  int16_t sscls = isSelector(s, s.SS_selector);
  if ((!a.ELVELA && sscls != kLdtData) || sscls == kNoSelector) {
    o.print("\n\t\t>>> Invalid stack selector %x <<<\n", s.SS_selector);
    return;
  }

  StackReader r{s};
  r.stacklimit = getsize(s, static_cast<int16_t>(s.SS_selector >> 3));
  r.start();
  unsigned char first[6];
  r.stkgetnext(first, 6);
  uint16_t w0 = vt::le16(first), w1 = vt::le16(first + 2), w2 = vt::le16(first + 4);
  Runs runs;
  const uint32_t SP = s.SP;
  uint32_t o_ = 0;
  while (o_ < r.stacklimit) {
    bool one_word = false;
    if (w0 == 0 && w1 == 0) {
      close_run(s, runs.ss);
      close_run(s, runs.dd);
      if (runs.zero == 0) o.print("\n  (%04x)  00000000", static_cast<unsigned>(o_));
      ++runs.zero;
    } else if (a.termappl && w0 == 0x5353 && w1 == 0x5353) {
      close_run(s, runs.zero);
      close_run(s, runs.dd);
      if (runs.ss == 0) o.print("\n  (%04x)  53535353", static_cast<unsigned>(o_));
      ++runs.ss;
    } else if (w0 == 0x0D0D && w1 == 0x0D0D) {
      close_run(s, runs.ss);
      close_run(s, runs.zero);
      if (runs.dd == 0) o.print("\n  (%04x)   0d0d0d0d", static_cast<unsigned>(o_));
      ++runs.dd;
    } else {
      int pending = runs.zero > 1 ? runs.zero : runs.ss > 1 ? runs.ss : runs.dd > 1 ? runs.dd : 0;
      if (pending) o.print("   ... (Value repeated %d times)", pending - 1);
      o.write("\n");
      runs = Runs{};
      bool frame = fp == o_ && s.regsOK;
      if (frame) fp = w0;
      o.write(o_ == SP ? (frame ? "~*" : "~~") : (frame ? " *" : "  "));
      o.print("(%04x)", static_cast<unsigned>(o_));

      uint32_t far = uint32_t{w1} << 16 | w0;
      if ((w1 & 7) == 7 && isValidSelector(s, far) != kNoSelector && o_ + 2 != SP) {
        o.print("  %3.3hx:%4.4hx", w1, w0);
        if (isSelector(s, w1) == kLdtCode)
          show_code_return(s, w1, w0, symbols);
        else
          show_data_pointer(s, w1, w0);
      } else if (uint32_t t = 0; s.shared && isSRTLaddr(s, far) && (t = calledaddr(s, far)) != 0) {
        o.print(" %4.4x:%4.4x ", w1, w0);
        o.print("called %4.4x:%4.4x ", static_cast<unsigned>(t >> 16), static_cast<unsigned>(t & 0xFFFF));
      } else if ((w2 & 7) != 7 || w2 < 0x67 || (w2 >> 3) > a.ldttop || w2 == SP) {
        if (s.shared && isSRTLaddr(s, uint32_t{w2} << 16 | w1)) {
          o.print("    %4.4hx", w0);
          one_word = true;
        } else {
          o.print("    %4.4hx", w0);
          print_stack_chars(s, w0);
          o.write("\n");
          uint32_t o2 = o_ + 2;
          if (o2 == SP && SP == s.BP) {
            o.write("+*");
            fp = w1;
          } else if (o2 == SP) {
            o.write(" +");
          } else if (o2 == fp) {
            o.write(" *");
            fp = w1;
          } else {
            o.write("  ");
          }
          o.print("(%4.4hx)", static_cast<uint16_t>(o2));
          o.print("    %4.4hx", w1);
          print_stack_chars(s, w1);
        }
      } else {
        o.print("    %4.4hx", w0);
        one_word = true;
      }
    }
    if (one_word) {
      w0 = w1;
      w1 = w2;
      w2 = r.next16();
      o_ += 2;
    } else {
      w0 = w2;
      r.next32(w1, w2);
      o.flush();
      o_ += 4;
    }
  }
  // A run still open at the segment's end is not lost.
  int pending = runs.zero > 1 ? runs.zero : runs.ss > 1 ? runs.ss : runs.dd > 1 ? runs.dd : 0;
  if (pending) o.print("   ... (Value repeated %d times)", pending - 1);
  o.write("\n");
}

}  // namespace morvik
