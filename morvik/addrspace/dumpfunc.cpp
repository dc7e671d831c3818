// The dump image: variant detection, address translation and reads of
// dumped memory.
#include "morvik/addrspace/dumpfunc.h"

#include <algorithm>
#include <cstring>

#include "common/le.h"
#include "morvik/addrspace/ldt.h"

namespace morvik {

namespace {

constexpr uint32_t kFrameMask = 0xFFFFFF00u;  // only the low 8 bits are flags

// A linear address of the unpaged MARRA memory: every whole megabyte below
// it takes 512 KB off the file offset.
uint32_t marra_rule(uint32_t a) { return a - (a / 0x100000u) * 0x80000u; }

[[noreturn]] void fatal_in_report(Session& s, int location, const std::string& text) {
  report(s, location);
  s.outfile.write(text);
  end_run(s, -1);
}

}  // namespace

void allocate_buffers(Session& s) {
  s.space.pagetable.assign(1280, 0);  // 5,120 bytes: a table and what follows it
  s.space.syspagetable.fill(0);
  s.space.oldPTaddr = 0;
  s.space.oldsysPTaddr = 0;
}

void detect_dump_kind(Session& s) {
  AddressSpace& a = s.space;
  unsigned char hdr[8] = {};
  s.dumpfile.seek(0);
  size_t got = s.dumpfile.read(hdr, sizeof hdr);
  uint16_t sig = got >= 2 ? vt::le16(hdr) : 0;
  a.page = a.ELVELA = a.termMARRA = a.termdump = a.termappl = 0;
  a.kernal_offset = 0;
  switch (sig) {
    case 0xFFFF: a.termMARRA = a.termdump = a.termappl = 1; break;
    case 0xEEEE: a.page = a.termdump = a.termappl = 1; break;
    case 0xCCCC: a.page = 1; break;
    case 0x5456: a.ELVELA = a.termdump = a.termappl = 1; a.bsx_name = "RT8GL"; break;
    case 0x4356: a.ELVELA = 1; a.bsx_name = "CT8SL"; break;
    default: sig = 0; break;
  }
  if (sig != 0 && a.ELVELA) {
    unsigned char kern[8] = {};
    bool ok = got == sizeof hdr;
    if (ok) {
      a.kernal_offset = vt::le32(hdr + 4);
      s.dumpfile.seek(a.kernal_offset);
      ok = s.dumpfile.read(kern, sizeof kern) == sizeof kern;
    }
    // A kernel image outside the file: the dump was cut short.
    if (!ok) sig = 0;
    if (ok && s.debugmode) {
      vt::print(s.con.out, "EL kernal offset=%08lX.  ", static_cast<unsigned long>(a.kernal_offset));
      for (unsigned char b : kern) vt::print(s.con.out, "%02X ", b);
    }
  }
  if (sig == 0) {
    s.con.err << "\n\tDump is incomplete.\n";
    end_run(s, -1);
  }
}

uint32_t sysVir2Phys(Session& s, uint32_t LinearAddr) {
  AddressSpace& a = s.space;
  if (LinearAddr == 0) return 0;
  if (a.ELVELA) return LinearAddr;
  uint32_t frame = a.PTDbuffer[LinearAddr >> 22] & kFrameMask;
  if (frame == 0) return kNoDumpOffset;  // table not present
  if (frame != a.oldsysPTaddr) {
    s.dumpfile.seek(frame);
    size_t blocks = s.dumpfile.read_items(a.syspagetable.data(), 1024, 4);
    for (auto& e : a.syspagetable) e = vt::le32(reinterpret_cast<const unsigned char*>(&e));
    if (blocks < 4) {
      a.oldsysPTaddr = 0;
      fatal_in_report(s, 61, "can't read OS page table\n");
    }
    a.oldsysPTaddr = frame;
  }
  uint32_t page = a.syspagetable[(LinearAddr >> 12) & 0x3FF] & kFrameMask;
  if (page == 0) return kNoDumpOffset;  // page not present
  return page + (LinearAddr & 0xFFF);
}

uint32_t Vir2Phys(Session& s, uint32_t LinearAddr) {
  AddressSpace& a = s.space;
  if (LinearAddr == 0) return 0;
  a.PDindex = static_cast<int16_t>(LinearAddr >> 22);
  uint32_t frame = a.pagedir.size() == 1024 ? a.pagedir[static_cast<size_t>(a.PDindex)] & kFrameMask : 0;
  if (frame == 0) return kNoDumpOffset;
  if (a.pagetable.size() != 1280) a.pagetable.assign(1280, 0);
  if (frame != a.oldPTaddr) {
    std::fill(a.pagetable.begin(), a.pagetable.end(), 0);
    s.dumpfile.seek(frame);
    // The table is 4,096 bytes; the 1,024 read after it may lie past the
    // end of the dump (they stay zero then).
    size_t got = s.dumpfile.read(a.pagetable.data(), 1280 * 4);
    size_t blocks = got / 1280;
    for (auto& e : a.pagetable) e = vt::le32(reinterpret_cast<const unsigned char*>(&e));
    if (got < 4096) {
      a.oldPTaddr = 0;
      report(s, 62);
      s.outfile.print("\nCannot read page table;  rc = %d\n", static_cast<int>(blocks));
      end_run(s, -1);
    }
    a.pagetblptr = 0;
    while (a.pagetblptr < a.pagetable.size() && a.pagetable[a.pagetblptr] == 0) ++a.pagetblptr;
    a.oldPTaddr = frame;
  }
  a.PTindex = (LinearAddr >> 12) & 0x3FF;
  uint32_t page = a.pagetable[a.PTindex] & kFrameMask;
  if (page == 0) return kNoDumpOffset;
  return page + (LinearAddr & 0xFFF);
}

uint32_t getphysoffset(Session& s, uint32_t addr) {
  AddressSpace& a = s.space;
  if (s.debugmode && !a.ldtptr_shown) {
    a.ldtptr_shown = true;
    vt::print(s.con.out, "ldtptr=%08lX\n",
              static_cast<unsigned long>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(a.ldtptr.data()))));
  }
  uint16_t selector = static_cast<uint16_t>(addr >> 16);
  int16_t cls = isSelector(s, selector);
  if (cls != kLdtData && cls != kLdtCode) {
    report(s, 63);
    vt::print(s.con.err, "Invalid address (getphysoffset):  %lx\n", static_cast<unsigned long>(addr));
    s.outfile.print("Invalid address (getphysoffset):  %lx\n", static_cast<unsigned long>(addr));
    end_run(s, -1);
  }
  ldt_s d = a.ldt_entry(selector >> 3);
  uint32_t base = d.base32();
  uint32_t offset = addr & 0xFFFF;
  if (offset > d.ld_len) {
    s.outfile.print("\nERROR - resolution for address %04lX:%04lX is being attempted,\n",
                    static_cast<unsigned long>(selector), static_cast<unsigned long>(offset));
    s.outfile.print("          but the LDT limit for selector %04lX is only %04lX\n",
                    static_cast<unsigned long>(selector), static_cast<unsigned long>(d.ld_len));
  }
  if (a.page) return Vir2Phys(s, base + offset);
  if (!a.ELVELA) base = base - (base >> 20) * 0x80000u;
  return base + offset;
}

uint32_t getSYSphysoffset(Session& s, uint32_t addr) {
  AddressSpace& a = s.space;
  if (a.termMARRA) {
    uint32_t base = getsysbase(s, static_cast<int16_t>(addr >> 19));
    if (base == kNoDumpOffset) return kNoDumpOffset;
    return marra_rule(base + (addr & 0xFFFF));
  }
  if ((addr >> 16) > a.GDT_lim || !a.gdt_loaded) {
    report(s, 64);
    const char* msg = "\n\n\tInvalid system address... I'm cuttin' out!\n\n";
    s.con.err << msg;
    s.outfile.write(msg);
    end_run(s, -1);
  }
  GDT_entry e = a.gdt_entry(addr >> 19);
  return sysVir2Phys(s, e.base32() + (addr & 0xFFFF));
}

uint32_t getsysbase(Session& s, int16_t index) {
  AddressSpace& a = s.space;
  unsigned char d[8];
  // GDT_base is a dump offset only in MARRA dumps; elsewhere it is a system
  // linear address, which must be translated before the file is read.
  uint32_t at = a.GDT_base + 8u * static_cast<uint16_t>(index);
  s.dumpfile.seek(a.termMARRA ? at : sysVir2Phys(s, at));
  if (s.dumpfile.read(d, sizeof d) != sizeof d) return kNoDumpOffset;
  GDT_entry e = decode_GDT_entry(d);
  if (a.termMARRA) return e.base24();
  return sysVir2Phys(s, e.base32());
}

uint32_t getbase(Session& s, int16_t index, int16_t print) {
  AddressSpace& a = s.space;
  ldt_s d = a.ldt_entry(static_cast<uint16_t>(index));
  if (a.page) {
    uint32_t base = d.base32();
    if (print) s.outfile.print("%8.8lx", static_cast<unsigned long>(base));
    return Vir2Phys(s, base);
  }
  return d.ld_base;
}

uint16_t getsize(Session& s, int16_t index) { return s.space.ldt_entry(static_cast<uint16_t>(index)).ld_len; }

uint32_t getDataPointer(Session& s, uint32_t selector, uint32_t offset) {
  AddressSpace& a = s.space;
  int32_t cur_base = static_cast<int32_t>(a.ldt_entry((selector & 0xFFFF) >> 3).base32());
  uint32_t rsel = selector & 0xFFFF;
  int32_t roff = static_cast<int32_t>(offset);
  for (int i = std::max<int>(a.ldth.ldt_base, 0); i < a.ldttop; ++i) {
    int32_t base = static_cast<int32_t>(a.ldt_entry(static_cast<size_t>(i)).base32());
    int32_t diff = static_cast<int32_t>(static_cast<uint32_t>(base) - static_cast<uint32_t>(cur_base));
    if (base > cur_base && roff > diff) {
      rsel = static_cast<uint32_t>(i) * 8 + 7;
      roff -= diff;
      cur_base = base;
    }
  }
  return (rsel << 16) | (static_cast<uint32_t>(roff) & 0xFFFF);
}

int16_t readstuff(Session& s, std::span<unsigned char> where, uint32_t what, int16_t howmany, int16_t howbig,
                  char processType) {
  auto translate = [&](uint32_t addr) {
    return processType == 'a' ? getphysoffset(s, addr) : getSYSphysoffset(s, addr);
  };
  uint32_t off = translate(what);
  s.dumpfile.seek(off);
  uint32_t amount = static_cast<uint16_t>(howmany * howbig);
  if (processType == 'a') {
    uint32_t len = s.space.ldt_entry(what >> 19).ld_len;
    uint32_t at = what & 0xFFFF;
    uint32_t room = at > len ? 0 : len - at;
    amount = std::min(amount, room);
  }
  amount = static_cast<uint32_t>(std::min<size_t>(amount, where.size()));
  uint32_t chunk = std::min<uint32_t>(0x1000 - (off & 0xFFF), amount);
  if (chunk == 0 || s.dumpfile.read(where.data(), chunk) != chunk) {
    s.outfile.print("readstuff error1 at %08lX\n", static_cast<unsigned long>(what));
    return 0;
  }
  uint32_t done = chunk;
  while (done < amount) {
    off = translate(what + done);
    s.dumpfile.seek(off);
    chunk = std::min<uint32_t>(amount - done, 0x1000);
    if (s.dumpfile.read(where.data() + done, chunk) != chunk) {
      s.outfile.write("readstuff error2\n");
      return 0;
    }
    done += chunk;
  }
  return 1;
}

std::vector<unsigned char> read_segment(Session& s, uint16_t selector, size_t size) {
  std::vector<unsigned char> seg(size, 0);
  const uint32_t far = uint32_t{selector} << 16;
  constexpr size_t kPiece = 0x4000;
  for (size_t at = 0; at < seg.size(); at += kPiece) {
    size_t n = std::min(kPiece, seg.size() - at);
    if (!readstuff(s, std::span<unsigned char>(seg.data() + at, n), far | static_cast<uint32_t>(at), 1,
                   static_cast<int16_t>(n), 'a')) {
      seg.resize(at);
      break;
    }
  }
  return seg;
}

void getmemmap(Session& s) {
  scan_kernel_symbols(s, [&](const sym_s& sym) {
    const char* fmt = sym.name == "v_system" ? "\tSystem memory:  %7.3f Mb\n"
                      : sym.name == "p_free" ? "\tFree memory:    %7.3f Mb\n"
                                             : nullptr;
    uint16_t pages;
    if (fmt && s.dumpfile.read_u16_at(sym_dump_offset(s, sym), pages)) s.outfile.print(fmt, pages * 0.00390625);
    return true;
  });
}

}  // namespace morvik
