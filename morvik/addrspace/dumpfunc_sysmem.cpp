#include "morvik/addrspace/dumpfunc_sysmem.h"

#include <algorithm>

#include "morvik/addrspace/dumpfunc.h"

namespace morvik {

namespace {

constexpr uint32_t kFrameMask = 0xFFFFFF00u;

// The system linear address of a GDT selector:offset (paged and EL dumps).
uint32_t system_linear(const AddressSpace& a, uint32_t far) {
  return a.gdt_entry(far >> 19).base32() + (far & 0xFFFF);
}

// Whether getSYSphysoffset would end the run on `far`: a selector beyond the
// GDT, or a system page table that is not wholly in the dump.
bool translation_ends_run(const Session& s, uint32_t far) {
  const AddressSpace& a = s.space;
  if (a.termMARRA) return false;
  if (!a.gdt_loaded || (far >> 16) > a.GDT_lim) return true;
  if (!a.page) return false;
  uint32_t linear = system_linear(a, far);
  uint32_t frame = a.PTDbuffer[linear >> 22] & kFrameMask;
  return frame != 0 && frame != a.oldsysPTaddr && uint64_t{frame} + 4096 > s.dumpfile.size();
}

size_t read_pages(Session& s, uint32_t far, uint32_t at, unsigned char* buf, size_t len, bool walk) {
  if (far == 0) return 0;
  size_t done = 0;
  while (done < len) {
    uint64_t offset = uint64_t{far & 0xFFFF} + at + done;
    if (offset > 0xFFFF) break;  // past the segment
    uint32_t addr = (far & 0xFFFF0000u) | static_cast<uint32_t>(offset);
    if (walk && translation_ends_run(s, addr)) break;
    auto off = sys_offset(s, addr);
    if (!off) break;
    // The rest of the page the address lies in. A paged frame address keeps
    // bits 8-11 of its entry, so the page's end is the linear address's, not
    // the dump offset's.
    uint32_t in_page = s.space.page ? system_linear(s.space, addr) : *off;
    size_t n = std::min<size_t>(len - done, 0x1000 - (in_page & 0xFFF));
    size_t got = s.dumpfile.read_at(*off, buf + done, n);
    done += got;
    if (got != n) break;
  }
  return done;
}

}  // namespace

std::string bounded_text(const unsigned char* p, size_t max) {
  size_t n = 0;
  while (n < max && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

std::optional<uint32_t> sys_offset(Session& s, uint32_t far) {
  uint32_t off = getSYSphysoffset(s, far);
  if (off == kNoDumpOffset) return std::nullopt;
  return off;
}

size_t read_system(Session& s, uint32_t far, uint32_t at, unsigned char* buf, size_t len) {
  return read_pages(s, far, at, buf, len, false);
}

size_t read_walk_record(Session& s, uint32_t far, unsigned char* buf, size_t len) {
  return read_pages(s, far, 0, buf, len, true);
}

}  // namespace morvik
