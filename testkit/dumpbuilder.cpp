#include "testkit/dumpbuilder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "common/le.h"

namespace testkit {

namespace {
constexpr uint32_t kPage = 0x1000;
constexpr uint32_t kNone = 0xFFFFFFFFu;
uint32_t align_up(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }
}  // namespace

Bytes le16_bytes(uint16_t v) {
  Bytes b(2);
  vt::put16(b.data(), v);
  return b;
}

Bytes le32_bytes(uint32_t v) {
  Bytes b(4);
  vt::put32(b.data(), v);
  return b;
}

DumpBuilder::DumpBuilder(DumpVariant v) : variant_(v) {
  switch (v) {
    case DumpVariant::MarraTerminal: put_phys(0, {0xFF, 0xFF}); break;
    case DumpVariant::PagedTerminal: put_phys(0, {0xEE, 0xEE}); break;
    case DumpVariant::PagedController: put_phys(0, {0xCC, 0xCC}); break;
    case DumpVariant::ELTerminal: put_phys(0, {'V', 'T'}); break;
    case DumpVariant::ELController: put_phys(0, {'V', 'C'}); break;
  }
  if (el()) {
    kernal_offset_ = 0x100000;
    put_phys32(4, kernal_offset_);
    put_phys(kernal_offset_, {'E', 'L', 'K', 'E', 'R', 'N', 'E', 'L'});
  }
  kernel_next_ = kernal_offset_ + 0x1000;
  kernel_end_ = marra() ? 0x40000 : kernal_offset_ + 0x100000;
  sys_next_ = paged() ? 0x80000000u : el() ? 0x200000u : 0x40000u;
  proc_next_ = el() ? 0x400000u : 0x300000u;

  if (paged()) {
    ptd_ = alloc_frames(1);
    gdt_linear_ = alloc_linear(sys_next_, 0x8000, kPage);
    map_range(ptd_, gdt_linear_, 0x8000);
  } else if (el()) {
    ptd_ = alloc_linear(sys_next_, kPage, kPage);
    gdt_linear_ = alloc_linear(sys_next_, 0x8000, kPage);
  } else {
    gdt_linear_ = alloc_kernel(0x8000);  // MARRA: the GDT base is a dump offset
  }
  gdt_desc_off_ = add_kernel_symbol("gdt_desc", Bytes(8));
  write_gdt_desc();
  if (!marra()) {
    add_kernel_symbol("p_syspd", le32_bytes(ptd_));
    add_kernel_symbol("pagearea", Bytes(4));
  }
}

bool DumpBuilder::paged() const {
  return variant_ == DumpVariant::PagedTerminal || variant_ == DumpVariant::PagedController;
}
bool DumpBuilder::el() const { return variant_ == DumpVariant::ELTerminal || variant_ == DumpVariant::ELController; }
bool DumpBuilder::marra() const { return variant_ == DumpVariant::MarraTerminal; }
bool DumpBuilder::terminal() const {
  return variant_ != DumpVariant::PagedController && variant_ != DumpVariant::ELController;
}

// --- the file image ---------------------------------------------------------

void DumpBuilder::put_phys(uint32_t offset, const Bytes& data) {
  size_t done = 0;
  while (done < data.size()) {
    uint64_t at = uint64_t{offset} + done;
    uint32_t pg = static_cast<uint32_t>(at / kPage);
    size_t in = static_cast<size_t>(at % kPage);
    size_t n = std::min(data.size() - done, kPage - in);
    auto& page = pages_[pg];
    if (page.empty()) page.assign(kPage, 0);
    std::memcpy(page.data() + in, data.data() + done, n);
    done += n;
  }
  size_ = std::max<uint64_t>(size_, uint64_t{offset} + data.size());
}

Bytes DumpBuilder::get_phys(uint32_t offset, size_t len) const {
  Bytes out(len, 0);
  for (size_t i = 0; i < len; ++i) {
    uint64_t at = uint64_t{offset} + i;
    auto it = pages_.find(static_cast<uint32_t>(at / kPage));
    if (it != pages_.end()) out[i] = it->second[static_cast<size_t>(at % kPage)];
  }
  return out;
}

void DumpBuilder::set_size(uint64_t size) { size_ = std::max(size_, size); }

Bytes DumpBuilder::image() const {
  Bytes out(static_cast<size_t>(size_), 0);
  for (const auto& [pg, data] : pages_) {
    uint64_t start = uint64_t{pg} * kPage;
    if (start >= size_) continue;
    size_t n = static_cast<size_t>(std::min<uint64_t>(kPage, size_ - start));
    std::memcpy(out.data() + start, data.data(), n);
  }
  return out;
}

void DumpBuilder::write(const std::string& path) const {
  {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    for (const auto& [pg, data] : pages_) {
      uint64_t start = uint64_t{pg} * kPage;
      if (start >= size_) continue;
      size_t n = static_cast<size_t>(std::min<uint64_t>(kPage, size_ - start));
      f.seekp(static_cast<std::streamoff>(start));
      f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(n));
    }
    if (!f) throw std::runtime_error("cannot write " + path);
  }
  std::filesystem::resize_file(path, size_);
}

// --- kernel symbols ---------------------------------------------------------

uint32_t DumpBuilder::alloc_kernel(uint32_t size) {
  uint32_t off = align_up(kernel_next_, 4);
  if (off + size > kernel_end_) throw std::runtime_error("kernel data area full");
  kernel_next_ = off + size;
  size_ = std::max<uint64_t>(size_, kernel_next_);
  return off;
}

uint32_t DumpBuilder::add_kernel_symbol(const std::string& name, const Bytes& datum) {
  uint32_t off = alloc_kernel(static_cast<uint32_t>(std::max<size_t>(datum.size(), 1)));
  put_phys(off, datum);
  uint32_t rel = off - kernal_offset_;
  add_bsx_record(name, rel & 0xFFFF0000u, static_cast<uint16_t>(rel & 0xFFFF));
  return off;
}

void DumpBuilder::add_bsx_record(const std::string& name, uint32_t segment, uint16_t offset) {
  records_.push_back({name, segment, offset});
}

Bytes DumpBuilder::bsx() const {
  Bytes out(122, 0);
  const char title[] = "VELA kernel symbols (test)";
  std::memcpy(out.data(), title, sizeof title - 1);
  for (const auto& r : records_) {
    if (omitted_.count(r.name)) continue;
    unsigned char rec[22] = {};
    vt::put16(rec + 0, r.offset);
    vt::put16(rec + 2, 4);
    vt::put32(rec + 4, r.segment);
    rec[8] = 1;
    std::memcpy(rec + 9, r.name.data(), std::min<size_t>(r.name.size(), 13));
    out.insert(out.end(), rec, rec + 22);
  }
  return out;
}

void DumpBuilder::write_bsx(const std::string& path) const { write_file(path, bsx()); }

// --- memory ------------------------------------------------------------------

void DumpBuilder::set_next_frame(uint32_t offset) {
  if (offset % kPage != 0 || offset < next_frame_) throw std::invalid_argument("frames go forward in whole pages");
  next_frame_ = offset;
}

uint32_t DumpBuilder::alloc_frames(uint32_t count) {
  uint32_t f = next_frame_;
  next_frame_ += count * kPage;
  size_ = std::max<uint64_t>(size_, next_frame_);
  return f;
}

uint32_t DumpBuilder::alloc_linear(uint32_t& cursor, uint32_t size, uint32_t align, bool grow) {
  uint32_t at = align_up(cursor, align);
  if (marra()) {
    if (size > 0x80000) throw std::runtime_error("MARRA areas are at most 512 KB");
    if ((at & 0xFFFFF) + size > 0x80000) at = (at | 0xFFFFF) + 1;
  }
  if (grow) grow_to(at, size);
  cursor = at + size;
  return at;
}

void DumpBuilder::grow_to(uint32_t linear, uint32_t size) {
  if (marra())
    size_ = std::max<uint64_t>(size_, uint64_t{marra_offset(linear)} + size);
  else if (el())
    size_ = std::max<uint64_t>(size_, uint64_t{linear} + size);
}

void DumpBuilder::map_range(uint32_t pd, uint32_t linear, uint32_t size) {
  if (size == 0) return;
  std::vector<uint32_t> todo;
  for (uint64_t l = linear & ~(kPage - 1); l < uint64_t{linear} + size; l += kPage)
    if (walk(pd, static_cast<uint32_t>(l)) == kNone) todo.push_back(static_cast<uint32_t>(l));
  if (todo.empty()) return;
  uint32_t frames = alloc_frames(static_cast<uint32_t>(todo.size()));
  for (size_t i = 0; i < todo.size(); ++i) {
    uint32_t l = todo[i];
    uint32_t pde_at = pd + (l >> 22) * 4;
    uint32_t pt = vt::le32(get_phys(pde_at, 4).data()) & 0xFFFFFF00u;
    if (pt == 0) {
      pt = alloc_frames(1);
      put_phys32(pde_at, pt | 0x67);
    }
    uint32_t frame = frames + static_cast<uint32_t>(todo.size() - 1 - i) * kPage;
    put_phys32(pt + ((l >> 12) & 0x3FF) * 4, frame | 0x67);
  }
}

uint32_t DumpBuilder::walk(uint32_t pd, uint32_t linear) const {
  uint32_t pt = vt::le32(get_phys(pd + (linear >> 22) * 4, 4).data()) & 0xFFFFFF00u;
  if (pt == 0) return kNone;
  uint32_t frame = vt::le32(get_phys(pt + ((linear >> 12) & 0x3FF) * 4, 4).data()) & 0xFFFFFF00u;
  if (frame == 0) return kNone;
  return frame + (linear & 0xFFF);
}

uint32_t DumpBuilder::linear_to_dump(uint32_t pd, uint32_t linear) const {
  if (paged()) return walk(pd, linear);
  if (el()) return linear;
  return marra_offset(linear);
}

uint32_t DumpBuilder::gdt_slot_offset(int slot) const {
  if (marra()) return gdt_linear_ + static_cast<uint32_t>(slot) * 8;
  return linear_to_dump(ptd_, gdt_linear_ + static_cast<uint32_t>(slot) * 8);
}

void DumpBuilder::write_gdt_desc() {
  Bytes d(8, 0);
  vt::put16(d.data(), gdt_limit_);
  if (paged()) {
    vt::put32(d.data() + 2, gdt_linear_);
  } else {
    d[2] = static_cast<unsigned char>(gdt_linear_);
    d[3] = static_cast<unsigned char>(gdt_linear_ >> 8);
    d[4] = static_cast<unsigned char>(gdt_linear_ >> 16);
    d[7] = static_cast<unsigned char>(gdt_linear_ >> 24);
  }
  put_phys(gdt_desc_off_, d);
}

void DumpBuilder::set_gdt_limit(uint16_t limit) {
  gdt_limit_ = limit;
  write_gdt_desc();
}

uint16_t DumpBuilder::add_gdt_segment(uint32_t linear_base, uint16_t limit, bool code, uint16_t rpl) {
  int slot = gdt_next_slot_++;
  if (slot * 8 > 0x7FF8) throw std::runtime_error("GDT full");
  Bytes d(8, 0);
  vt::put16(d.data(), limit);
  d[2] = static_cast<unsigned char>(linear_base);
  d[3] = static_cast<unsigned char>(linear_base >> 8);
  d[4] = static_cast<unsigned char>(linear_base >> 16);
  d[5] = code ? 0x9B : 0x93;
  d[7] = static_cast<unsigned char>(linear_base >> 24);
  put_phys(gdt_slot_offset(slot), d);
  return static_cast<uint16_t>(slot * 8 | rpl);
}

uint16_t DumpBuilder::alias_gdt_segment(uint16_t selector, int slot) {
  put_phys(gdt_slot_offset(slot), get_phys(gdt_slot_offset(selector >> 3), 8));
  return static_cast<uint16_t>(slot * 8);
}

uint16_t DumpBuilder::code_alias_gdt_segment(uint16_t selector, uint16_t rpl) {
  int slot = gdt_next_slot_++;
  Bytes d = get_phys(gdt_slot_offset(selector >> 3), 8);
  d[5] = 0x9B;
  put_phys(gdt_slot_offset(slot), d);
  return static_cast<uint16_t>(slot * 8 | rpl);
}

void DumpBuilder::move_system_memory(uint32_t linear) {
  sys_next_ = linear;
  sysseg_used_ = 0x10000;  // the next allocation opens a segment there
  ldtseg_used_ = 0x10000;
}

void DumpBuilder::fit_gdt_limit() {
  uint32_t needed = align_up(static_cast<uint32_t>(gdt_next_slot_) * 8, 0x100) - 1;
  if (needed > gdt_limit_) set_gdt_limit(static_cast<uint16_t>(needed));
}

uint32_t DumpBuilder::system_linear(uint32_t far) const {
  Bytes d = get_phys(gdt_slot_offset(static_cast<int>(far >> 19)), 8);
  uint32_t base = static_cast<uint32_t>(d[2]) | (static_cast<uint32_t>(d[3]) << 8) |
                  (static_cast<uint32_t>(d[4]) << 16) | (static_cast<uint32_t>(d[7]) << 24);
  return base + (far & 0xFFFF);
}

uint32_t DumpBuilder::system_dump_offset(uint32_t far) const { return linear_to_dump(ptd_, system_linear(far)); }

void DumpBuilder::write_linear(uint32_t pd, uint32_t linear, const Bytes& data, bool process_marra_base,
                               uint32_t base) {
  size_t done = 0;
  while (done < data.size()) {
    uint32_t l = linear + static_cast<uint32_t>(done);
    size_t n = std::min<size_t>(data.size() - done, kPage - (l & 0xFFF));
    uint32_t at = process_marra_base ? marra_offset(base) + (l - base) : linear_to_dump(pd, l);
    if (at == kNone) throw std::runtime_error("write to unmapped memory");
    put_phys(at, Bytes(data.begin() + static_cast<long>(done), data.begin() + static_cast<long>(done + n)));
    done += n;
  }
}

uint32_t DumpBuilder::alloc_system(uint32_t size) {
  size = align_up(std::max<uint32_t>(size, 1), 4);
  if (size > 0x10000) throw std::runtime_error("system allocations are at most 64 KB");
  if (sysseg_used_ + size > 0x10000) {
    uint32_t base = alloc_linear(sys_next_, 0x10000, kPage);
    if (paged()) map_range(ptd_, base, 0x10000);
    sysseg_far_ = static_cast<uint32_t>(add_gdt_segment(base, 0xFFFF, false)) << 16;
    sysseg_used_ = 0;
  }
  uint32_t far = sysseg_far_ + sysseg_used_;
  sysseg_used_ += size;
  return far;
}

void DumpBuilder::put_system(uint32_t far, const Bytes& data) {
  write_linear(ptd_, system_linear(far), data, false, 0);
}

// --- processes -----------------------------------------------------------------

int DumpBuilder::add_process(int slots) {
  if (slots < 13 || slots > 4095) throw std::runtime_error("an LDT holds 13 to 4095 slots here");
  Process p;
  p.slots = slots;
  uint32_t header = marra() ? 8 : 16;
  uint32_t size = header + static_cast<uint32_t>(slots) * 8;
  // LDT objects share 64 KB GDT segments, each from a page of its own, so
  // that the GDT does not limit the number of processes. Only the pages an
  // object takes are in the dump.
  uint32_t room = align_up(size, kPage);
  if (ldtseg_used_ + room > 0x10000) {
    ldtseg_base_ = alloc_linear(sys_next_, 0x10000, kPage, false);
    ldtseg_far_ = static_cast<uint32_t>(add_gdt_segment(ldtseg_base_, 0xFFFF, false)) << 16;
    ldtseg_used_ = 0;
  }
  uint32_t base = ldtseg_base_ + ldtseg_used_;
  p.ldt_far = ldtseg_far_ + ldtseg_used_;
  ldtseg_used_ += room;
  if (paged())
    map_range(ptd_, base, size);
  else
    grow_to(base, size);
  p.desc_far = p.ldt_far + header;
  p.top = 11;
  if (paged()) {
    p.pd = alloc_frames(1);
    p.next_linear = 0x00400000;
  }
  procs_.push_back(p);
  write_ldt_header(procs_.back());
  return static_cast<int>(procs_.size() - 1);
}

void DumpBuilder::write_ldt_header(const Process& p) {
  Bytes h(8, 0);
  vt::put16(h.data(), static_cast<uint16_t>(p.slots));
  vt::put16(h.data() + 2, static_cast<uint16_t>(p.top));
  vt::put16(h.data() + 4, 12);
  put_system(p.ldt_far, h);
}

void DumpBuilder::set_ldt_header(int proc, int16_t numldt, int16_t top, int16_t base) {
  Bytes h(8, 0);
  vt::put16(h.data(), static_cast<uint16_t>(numldt));
  vt::put16(h.data() + 2, static_cast<uint16_t>(top));
  vt::put16(h.data() + 4, static_cast<uint16_t>(base));
  put_system(procs_.at(static_cast<size_t>(proc)).ldt_far, h);
}

void DumpBuilder::set_slot(int proc, int slot, uint32_t base, uint16_t len, uint8_t access) {
  Process& p = procs_.at(static_cast<size_t>(proc));
  if (slot < 0 || slot >= p.slots) throw std::runtime_error("slot outside the LDT");
  Bytes d(8, 0);
  vt::put16(d.data(), len);
  d[2] = static_cast<unsigned char>(base);
  d[3] = static_cast<unsigned char>(base >> 8);
  d[4] = static_cast<unsigned char>(base >> 16);
  d[5] = access;
  d[7] = static_cast<unsigned char>(base >> 24);
  put_system(p.desc_far + static_cast<uint32_t>(slot) * 8, d);
  p.segs[slot] = {base, uint32_t{len} + 1};
  if (slot > p.top) {
    p.top = static_cast<int16_t>(slot);
    write_ldt_header(p);
  }
}

uint16_t DumpBuilder::add_segment(int proc, uint32_t size, bool code) {
  Process& p = procs_.at(static_cast<size_t>(proc));
  uint32_t base = paged() ? alloc_linear(p.next_linear, size, kPage) : alloc_linear(proc_next_, size, kPage);
  return add_segment_at(proc, base, size, code);
}

uint16_t DumpBuilder::add_segment_at(int proc, uint32_t linear_base, uint32_t size, bool code) {
  if (size == 0 || size > 0x10000) throw std::runtime_error("a segment holds 1 to 65536 bytes");
  Process& p = procs_.at(static_cast<size_t>(proc));
  int slot = p.next_slot;
  for (auto& [s, seg] : p.segs) slot = std::max(slot, s + 1);
  if (slot >= p.slots) throw std::runtime_error("LDT full");
  p.next_slot = slot + 1;
  if (paged()) {
    map_range(p.pd, linear_base, size);
    p.next_linear = std::max(p.next_linear, linear_base + size);
  } else if (el()) {
    size_ = std::max<uint64_t>(size_, uint64_t{linear_base} + size);
  } else {
    size_ = std::max<uint64_t>(size_, uint64_t{marra_offset(linear_base)} + size);
  }
  set_slot(proc, slot, linear_base, static_cast<uint16_t>(size - 1), code ? 0xFB : 0xF3);
  return static_cast<uint16_t>(slot * 8 + 7);
}

uint32_t DumpBuilder::process_linear(int proc, uint32_t far) const {
  const Process& p = procs_.at(static_cast<size_t>(proc));
  auto it = p.segs.find(static_cast<int>(far >> 19));
  if (it == p.segs.end()) throw std::runtime_error("no such segment");
  return it->second.first + (far & 0xFFFF);
}

void DumpBuilder::put(int proc, uint32_t far, const Bytes& data) {
  const Process& p = procs_.at(static_cast<size_t>(proc));
  uint32_t linear = process_linear(proc, far);
  write_linear(p.pd, linear, data, marra(), linear - (far & 0xFFFF));
}

uint32_t DumpBuilder::process_dump_offset(int proc, uint32_t far) const {
  const Process& p = procs_.at(static_cast<size_t>(proc));
  uint32_t linear = process_linear(proc, far);
  if (marra()) {
    uint32_t base = linear - (far & 0xFFFF);
    return marra_offset(base) + (far & 0xFFFF);
  }
  return linear_to_dump(p.pd, linear);
}

uint32_t DumpBuilder::ldt_addr(int proc) const { return procs_.at(static_cast<size_t>(proc)).ldt_far; }
uint32_t DumpBuilder::ldt_offset(int proc) const { return system_dump_offset(ldt_addr(proc)); }
uint32_t DumpBuilder::cr3(int proc) const { return procs_.at(static_cast<size_t>(proc)).pd; }

uint32_t DumpBuilder::pde_offset(int proc, uint32_t linear) const { return cr3(proc) + (linear >> 22) * 4; }

uint32_t DumpBuilder::pte_offset(int proc, uint32_t linear) const {
  uint32_t pt = vt::le32(get_phys(pde_offset(proc, linear), 4).data()) & 0xFFFFFF00u;
  return pt + ((linear >> 12) & 0x3FF) * 4;
}

}  // namespace testkit
