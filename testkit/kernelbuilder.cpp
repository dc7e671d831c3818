#include "testkit/kernelbuilder.h"

#include <algorithm>
#include <cstring>

#include "common/le.h"

namespace testkit {

ProcSpec proc_spec(const std::string& name, uint32_t pid, uint8_t stat, uint8_t prior, uint16_t flag) {
  ProcSpec p;
  p.name = name;
  p.pid = pid;
  p.stat = stat;
  p.prior = prior;
  p.flag = flag;
  return p;
}

namespace {

void put_text(Bytes& rec, size_t at, const std::string& text) {
  std::copy(text.begin(), text.end(), rec.begin() + static_cast<long>(at));
}

}  // namespace

void KernelBuilder::machine_type(uint16_t type) { b_.add_kernel_symbol("VCSM_machine", le16_bytes(type)); }

uint32_t KernelBuilder::ccomd(const CcomdSpec& cfg) {
  uint32_t at = b_.alloc_system(655);
  uint32_t mreg = b_.alloc_system(120);
  uint32_t msecm = b_.alloc_system(4);
  uint32_t lcomm = b_.alloc_system(96);

  Bytes m(120, 0);
  m[1] = cfg.vec;
  vt::put32(m.data() + 22, cfg.eip);
  vt::put16(m.data() + 38, cfg.cs);
  b_.put_system(mreg, m);
  b_.put_system32(msecm, cfg.time);
  Bytes l(96, 0);
  put_text(l, 77, cfg.base_level.substr(0, 4));
  put_text(l, 81, cfg.cd_level);
  b_.put_system(lcomm, l);

  Bytes c(655, 0);
  vt::put32(c.data() + 274, mreg);  // CCD_mreg
  vt::put16(c.data() + 308, cfg.store);
  vt::put16(c.data() + 310, cfg.term);
  vt::put32(c.data() + 321, cfg.totalmem);
  vt::put16(c.data() + 334, cfg.tcc_type);
  c[344] = cfg.reason;
  vt::put32(c.data() + 350, cfg.date);
  vt::put16(c.data() + 354 + 6, cfg.ccdu_store);  // CCDU
  put_text(c, 446, cfg.node.substr(0, 4));       // CCD_node
  c[506] = cfg.sbi0;
  vt::put32(c.data() + 518, msecm);  // CCD_msecm
  vt::put32(c.data() + 530, lcomm);  // CCD_loadable_comm
  b_.put_system(at, c);
  b_.add_kernel_symbol("OMKCCOMD", le32_bytes(at));
  return at;
}

void KernelBuilder::tcomd(const TcomdSpec& cfg) {
  Bytes t(1070, 0);
  unsigned char* m = t.data() + 150;  // TCD_mreg, a tmcpc
  m[1] = cfg.vec;
  const uint16_t regs[] = {cfg.ax, cfg.cx, cfg.dx, cfg.bx, cfg.sp, cfg.bp,
                           cfg.si, cfg.di, cfg.cs, cfg.ds, cfg.es, cfg.ss};
  for (size_t i = 0; i < std::size(regs); ++i) vt::put16(m + 2 + 2 * i, regs[i]);
  vt::put32(m + 50, cfg.totalmem);
  vt::put32(t.data() + 214, cfg.mfail);
  t[222] = cfg.reason;
  vt::put32(t.data() + 316, cfg.time);
  vt::put32(t.data() + 320, cfg.date);
  vt::put16(t.data() + 324 + 6, cfg.store);  // TCDU
  vt::put16(t.data() + 404, cfg.term);       // TCD_head
  vt::put16(t.data() + 404 + 101, cfg.mod2);
  if (b_.marra()) {
    b_.put_phys(1024, t);
  } else {
    uint32_t at = b_.alloc_system(1070);
    b_.put_system(at, t);
    b_.add_kernel_symbol("OMKTCOMD", le32_bytes(at));
  }
}

uint32_t KernelBuilder::cmdenv(const std::string& filename) {
  Bytes e(2 + filename.size() + 1, 0);
  put_text(e, 2, filename);
  uint32_t at = b_.alloc_system(static_cast<uint32_t>(e.size()));
  b_.put_system(at, e);
  return at;
}

uint32_t KernelBuilder::md_chain(const std::vector<MdSpec>& chain) {
  std::vector<uint32_t> at;
  for (size_t i = 0; i < chain.size(); ++i) at.push_back(b_.alloc_system(32));
  for (size_t i = 0; i < chain.size(); ++i) {
    Bytes d(32, 0);
    vt::put32(d.data() + 0, i + 1 < chain.size() ? at[i + 1] : 0);  // m_link
    vt::put32(d.data() + 4, chain[i].start);
    vt::put32(d.data() + 8, chain[i].length);
    vt::put32(d.data() + 12, chain[i].lbase);
    vt::put16(d.data() + 24, chain[i].flags);
    b_.put_system(at[i], d);
  }
  return at.empty() ? 0 : at.front();
}

uint32_t KernelBuilder::regsav386(const Regs& r) {
  const uint32_t v[] = {r.ip, r.flags, r.ax, r.cx, r.dx, r.bx, r.sp, r.bp, r.si,
                        r.di, r.es,    r.cs, r.ss, r.ds, r.fs, r.gs, r.errcode};
  Bytes d(100, 0);
  for (size_t i = 0; i < std::size(v); ++i) vt::put32(d.data() + 4 * i, v[i]);
  uint32_t at = b_.alloc_system(100);
  b_.put_system(at, d);
  return at;
}

uint32_t KernelBuilder::regsav286(const Regs& r) {
  const uint32_t v[] = {r.ip, r.flags, r.ax, r.cx, r.dx, r.bx, r.sp, r.bp,
                        r.si, r.di,    r.es, r.cs, r.ss, r.ds, r.errcode};
  Bytes d(30, 0);
  for (size_t i = 0; i < std::size(v); ++i) vt::put16(d.data() + 2 * i, static_cast<uint16_t>(v[i]));
  uint32_t at = b_.alloc_system(30);
  b_.put_system(at, d);
  return at;
}

uint32_t KernelBuilder::uda(uint16_t ss, uint16_t sp) {
  Bytes u(18, 0);
  vt::put16(u.data() + 12, sp);
  vt::put16(u.data() + 16, ss);
  uint32_t at = b_.alloc_system(18);
  b_.put_system(at, u);
  return at;
}

ProcSpec KernelBuilder::for_process(int proc) const {
  ProcSpec p;
  p.ldt = b_.ldt_addr(proc);
  if (b_.paged())
    p.cr3 = b_.cr3(proc);
  else if (b_.el())
    p.cr3 = 0x1000u * static_cast<uint32_t>(proc + 1);  // a 32-bit kernel: never 0
  return p;
}

Bytes KernelBuilder::pd_bytes(const ProcSpec& cfg) {
  Bytes d(248, 0);
  vt::put32(d.data() + 8, cfg.regsav);
  vt::put32(d.data() + 12, cfg.uda);
  std::string name = cfg.name.substr(0, 10);
  name.resize(10, ' ');
  put_text(d, 16, name);
  d[26] = cfg.stat;
  d[27] = cfg.prior;
  vt::put16(d.data() + 28, cfg.flag);
  vt::put32(d.data() + 32, cfg.evbits);
  vt::put32(d.data() + 88, cfg.pid);
  vt::put32(d.data() + 156, cfg.cmdenv);
  vt::put32(d.data() + 164, cfg.srtl);
  vt::put32(d.data() + 168, cfg.ldt);
  for (int i = 0; i < 4; ++i) vt::put32(d.data() + 176 + 4 * i, cfg.mem[i]);
  vt::put32(d.data() + 216, cfg.cr3);
  return d;
}

uint32_t KernelBuilder::add_pd(const ProcSpec& cfg) {
  uint32_t at = b_.alloc_system(248);
  b_.put_system(at, pd_bytes(cfg));
  if (pds_.empty())
    b_.add_kernel_symbol("thrdrt", le32_bytes(at));
  else
    set_thread(pds_.back(), at);
  pds_.push_back(at);
  return at;
}

void KernelBuilder::set_current(uint32_t pd) {
  if (rlr_at_ == 0)
    rlr_at_ = b_.add_kernel_symbol("rlr", le32_bytes(pd));
  else
    b_.put_phys32(rlr_at_, pd);
}

}  // namespace testkit
