// The descriptor tables: loading the GDT and the application's LDT out of
// the dump, classifying selectors, and the LDT listing.
#include "morvik/addrspace/ldt.h"

#include <algorithm>

#include "common/le.h"
#include "morvik/addrspace/dumpfunc.h"

namespace morvik {

namespace {

[[noreturn]] void gdt_mismatch(Session& s) {
  report(s, 67);
  s.con.err << "\tCannot find GDT - BSX doesn't match.\n";
  end_run(s, -1);
}

bool is_app_slot(const AddressSpace& a, uint16_t index) {
  return index >= 12 && index <= a.ldttop && index < a.ldt_slots();
}

}  // namespace

void getGDT(Session& s) {
  AddressSpace& a = s.space;
  bool have_desc = false, have_syspd = false;
  unsigned char desc[8] = {};
  scan_kernel_symbols(s, [&](const sym_s& sym) {
    if (sym.name == "gdt_desc" && !have_desc) {
      have_desc = true;
      a.OS_Data = sym_dump_offset(s, sym);
      if (a.ELVELA) {
        s.outfile.print("found gdt segment=%08lX\n", static_cast<unsigned long>(sym.segment));
        s.outfile.print("found gdt offset =%08lX\n", static_cast<unsigned long>(sym.offset));
        vt::print(s.con.out, "%s:  ", sym.name.c_str());
        vt::print(s.con.out, "\nGDT_desc is at %08lX\n", static_cast<unsigned long>(a.OS_Data));
      }
      if (s.dumpfile.read_at(a.OS_Data, desc, sizeof desc) != sizeof desc) gdt_mismatch(s);
      GDT_entry e = decode_GDT_entry(desc);
      if (a.termMARRA)
        a.GDT_base = e.base24();
      else if (a.ELVELA)
        a.GDT_base = e.base32();
      else
        a.GDT_base = e.base + (static_cast<uint32_t>(e.base31_24) << 24);
      if (s.debugmode) {
        vt::print(s.con.out, "GDT_base:  %08lx\n", static_cast<unsigned long>(a.GDT_base));
        vt::print(s.con.out, "gdt.lim:   %08lx\n", static_cast<unsigned long>(e.lim));
      }
    } else if (sym.name == "p_syspd" && !have_syspd) {
      have_syspd = true;
      unsigned char pd[4096];
      if (!s.dumpfile.read_u32_at(sym_dump_offset(s, sym), a.PTD_addr) ||
          s.dumpfile.read_at(a.PTD_addr, pd, sizeof pd) != sizeof pd) {
        vt::print(s.con.err, "\n\tCannot read the system page directory (\"p_syspd\" = %08lX).\n",
                  static_cast<unsigned long>(a.PTD_addr));
        end_run(s, -1);
      }
      for (size_t i = 0; i < 1024; ++i) a.PTDbuffer[i] = vt::le32(pd + 4 * i);
    }
    return !(have_desc && (have_syspd || a.termMARRA));
  });

  // Without these no system address can be translated: stop here rather
  // than translate through an empty table.
  const char* missing = !have_desc ? "gdt_desc" : (!have_syspd && !a.termMARRA) ? "p_syspd" : nullptr;
  if (missing) {
    vt::print(s.con.err, "\n\tCannot find GDT - the BSX file has no \"%s\" symbol.\n", missing);
    end_run(s, -1);
  }

  GDT_entry e = decode_GDT_entry(desc);
  if ((e.lim & 0xFF) != 0xFF || e.lim > 0x7FFF) gdt_mismatch(s);
  a.GDT_lim = e.lim & 0xFFF8;
  size_t size = size_t{e.lim} + 1;
  a.gdtptr.assign(size, 0);
  if (a.termMARRA) {
    // One piece, as 2-byte items.
    if (s.dumpfile.read_at(a.GDT_base, a.gdtptr.data(), size) != size) gdt_mismatch(s);
  } else {
    for (size_t j = 0; j < size; j += 4096) {
      size_t n = std::min<size_t>(size - j, 4096);
      uint32_t off = sysVir2Phys(s, a.GDT_base + static_cast<uint32_t>(j));
      if (s.dumpfile.read_at(off, a.gdtptr.data() + j, n) != n) gdt_mismatch(s);
    }
  }
  a.gdt_loaded = true;
}

int16_t isSelector(const Session& s, uint16_t selector) {
  const AddressSpace& a = s.space;
  uint16_t index = selector >> 3;
  switch (selector & 7) {
    case 7:
      if (is_app_slot(a, index)) return a.ldt_entry(index).is_code() ? kLdtCode : kLdtData;
      return kNoSelector;
    case 3:
      if (selector <= a.GDT_lim && index < a.gdt_slots())
        return (a.gdt_entry(index).access() & 0x08) ? kGdtCode : kGdtData;
      return kNoSelector;
    default:
      return kNoSelector;
  }
}

int16_t isValidSelector(const Session& s, uint32_t full_address) {
  const AddressSpace& a = s.space;
  uint16_t selector = static_cast<uint16_t>(full_address >> 16);
  uint16_t offset = static_cast<uint16_t>(full_address & 0xFFFF);
  int16_t cls = isSelector(s, selector);
  if (cls == kLdtData || cls == kLdtCode) return offset <= a.ldt_entry(selector >> 3).ld_len ? cls : kNoSelector;
  if (cls == kGdtData || cls == kGdtCode) return offset <= a.gdt_entry(selector >> 3).lim ? cls : kNoSelector;
  return kNoSelector;
}

uint16_t getlimit(const Session& s, uint32_t full_address) {
  const AddressSpace& a = s.space;
  uint16_t selector = static_cast<uint16_t>(full_address >> 16);
  if ((selector & 7) != 7 || !is_app_slot(a, selector >> 3)) return 0;
  return a.ldt_entry(selector >> 3).ld_len;
}

namespace {

// Takes the header; false when it is not a usable LDT header.
bool take_ldt_header(AddressSpace& a, const unsigned char* h) {
  a.ldth = decode_ldth_s(h);
  if (a.ldth.ldt_base != 12) return false;
  // 4,095 slots fill the 32,760 bytes an LDT can hold.
  if (a.ldth.numldt < 0 || a.ldth.numldt > 4095) return false;
  a.ldttop = static_cast<uint16_t>(std::max<int16_t>(a.ldth.ldt_top, 0));
  a.ldtptr.assign(static_cast<size_t>(a.ldth.numldt) * 8, 0);
  return true;
}

}  // namespace

void page_get_LDT(Session& s, uint32_t LDT_addr) {
  AddressSpace& a = s.space;
  a.LDT_addr = LDT_addr;
  if (s.debugmode) vt::print(s.con.out, "LDT_addr = %lx\n", static_cast<unsigned long>(LDT_addr));
  uint32_t off = getSYSphysoffset(s, LDT_addr);
  if (s.debugmode) vt::print(s.con.out, "LDT offset = %lx\n", static_cast<unsigned long>(off));
  unsigned char h[8] = {};
  bool ok = s.dumpfile.seek(off) && s.dumpfile.read(h, sizeof h) == sizeof h;
  if (!ok || !take_ldt_header(a, h)) {
    s.con.err << "bad LDT header!!\n";
    end_run(s, 0);
  }
  size_t size = a.ldtptr.size();
  unsigned char skip[8];
  size_t first = std::min<size_t>(size, 0xFF0);
  ok = s.dumpfile.read(skip, sizeof skip) == sizeof skip || first == 0;
  ok = ok && s.dumpfile.read(a.ldtptr.data(), first) == first;
  size_t done = first;
  uint32_t pageoff = 0;
  while (ok && done < size) {
    pageoff += 0x1000;
    s.dumpfile.seek(getSYSphysoffset(s, LDT_addr + pageoff));
    size_t n = std::min<size_t>(size - done, 0x1000);
    ok = s.dumpfile.read(a.ldtptr.data() + done, n) == n;
    done += n;
  }
  if (!ok) {
    s.con.err << " Can't read LDT\n";
    end_run(s, -1);
  }

  std::vector<unsigned char> pd(4096);
  s.dumpfile.seek(a.CR3);
  size_t entries = s.dumpfile.read_items(pd.data(), 4, 1024);
  if (entries < 1024) {
    s.outfile.print("Can't read page directory:  ret = %d\n", static_cast<int>(entries));
    end_run(s, -1);
  }
  a.pagedir.assign(1024, 0);
  for (size_t i = 0; i < 1024; ++i) a.pagedir[i] = vt::le32(pd.data() + 4 * i);
  a.oldPTaddr = 0;
  display_ldt(s);
}

void get_LDT(Session& s, uint32_t LDT_offset) {
  AddressSpace& a = s.space;
  a.LDT_offset = LDT_offset;
  unsigned char h[8] = {};
  s.dumpfile.seek(LDT_offset);
  bool ok = s.dumpfile.read(h, sizeof h) == sizeof h;
  if (!ok || !take_ldt_header(a, h)) {
    s.con.err << "Cannot find LDT\n";
    end_run(s, -1);
  }
  if (a.ELVELA) {
    unsigned char skip[8];
    s.dumpfile.read(skip, sizeof skip);
  }
  size_t size = a.ldtptr.size();
  if (s.dumpfile.read(a.ldtptr.data(), size) != size) {
    s.con.err << " Can't read LDT\n";
    end_run(s, -1);
  }
  display_ldt(s);
}

void display_ldt(Session& s) {
  AddressSpace& a = s.space;
  int first = a.ldth.ldt_base;
  int top = a.ldth.ldt_top;
  if (s.debugmode) {
    s.outfile.print("\nldt structure: num=%04X top=%04X base=%04X resvd=%04X\n",
                    static_cast<unsigned>(static_cast<uint16_t>(a.ldth.numldt)),
                    static_cast<unsigned>(static_cast<uint16_t>(a.ldth.ldt_top)),
                    static_cast<unsigned>(static_cast<uint16_t>(a.ldth.ldt_base)),
                    static_cast<unsigned>(static_cast<uint16_t>(a.ldth.reserv)));
    s.outfile.write("\nLDT:  Selector  Length\tLinear Addr\tPhysical Base\n");
    for (int i = first; i < top; ++i) {
      ldt_s d = a.ldt_entry(static_cast<size_t>(i));
      s.outfile.print("\t%04X", static_cast<unsigned>(i * 8 + 7));
      s.outfile.print("\t%04X    ", static_cast<unsigned>(d.ld_len));
      uint32_t base = getbase(s, static_cast<int16_t>(i), 1);
      s.outfile.print("        %08lX  ", static_cast<unsigned long>(base));
      int type = d.type() | 1;
      s.outfile.write(type == 3 ? " DATA" : type == 0xB ? " CODE" : " ????");
      s.outfile.write("\n");
    }
  }
  a.code_min = 0xFFFFFFFFu;
  a.code_max = 0;
  for (int i = first; i < top; ++i) {
    ldt_s d = a.ldt_entry(static_cast<size_t>(i));
    if (d.base32() == 0 || (d.type() | 1) != 0xB) continue;
    uint32_t base = a.ELVELA ? d.base32() : getbase(s, static_cast<int16_t>(i), 0);
    if (base == kNoDumpOffset) continue;
    a.code_min = std::min(a.code_min, base);
    a.code_max = std::max(a.code_max, base + d.ld_len);
  }
}

}  // namespace morvik
