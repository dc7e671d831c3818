#include "testkit/svcbuilder.h"

#include <algorithm>
#include <stdexcept>

#include "common/le.h"

namespace testkit {

namespace {

constexpr uint32_t kTrc = 16;
constexpr uint32_t kFnumt = 16;
constexpr uint32_t kBlock = 252;
constexpr uint32_t kOlist = 586;
constexpr uint32_t kFsfccomd = 154;
constexpr uint32_t kFstr = 80;
constexpr uint32_t kFsSlots = 200;

void put_text(Bytes& r, size_t at, const std::string& text, size_t max) {
  for (size_t i = 0; i < text.size() && i < max && at + i < r.size(); ++i) r[at + i] = static_cast<unsigned char>(text[i]);
}

}  // namespace

void SvcBuilder::svc_trace(const std::vector<SvcEntry>& entries, size_t slots, size_t next) {
  Bytes table(std::max<size_t>(slots, 1) * kTrc, 0);
  for (size_t i = 0; i < entries.size() && i < slots; ++i) {
    unsigned char* p = table.data() + i * kTrc;
    vt::put16(p, entries[i].type);
    vt::put32(p + 2, entries[i].pd);
    vt::put32(p + 10, entries[i].stuff);
    vt::put16(p + 14, entries[i].func);
  }
  table_off_ = b_.add_kernel_symbol("act_table", table);
  // act_last names the last entry of the table.
  b_.add_bsx_record("act_last", (table_off_ + (table.size() - kTrc) - b_.kernel_offset()) & 0xFFFF0000u,
                    static_cast<uint16_t>((table_off_ + (table.size() - kTrc) - b_.kernel_offset()) & 0xFFFF));
  next_off_ = b_.add_kernel_symbol("act_next", le16_bytes(svc_next_value(next)));
}

uint16_t SvcBuilder::svc_next_value(size_t slot) const {
  return static_cast<uint16_t>(table_off_ + slot * kTrc - b_.gdt_desc_offset());
}

void SvcBuilder::set_svc_next(uint16_t raw) { b_.put_phys16(next_off_, raw); }

void SvcBuilder::file_tables(uint16_t tables, uint16_t allotment, uint16_t shift) {
  allotment_ = allotment;
  tables_.assign(tables, 0);
  fn_tab_off_ = b_.add_kernel_symbol("fn_tab", Bytes(size_t{tables} * 4, 0));
  b_.add_kernel_symbol("fn_table", le16_bytes(tables));
  b_.add_kernel_symbol("fn_allotment", le16_bytes(allotment));
  b_.add_kernel_symbol("fn_shifttabl", le16_bytes(shift));
  b_.add_kernel_symbol("fn_mtables", le16_bytes(tables));
}

uint32_t SvcBuilder::add_file(const FileSpec& f) {
  if (f.table < 0 || size_t(f.table) >= tables_.size() || f.entry < 0 || f.entry >= allotment_)
    throw std::runtime_error("no such file-number entry");
  uint32_t& table = tables_[size_t(f.table)];
  if (table == 0) {
    table = b_.alloc_system(uint32_t{allotment_} * kFnumt);
    b_.put_phys32(fn_tab_off_ + 4 * uint32_t(f.table), table);
  }
  uint32_t ctrl = 0;
  if (f.olist) {
    Bytes o(kOlist, 0);
    vt::put16(o.data() + 16, f.rnid);
    vt::put16(o.data() + 18, f.rfid);
    vt::put32(o.data() + 20, f.rpid);
    vt::put16(o.data() + 30, f.device ? 0x8000 : 0);
    put_text(o, 40, f.name, kOlist - 41);
    ctrl = b_.alloc_system(kOlist);
    b_.put_system(ctrl, o);
  } else {
    Bytes blk(kBlock, 0);
    switch (f.mod) {
      case 2:  // a disk file
        vt::put16(blk.data() + 24, f.rnid);
        vt::put16(blk.data() + 26, f.rfid);
        vt::put32(blk.data() + 28, f.rpid);
        put_text(blk, 124, f.name, kBlock - 125);
        break;
      case 1:  // a pipe
        vt::put32(blk.data() + 4, f.pipe);
        vt::put16(blk.data() + 8, f.rnid);
        vt::put16(blk.data() + 10, f.rfid);
        vt::put16(blk.data() + 12, f.rpid);
        break;
      case 7: {  // misc: the name 6 bytes into the record named at 4
        Bytes rec(6 + 40, 0);
        put_text(rec, 6, f.name, 40);
        uint32_t at = b_.alloc_system(static_cast<uint32_t>(rec.size()));
        b_.put_system(at, rec);
        vt::put32(blk.data() + 4, at);
        break;
      }
      case 6: {  // network
        Bytes name(40, 0);
        put_text(name, 0, f.name, 40);
        uint32_t at = b_.alloc_system(40);
        b_.put_system(at, name);
        vt::put32(blk.data() + 56, at);
        vt::put16(blk.data() + 68, f.rnid);
        vt::put16(blk.data() + 70, f.rfid);
        vt::put32(blk.data() + 72, f.rpid);
        break;
      }
      default:
        break;
    }
    ctrl = b_.alloc_system(kBlock);
    b_.put_system(ctrl, blk);
  }
  Bytes e(kFnumt, 0);
  vt::put16(e.data(), f.unique);
  e[2] = static_cast<unsigned char>(f.table);
  e[3] = static_cast<unsigned char>(f.entry);
  vt::put32(e.data() + 4, ctrl);
  e[8] = f.mod;
  e[9] = f.olist ? 0x40 : 0;
  vt::put16(e.data() + 10, f.fnt_rnid);
  vt::put32(e.data() + 12, f.fnt_rpid);
  uint32_t at = table + uint32_t(f.entry) * kFnumt;
  b_.put_system(at, e);
  return at;
}

void SvcBuilder::alias_table(int t, int other) {
  tables_.at(size_t(t)) = tables_.at(size_t(other));
  b_.put_phys32(fn_tab_off_ + 4 * uint32_t(t), tables_[size_t(t)]);
}

void SvcBuilder::fs_trace(const std::vector<FsOp>& ops, size_t next) {
  fstrace_ = b_.alloc_system(kFstr * kFsSlots);
  Bytes trace(kFstr * kFsSlots, 0);
  for (size_t i = 0; i < ops.size() && i < kFsSlots; ++i) {
    unsigned char* p = trace.data() + i * kFstr;
    const FsOp& op = ops[i];
    vt::put16(p, op.func);
    vt::put32(p + 2, static_cast<uint32_t>(op.rc));
    vt::put32(p + 6, op.rpid);
    vt::put16(p + 10, op.rnid);
    vt::put32(p + 12, static_cast<uint32_t>(op.time));
    for (size_t c = 0; c < 16; ++c) p[16 + c] = c < op.name.size() ? static_cast<unsigned char>(op.name[c]) : 0xEE;
    vt::put32(p + 52, op.offset);
    for (size_t c = 0; c < 16 && c < op.data.size(); ++c) p[64 + c] = static_cast<unsigned char>(op.data[c]);
  }
  b_.put_system(fstrace_, trace);
  Bytes com(kFsfccomd, 0);
  vt::put32(com.data() + 146, fstrace_);
  vt::put32(com.data() + 150, fstrace_ + static_cast<uint32_t>(next) * kFstr);
  fsfccomd_off_ = b_.add_kernel_symbol("FSFCCOMD", com);
}

void SvcBuilder::set_fs_tptr(uint32_t tptr) { b_.put_phys32(fsfccomd_off_ + 150, tptr); }

}  // namespace testkit
