// The variables section from a CDV file, and its match check.
#include "morvik/sections/cdvvars.h"

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

namespace morvik {

namespace {

bool starts_with(const std::string& name, const char* prefix) { return name.rfind(prefix, 0) == 0; }

// A display line: 22 bytes, the length word and up to 20 characters; a
// longer length is cut at the 20 characters read.
std::string display_line(Session& s, uint32_t p) {
  unsigned char b[22];
  read_app_value(s, p, b, sizeof b);
  size_t len = std::min<size_t>(vt::le16(b), 20);
  std::string text(reinterpret_cast<const char*>(b + 2), len);
  return text.substr(0, text.find('\0'));
}

}  // namespace

void cdvvars(Session& s) {
  vt::ReportSink& o = s.outfile;
  AppSymbols& sym = s.symbols;
  const bool file = o.is_file();
  o.flush();
  if (file) s.con.err << "\n  Processing application variables..." << std::flush;
  if (s.space.termappl) {
    if (const listitem* rtdsv = sym.cdv_item("rtdsv")) {
      unsigned char w[2];
      read_app_value(s, static_cast<uint32_t>(rtdsv->addr), w, 2);
      if (vt::le16(w) != s.DS_selector) o.write("\tCDV file may not be a good match\n");
    }
  }
  o.write("\n SUB Application Variables:\n");
  o.write("   Empty array elements other than the first and the ");
  o.write("last are not formatted.\n");
  o.write("   File names are not listed for global variables.\n\n");

  bool cashdrawer = false;
  size_t count = 0;
  for (uint32_t pos : sym.alphaHead) {
    if (pos >= sym.listhead.size()) continue;
    const listitem& it = sym.listhead[pos];
    if (it.type == 0x201 || it.stack == 1 || it.type < 0x80) continue;
    const uint32_t addr = static_cast<uint32_t>(it.addr);
    const cdvmodule* mod = sym.module(it.file);
    if (s.debugmode)
      o.print("%04lX:%04lX ", static_cast<unsigned long>(addr >> 16), static_cast<unsigned long>(addr & 0xFFFF));
    o.write(it.name);
    if (it.name.size() < 27) o.write(std::string(27 - it.name.size(), ' '));
    const bool tname = file && starts_with(it.name, "T");
    unsigned char b[10];
    switch (it.type) {
      case 0x84:
      case 0x85:
        sym.Csources = 1;
        break;
      default:
        break;
    }
    if (it.type == 0x80 || it.type == 0x84) {
      read_app_value(s, addr, b, 1);
      unsigned v = b[0];
      if (v > 127)
        o.print(" INT1:       -%03i         %2xH", static_cast<int>(256 - v), v);
      else
        o.print(" INT1:        %3i         %2xH", static_cast<int>(v), v);
    } else if (it.type == 0x81 || it.type == 0x85) {
      read_app_value(s, addr, b, 2);
      int16_t v = static_cast<int16_t>(vt::le16(b));
      if (v < -9999)
        o.print(" INT2:     %5d       %4hxH", static_cast<int>(v), static_cast<unsigned short>(v));
      else
        o.print(" INT2:      %5d       %4hxH", static_cast<int>(v), static_cast<unsigned short>(v));
      if (tname && starts_with(it.name, "TS.INTRX"))
        add_summary_line(s, v == 0 ? " The terminal is NOT in a transaction." : " The terminal is in a transaction.");
      if (tname && starts_with(it.name, "TS.CASHDRAWER")) {
        cashdrawer = v != 0;
        if (!cashdrawer) add_summary_line(s, " The cash drawer is not configured.");
      }
    } else if (it.type == 0x86) {
      read_app_value(s, addr, b, 4);
      uint32_t p = vt::le32(b);
      if (isValidSelector(s, p) == kLdtData) {
        if (doArray(s, p, it.name, it.name == "TS.TRACE" ? 0 : 1, static_cast<int16_t>(it.file)) != 0) {
          o.write("  ");
          doString(s, p);
        }
      } else if (p >> 28) {
        o.print(" INT4: %10ld  %8lxH", static_cast<long>(static_cast<int32_t>(p)), static_cast<unsigned long>(p));
      } else {
        o.print(" INT4: %10ld   %8lxH", static_cast<long>(static_cast<int32_t>(p)), static_cast<unsigned long>(p));
      }
    } else if (it.type == 0x82) {
      read_app_value(s, addr, b, 4);
      uint32_t v = vt::le32(b);
      o.print(" INT4: %10ld   %8lxH", static_cast<long>(static_cast<int32_t>(v)), static_cast<unsigned long>(v));
      if (file && cashdrawer && starts_with(it.name, "TS.DEV.LONG")) {
        if (v & 0x1)
          add_summary_line(s, " The cash drawer is not connected.");
        else if (v & 0x100)
          add_summary_line(s, " The cash drawer is open.");
        else
          add_summary_line(s, " The cash drawer is closed.");
      }
    } else if (it.type == 0x8A) {
      read_app_value(s, addr, b, 4);
      uint32_t p = vt::le32(b);
      o.write(" ");
      if (p != 0 && isSelector(s, static_cast<uint16_t>(p >> 16)) != kLdtData) {
        o.write("invalid address\t\t");
      } else if (p == 0) {
        o.write("STR    0: \"\"\t\t");
      } else {
        doString(s, p);
        if (s.debugmode)
          o.print("\n%04lX:%04lX <- %s", static_cast<unsigned long>(p >> 16), static_cast<unsigned long>(p & 0xFFFF),
                  it.name.c_str());
        if (file && starts_with(it.name, "TS.DISP1$"))
          add_summary_line(s, " ANDISPLAY:  %s", display_line(s, p).c_str());
        else if (file && starts_with(it.name, "TS.DISP2$"))
          add_summary_line(s, "             %s", display_line(s, p).c_str());
      }
    } else if (it.type == 0x8B) {
      read_app_value(s, addr, b, 10);
      std::string text = " REAL: ";
      for (int i = 9; i >= 1; --i) text += vt::format("%2x", b[i]);
      text += vt::format("e%d", static_cast<int>(b[0]) - 0x40);
      o.write(text);
    } else if (it.type > 0x201) {
      read_app_value(s, addr, b, 4);
      uint32_t p = vt::le32(b);
      if (!(isSelector(s, static_cast<uint16_t>(p >> 16)) == kLdtData &&
            doArray(s, p, it.name, it.name == "TS.TRACE" ? 0 : 1, static_cast<int16_t>(it.file)) == 0)) {
        o.write(" Undimensioned array");
        if (mod && !mod->name.empty())
          o.print("\t\t     %s\n", mod->name.c_str());
        else
          o.write("\n");
      }
    }
    if (it.type < 0x201) {
      if (it.file != 0 && mod) o.print("     %s", mod->name.c_str());
      o.write("\n");
    }
    if (file && count % 200 == 0) s.con.err << "." << std::flush;
    ++count;
  }
  if (file) s.con.err << "\n" << std::flush;
}

int16_t checkcbhalt(Session& s) {
  const listitem* it = s.symbols.cdv_item("cb_halt");
  if (!it) return 0;
  const uint32_t addr = static_cast<uint32_t>(it->addr);
  bool good = false;
  const bool code = isSelector(s, static_cast<uint16_t>(addr >> 16)) == kLdtCode;
  if (code) {
    unsigned char b[5];
    read_app_value(s, addr + 22, b, sizeof b);
    good = vt::le32(b) == 0x1F99C02Bu || b[4] == 0xCB;
  }
  if (good) return 0;
  if (s.outfile.is_file())
    add_summary_line(s, code ? "The CDV file may not be a good match." : " The CDV file may not be a good match.");
  else
    s.con.out << "\tThe CDV file may not be a good match <<<\n";
  return -1;
}

}  // namespace morvik
