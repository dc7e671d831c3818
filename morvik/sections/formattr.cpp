// The application call trace: the runtimes' circular trace of the
// application's calls, listed from oldest to newest, in the terminal form
// (with time stamps and traced integer variables) and the big-model form.
#include "morvik/sections/formattr.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>
#include <span>
#include <string_view>

#include "common/console.h"
#include "common/format_check.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/records/trace.h"
#include "morvik/sections/formattr_read.h"
#include "morvik/symbols/dumpfunc_code.h"
#include "morvik/symbols/dumpfunc_symfile.h"
#include "morvik/symbols/readcdv.h"
#include "morvik/symbols/sortsym.h"

namespace morvik {

bool read_app(Session& s, std::span<unsigned char> into, uint32_t addr) {
  const int16_t cls = isSelector(s, static_cast<uint16_t>(addr >> 16));
  if (cls != kLdtData && cls != kLdtCode) return false;
  if ((addr & 0xFFFF) > getlimit(s, addr) || into.empty() || into.size() > 0xFFFF) return false;
  return readstuff(s, into, addr, 1, static_cast<int16_t>(into.size()), 'a') == 1;
}

namespace {

constexpr int16_t kTraceLevel = 44;       // terminal runtimes trace calls from here on
constexpr int16_t kStampLevel = 46;       // ... and time-stamp them from here on
constexpr int16_t kLastBpLevel = 53;      // later ones keep ERR and SWI in place of BP
constexpr int16_t kWrenTraceLevel = 0x27B;  // shared big-model runtimes trace from here on
constexpr int16_t kWrenErrSwiLevel = 0x27F;
constexpr uint32_t kTerminalMaxLength = 0xFFFF;  // the buffer length is 16 bits
constexpr uint32_t kWrenMaxLength = 0x7FFF;      // ... and signed in the big model
constexpr size_t kValueChars = 7;
constexpr size_t kNameChars = 159;

unsigned long ul(uint32_t v) { return static_cast<unsigned long>(v); }

// What the symbol file says about the trace.
struct TraceSymbols {
  bool found = false;  // "tracesize" is known
  uint32_t ctl = 0;    // the control block
  bool timestamps = false;
  bool trint = false;  // "TrIntBuf" is known
  uint32_t trint_at = 0;
};

// One pass over the SYM file's pairs (value, name), whatever the section;
// the runtime's trace variables are noted for the later sections.
TraceSymbols sym_trace_symbols(Session& s) {
  TraceSymbols t;
  RuntimeFindings& r = s.runtime;
  SymTokens tokens(s.symfile);
  std::string_view tok;
  char value[kValueChars + 1];
  while (tokens.next(tok, kValueChars)) {
    std::fill(std::begin(value), std::end(value), '\0');
    std::copy(tok.begin(), tok.end(), value);
    if (!tokens.next(tok, kNameChars)) break;
    // Every name of interest starts with 't', 'n' or 'T'.
    if (tok.empty() || (tok[0] != 't' && tok[0] != 'n' && tok[0] != 'T')) continue;
    const uint16_t off = static_cast<uint16_t>(Hex_to_Decimal(value));
    const uint32_t at = (uint32_t{s.DS_selector} << 16) | off;
    const int16_t soff = static_cast<int16_t>(off);
    if (tok == "tracesize") {
      t.found = true;
      t.ctl = at;
      r.sym_tracesize = soff;
    } else if (tok == "traceindex") {
      r.sym_traceindex = soff;
    } else if (tok == "tracebuffer") {
      r.sym_tracebuffer = soff;
    } else if (tok == "nestlevel") {
      r.sym_nestlevel = soff;
    } else if (tok == "timebuffer") {
      t.timestamps = true;
      r.sym_timebuffer = soff;
    } else if (tok == "TrIntBuf") {
      t.trint = true;
      t.trint_at = at;
    }
  }
  return t;
}

TraceSymbols cdv_trace_symbols(Session& s, bool integers) {
  TraceSymbols t;
  if (const listitem* i = findCDVName(s, "tracesize")) {
    t.found = isSelector(s, static_cast<uint16_t>(static_cast<uint32_t>(i->addr) >> 16)) == kLdtData;
    t.ctl = static_cast<uint32_t>(i->addr);
  }
  t.timestamps = findCDVName(s, "timebuffer") != nullptr;
  if (integers) {
    if (const listitem* i = findCDVName(s, "TrIntBuf")) {
      t.trint = true;
      t.trint_at = static_cast<uint32_t>(i->addr);
    }
  }
  return t;
}

// A buffer of `n` zeroed bytes, or null when it cannot be had.
std::unique_ptr<unsigned char[]> allocate(size_t n) { return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[n]()); }

// The traced integer variables that are shown, with their columns.
struct IntegerTrace {
  trintstuff_s t;
  int shown = 0;  // variables 0 .. shown-1 of t
  int width = 0;  // the columns of their values
  std::unique_ptr<unsigned char[]> records;  // 12 bytes a slot
};

int value_width(uint8_t size) { return size == 1 ? 3 : size == 2 ? 5 : size == 4 ? 9 : 0; }

// A report line put together before it is written: a trace of thousands
// of entries is written a few pieces a line.
class Line {
 public:
  void add(const char* fmt, ...) VT_PRINTF_FORMAT(2, 3) {
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(buf_ + n_, sizeof buf_ - n_, fmt, ap);
    va_end(ap);
    if (n > 0) n_ = std::min(sizeof buf_ - 1, n_ + static_cast<size_t>(n));
  }
  void add(std::string_view text) {
    const size_t n = std::min(text.size(), sizeof buf_ - 1 - n_);
    std::copy_n(text.data(), n, buf_ + n_);
    n_ += n;
  }
  void write_to(Session& s) {
    s.outfile.write(std::string_view(buf_, n_));
    n_ = 0;
  }

 private:
  char buf_[256] = {};
  size_t n_ = 0;
};

// The time of a stamp and the time to the next one; true when that gap is
// a second or more (the line is then followed by a blank line).
bool time_columns(Line& l, uint32_t stamp, uint32_t next) {
  l.add("  %02ld:%02ld:%02ld.%03ld", static_cast<long>(stamp / 3600000), static_cast<long>(stamp / 60000 % 60),
        static_cast<long>(stamp / 1000 % 60), static_cast<long>(stamp % 1000));
  const int64_t gap = int64_t{next} - int64_t{stamp};
  if (gap <= 1)
    l.add("      ");
  else if (gap > 9999)
    l.add(" *****");
  else
    l.add(" %ld.%03ld", static_cast<long>(gap / 1000), static_cast<long>(gap % 1000));
  return gap >= 1000;
}

// The closing line on where the application is.
void nest_level_lines(Session& s, uint8_t nestlevel, bool any, uint8_t last_level) {
  s.outfile.print(" nestlevel is currently at %d", nestlevel);
  if (nestlevel == 0)
    s.outfile.write(" (in main)");
  else if (any && last_level == nestlevel)
    s.outfile.write(" (in the SUB/FUNCTION shown above)");
  else if (any && last_level - 1 == nestlevel)
    s.outfile.write(" (in the CALLER of the last sub/function shown above)");
  s.outfile.write("\n\n");
  s.outfile.flush();
}

enum class Form { Terminal, Wren };

// The trace buffer read whole, and its walk: N of its N + 1 slots from the
// one after the current slot on, wrapping from slot N to slot 0.
struct TraceWalk {
  Form form;
  trace_ctl_s ctl;
  bool timestamps = false;
  std::unique_ptr<unsigned char[]> buffer;
  uint32_t length = 0;

  trace_entry_s entry(size_t slot) const { return decode_trace_entry(buffer.get() + trace_entry_s::kSize * slot); }
  uint32_t stamp(size_t slot) const { return vt::le32(buffer.get() + trace_stamp_at(ctl.tracesize, slot)); }
};

// The size and index checks; false after the one line that refuses them.
bool trace_fits(Session& s, Form form, const trace_ctl_s& c, bool timestamps) {
  const uint32_t length = trace_buffer_length(c.tracesize, timestamps);
  const bool term = form == Form::Terminal;
  if (length > (term ? kTerminalMaxLength : kWrenMaxLength)) {
    s.outfile.print(term ? "\n SUB Application Call Trace:  a trace of %u entries is more than the trace buffer can hold.\n"
                         : "\t  A trace of %u entries is more than the trace buffer can hold.\n",
                    static_cast<unsigned>(c.tracesize));
    return false;
  }
  if (c.traceindex / trace_entry_s::kSize > c.tracesize) {
    s.outfile.print(term ? "\n SUB Application Call Trace:  the trace index %04X lies outside the trace buffer.\n"
                         : "\t  The trace index %04X lies outside the trace buffer.\n",
                    static_cast<unsigned>(c.traceindex));
    return false;
  }
  return true;
}

void cannot_find(Session& s, Form form) {
  if (form == Form::Terminal) {
    s.outfile.write("\n SUB Application Call Trace:  cannot find the call trace...");
    s.outfile.write("\n\t\tthe SYM or CDV file may not match.\n");
  } else {
    s.outfile.write("\n\t  Cannot find the application call trace...");
    s.outfile.write("\n\t\tthe SYM (or CDV) file may not match.\n");
  }
}

// Allocates and reads the trace buffer; false when the section ends.
bool read_trace_buffer(Session& s, TraceWalk& w) {
  w.length = trace_buffer_length(w.ctl.tracesize, w.timestamps);
  w.buffer = allocate(w.length);
  if (!w.buffer) {
    vt::print(s.con.out, "ERROR - trace buffer could not be malloc'd at size %08lX.\n", ul(w.length));
    return false;
  }
  if (read_app(s, std::span<unsigned char>(w.buffer.get(), w.length), w.ctl.tracebuffer)) return true;
  cannot_find(s, w.form);
  return false;
}

// The lowest level of the application's entries (LDT selectors of
// privilege 3) over the first N slots.
int lowest_level(const TraceWalk& w) {
  int lowest = 0xFFF;
  for (size_t i = 0; i < w.ctl.tracesize; ++i) {
    trace_entry_s e = w.entry(i);
    if ((e.seg & 7) == 7 && e.level < lowest) lowest = e.level;
  }
  return lowest < 0 || lowest > 0x200 ? 0 : lowest;
}

// Lists the entries; returns the last one's level through `last`, and
// whether there was one.
bool list_entries(Session& s, const TraceWalk& w, const IntegerTrace* ints, uint8_t& last) {
  const size_t n = w.ctl.tracesize;
  const bool term = w.form == Form::Terminal;
  const bool errswi = term ? s.cbrt > kLastBpLevel : s.runtime.controller_cbrt >= kWrenErrSwiLevel;
  const int lowest = term ? lowest_level(w) : 0;
  size_t slot = w.ctl.traceindex / trace_entry_s::kSize;
  int line = 1;
  bool any = false;
  Line l;
  for (size_t k = 0; k < n; ++k) {
    slot = slot == n ? 0 : slot + 1;
    const trace_entry_s e = w.entry(slot);
    if (e.empty()) continue;
    if (ints) {
      const unsigned char* r = ints->records.get() + trintstuff_s::kRecord * slot;
      for (int v = 0; v < ints->shown; ++v) {
        const int size = value_width(ints->t.size[v]) / 2;
        if (size == 0) continue;
        for (int b = size - 1; b >= 0; --b) l.add("%02X", r[4 * v + b]);
        l.add(" ");
      }
    }
    l.add("%4d ", line++);
    bool gap = false;
    if (w.timestamps) gap = time_columns(l, w.stamp(slot), w.stamp(slot == n ? 0 : slot + 1));
    const bool runtimes = term && (e.seg & trace_entry_s::kRuntimes) != 0;
    if (term) {
      if (runtimes)
        l.add("          ");
      else
        l.add(" %04x:%04x", static_cast<unsigned>(e.seg), static_cast<unsigned>(e.off));
    } else {
      l.add(" %04x:%04x ", static_cast<unsigned>(e.seg), static_cast<unsigned>(e.off));
    }
    if (!errswi)
      l.add(term ? "  %04x " : " %04x ", static_cast<unsigned>(e.bp));
    else
      l.add(" %02X %02X ", static_cast<unsigned>(e.bp >> 8), static_cast<unsigned>(e.bp & 0xFF));
    if (term) {
      l.add(" %2d", e.level);
      const int indent = e.level - lowest + 1;  // an entry far below the lowest level stands at the margin
      if (indent >= 22)
        l.add("\t\t      ");
      else if (indent > 0)
        l.add(std::string_view("                     ", static_cast<size_t>(indent)));
    } else {
      l.add(" %2d  ", e.level);
      l.add(std::string_view("                 ", std::min<size_t>(e.level, 17)));
    }
    if (runtimes) {
      l.add(" Runtimes trace: %04X %04X", static_cast<unsigned>(e.off),
            static_cast<unsigned>(e.seg & ~trace_entry_s::kRuntimes));
      l.add(gap ? "\n\n" : "\n");
      l.write_to(s);
    } else {
      l.write_to(s);
      findname(s, (uint32_t{e.seg} << 16) | e.off, 1);
      s.outfile.write(gap ? "\n\n" : "\n");
    }
    last = e.level;
    any = true;
  }
  return any;
}

void processing(Session& s) {
  if (!s.outfile.is_file()) return;
  s.con.err << "  Processing the application call trace...\n";
  s.con.err.flush();
}

// The integer variable trace: the listing of the traced variables, then
// (when `ctl` is known) their values. False when the section ends.
bool read_integer_trace(Session& s, IntegerTrace& it, size_t entries) {
  const uint32_t size = static_cast<uint32_t>(trintstuff_s::kRecord * entries + trintstuff_s::kRecord);
  it.records = allocate(size);
  if (!it.records) {
    vt::print(s.con.out, "ERROR - Itrace buffer could not be malloc'd at size %08lX.\n",
              ul(static_cast<uint32_t>(trintstuff_s::kRecord * entries)));
    return false;
  }
  if (size > 0xFFFF) return false;  // beyond any segment
  if (isSelector(s, static_cast<uint16_t>(it.t.buffer >> 16)) != kLdtData ||
      !read_app(s, std::span<unsigned char>(it.records.get(), size), it.t.buffer)) {
    cannot_find(s, Form::Terminal);
    return false;
  }
  return true;
}

}  // namespace

void formatTrace(Session& s) {
  if (s.cbrt < kTraceLevel) {
    s.outfile.print(
        "\n SUB Application Call Trace:  These runtimes, version %d, do not support the\n\t\t    application call trace.\n",
        s.cbrt);
    return;
  }
  const bool sym = !s.cdvfile.is_open();
  TraceSymbols t = sym ? sym_trace_symbols(s) : cdv_trace_symbols(s, true);
  if (!t.found) {
    // Without the control block there is nothing to read (an address of 0
    // would end the run).
    if (!sym) s.outfile.write("\n\t  Cannot find symbols for the Application Call Trace in the CDV file.\n");
    return;
  }
  if (sym && s.cbrt < kStampLevel) t.timestamps = false;

  IntegerTrace it;
  if (t.trint) {
    unsigned char b[trintstuff_s::kSize] = {};
    if (read_app(s, b, t.trint_at)) it.t = decode_trintstuff(b);
  }
  // The runtime traces at most three variables.
  it.shown = std::min<int>(it.t.count, trintstuff_s::kMaxVars);
  if (it.shown != 0) {
    s.outfile.print("\n\tThere are %d integer variables traced:\n", it.shown);
    for (int v = 0; v < it.shown; ++v) {
      s.outfile.print("\t%04lX:%04lX ", ul(it.t.var[v] >> 16), ul(it.t.var[v] & 0xFFFF));
      findDataname(s, it.t.var[v], 1);
      s.outfile.write("\n");
      it.width += value_width(it.t.size[v]);
    }
  } else {
    s.outfile.write("\n\tInteger variables are not being traced.\n");
  }

  unsigned char b[trace_ctl_s::kSize + 2] = {};
  if (!read_app(s, b, t.ctl)) {
    cannot_find(s, Form::Terminal);
    return;
  }
  TraceWalk w{Form::Terminal, decode_trace_ctl(b), t.timestamps, nullptr, 0};
  if (w.ctl.traceindex == trace_ctl_s::kEmpty) {
    s.outfile.write("\n SUB Application Call Trace is empty - the application died at startup\n");
    return;
  }
  if (isSelector(s, static_cast<uint16_t>(w.ctl.firstcaller >> 16)) != kLdtCode ||
      isSelector(s, static_cast<uint16_t>(w.ctl.tracebuffer >> 16)) != kLdtData) {
    cannot_find(s, Form::Terminal);
    return;
  }
  if (w.timestamps && vt::le16(b + trace_ctl_s::kTimeMarkerAt) == trace_ctl_s::kNoClock) {
    w.timestamps = false;
    s.outfile.write("\n NOTE: SETTIME was not run; time stamps are missing!");
  }
  if (!trace_fits(s, Form::Terminal, w.ctl, w.timestamps)) return;
  if (!read_trace_buffer(s, w)) return;
  if (it.shown != 0 && !read_integer_trace(s, it, w.ctl.tracesize)) return;
  processing(s);

  s.outfile.write("\n SUB Application Call Trace (listed from oldest to newest):\n\n");
  const std::string margin(static_cast<size_t>(it.width), ' ');
  s.outfile.write(margin);
  s.outfile.write("     ");
  if (w.timestamps) s.outfile.write("      Time          ");
  s.outfile.write(s.cbrt <= kLastBpLevel ? "    Addr     BP  Level   Name\n\n" : "    Addr  ERR SWI Level  Name\n");
  int before = 0;
  bool named = false;
  for (int v = 0; v < it.shown; ++v) {
    if (value_width(it.t.size[v]) == 0) continue;
    s.outfile.write(std::string(static_cast<size_t>(before), ' '));
    findDataname(s, it.t.var[v], 1);
    s.outfile.write("\n");
    before += value_width(it.t.size[v]);
    named = true;
  }
  if (!named) s.outfile.write("\n");

  uint8_t last = 0;
  const bool any = list_entries(s, w, it.shown != 0 ? &it : nullptr, last);
  nest_level_lines(s, w.ctl.nestlevel, any, last);
}

void formatWrenTrace(Session& s) {
  s.outfile.write("\n\n SUB Application Call Trace (listed from oldest to newest):\n\n");
  const RuntimeFindings& r = s.runtime;
  if (s.shared && r.rtlevel < kWrenTraceLevel) {
    if (!r.WrenRTdate.empty())
      s.outfile.print("  These shared runtimes of%s do not support\n\t\t\t      the application call trace.\n",
                      r.WrenRTdate.c_str());
    else
      s.outfile.write("  These shared runtimes do not support the \n\t\t\t      application call trace.\n");
    return;
  }
  const bool sym = !s.cdvfile.is_open();
  TraceSymbols t = sym ? sym_trace_symbols(s) : cdv_trace_symbols(s, false);
  if (!t.found) {
    if (!sym) {
      s.outfile.write("\n\t  Cannot find symbols for the Application Call Trace in the CDV file.\n");
      return;
    }
    t.ctl = uint32_t{s.DS_selector} << 16;  // the value 0
  }
  unsigned char b[trace_ctl_s::kSize] = {};
  if (!read_app(s, b, t.ctl)) {
    cannot_find(s, Form::Wren);
    return;
  }
  TraceWalk w{Form::Wren, decode_trace_ctl(b), t.timestamps, nullptr, 0};
  if (isSelector(s, static_cast<uint16_t>(w.ctl.firstcaller >> 16)) != kLdtCode ||
      isSelector(s, static_cast<uint16_t>(w.ctl.tracebuffer >> 16)) != kLdtData) {
    cannot_find(s, Form::Wren);
    return;
  }
  if (w.timestamps) {
    unsigned char m[2] = {};
    const uint32_t at = (t.ctl & 0xFFFF0000u) | ((t.ctl - 4) & 0xFFFF);
    if ((t.ctl & 0xFFFF) >= 4 && read_app(s, m, at) && vt::le16(m) == trace_ctl_s::kNoClock) {
      w.timestamps = false;
      s.outfile.write("NOTE: SETTIME was not run; time stamps are missing!\n\n");
    }
  }
  if (!trace_fits(s, Form::Wren, w.ctl, w.timestamps)) return;
  if (!read_trace_buffer(s, w)) return;
  processing(s);

  s.outfile.write("####");
  if (w.timestamps) s.outfile.write("     Time           ");
  s.outfile.write(r.controller_cbrt < kWrenErrSwiLevel ? "    Addr      BP  Level   Name\n\n"
                                                       : "    Addr    ERR SWI Level   Name\n\n");
  uint8_t last = 0;
  const bool any = list_entries(s, w, nullptr, last);
  nest_level_lines(s, w.ctl.nestlevel, any, last);
}

}  // namespace morvik
