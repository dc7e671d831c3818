#include "testkit/demo_svc.h"

#include <algorithm>

#include "common/console.h"
#include "common/le.h"
#include "testkit/svcbuilder.h"

// The descriptions name only the fields that matter; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace testkit {

namespace {

// The application's data for its blocked READ (0x4000-0x4FFF is this
// section's).
constexpr uint16_t kReadPblkAt = 0x4000;
constexpr uint16_t kSupervisorCall = 0x0100;  // p_flag
constexpr int kSvcSlots = 64;
constexpr uint16_t kPerTable = 256;  // file-number entries per table

uint32_t le32_at(const DumpBuilder& b, uint32_t off) {
  Bytes v = b.get_phys(off, 4);
  return vt::le32(v.data());
}

}  // namespace

void add_demo_svc(DumpBuilder& b, KernelBuilder& k, const DemoSpec& cfg, const DemoDump& d,
                  const std::vector<uint32_t>& pipes) {
  const uint32_t pd_off = b.system_dump_offset(d.appl_pd);
  const uint32_t pid = le32_at(b, pd_off + 88);
  const uint16_t flag = static_cast<uint16_t>(le32_at(b, pd_off + 28) & 0xFFFF);
  b.put_phys16(pd_off + 28, flag | kSupervisorCall);

  // The SVC trace, full: the processes in turn, the application's last a READ.
  const std::vector<uint32_t>& pds = k.pds();
  static constexpr uint16_t kCalls[] = {7, 8, 28, 24, 5, 6, 2, 0, 9, 35};
  std::vector<SvcEntry> trace;
  const uint32_t start = 14 * 3600000u + 31 * 60000u;
  for (int i = 0; i < kSvcSlots; ++i) {
    uint32_t pd = pds[size_t(i) % pds.size()];
    uint16_t func = kCalls[size_t(i) % std::size(kCalls)];
    trace.push_back({pd, func, start + uint32_t(i) * 937});
  }
  // The newest slot is the one before `next`; the application's call goes there.
  const size_t next = 23;
  trace[next - 1] = {d.appl_pd, 7, start + uint32_t(kSvcSlots) * 937};
  SvcBuilder svc(b);
  svc.svc_trace(trace, kSvcSlots, next);

  // The open files: the application's journal (its blocked READ), its
  // pipes, a console, a printer, a remote file, then disk files of the
  // other processes up to cfg.files.
  const int files = std::max(cfg.files, 6);
  const uint16_t tables = static_cast<uint16_t>((files + kPerTable - 1) / kPerTable + 1);
  svc.file_tables(tables, kPerTable, 8);
  const uint16_t apid = static_cast<uint16_t>(pid);
  int n = 0;
  auto slot = [&](FileSpec f) {
    f.table = n / kPerTable;
    f.entry = n % kPerTable;
    f.unique = static_cast<uint16_t>(0x0100 + n);
    ++n;
    svc.add_file(f);
    return uint32_t{f.unique} << 16 | uint32_t(f.table) << 8 | uint32_t(f.entry);
  };
  const uint32_t journal =
      slot({.mod = 2, .name = "C:/ADX_UDT1/EJOURNAL.DAT", .rpid = apid, .rfid = 0x7FE0});
  for (size_t i = 0; i < pipes.size() && i < 3; ++i) slot({.mod = 1, .pipe = pipes[i], .rpid = apid, .rfid = 0x7FE2});
  slot({.mod = 3, .fnt_rpid = pid});
  slot({.mod = 7, .name = "PRINTER:CR", .fnt_rpid = pid});
  slot({.olist = true, .name = "ADXLXACN::C:/ADX_UDT1/PRICE.DAT", .rnid = 2, .rpid = 0x0031, .rfid = 0x7FE1});
  for (int i = n; i < files; ++i)
    slot({.mod = 2, .name = vt::format("C:/ADX_UDT1/F%05d.DAT", i), .rpid = static_cast<uint16_t>(1 + i % 5),
          .rfid = 0x7FE0});

  // Blocked in the READ: the return address, then the SVC's arguments.
  Bytes frame(4, 0);
  for (unsigned char c : le16_bytes(d.code)) frame.push_back(c);
  for (unsigned char c : le16_bytes(7)) frame.push_back(c);
  for (unsigned char c : le32_bytes(uint32_t{d.data} << 16 | kReadPblkAt)) frame.push_back(c);
  for (unsigned char c : le32_bytes(0)) frame.push_back(c);
  b.put(d.appl_proc, uint32_t{d.stack} << 16 | 0x1F80, frame);
  Bytes pblk(20, 0);
  vt::put32(pblk.data() + 8, journal);
  b.put(d.appl_proc, uint32_t{d.data} << 16 | kReadPblkAt, pblk);

  // The file system's last operations.
  std::vector<FsOp> ops;
  const int32_t t0 = static_cast<int32_t>(start);
  ops.push_back({.func = 6, .rc = 0, .rpid = pid, .time = t0, .name = "EJOURNAL.DAT"});
  ops.push_back({.func = 8, .rc = 64, .rpid = pid, .time = t0 + 1200, .name = "EJOURNAL.DAT", .offset = 0x0400,
                 .data = "TRANS 0042 TOTAL"});
  ops.push_back({.func = 9, .rc = 32, .rpid = 3, .time = t0 + 2100, .name = "F00007.DAT", .offset = 0x1000,
                 .data = std::string("\x01\x02LOG ENTRY\r\n\0\0\0", 16)});
  ops.push_back({.func = 5, .rc = -2, .rpid = 0x31, .rnid = 2, .time = t0 + 2500, .name = "PRICE.DAT"});
  ops.push_back({.func = 8, .rc = 0, .rpid = pid, .time = t0 + 3000, .name = "EJOURNAL.DAT", .offset = 0x0440});
  svc.fs_trace(ops, ops.size());
}

}  // namespace testkit
