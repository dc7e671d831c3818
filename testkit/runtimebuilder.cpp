#include "testkit/runtimebuilder.h"

#include <algorithm>
#include <functional>
#include <string>
#include <utility>

#include "common/le.h"

namespace testkit {

namespace {

Bytes record(int level, const std::string& date, size_t date_at, size_t date_len) {
  std::string head = "CBRT" + std::to_string(level);
  Bytes r(date_at + date_len + 1, ' ');
  std::copy(head.begin(), head.end(), r.begin());
  for (size_t i = 0; i < date_len; ++i) r[date_at + i] = i < date.size() ? static_cast<unsigned char>(date[i]) : ' ';
  r.back() = 0;
  return r;
}

}  // namespace

Bytes version_record(int level, const std::string& date) { return record(level, date, 21, 8); }
Bytes shared_version_record(int level, const std::string& date) { return record(level, date, 18, 9); }

}  // namespace testkit


namespace testkit {

RuntimeSession runtime_session(int number, const std::string& name, uint32_t fnum, uint8_t devnum, uint16_t buffsize,
                               Bytes buffer) {
  RuntimeSession s;
  s.number = number;
  s.name = name;
  s.fnum = fnum;
  s.devnum = devnum;
  s.buffsize = buffsize;
  s.buffer = std::move(buffer);
  return s;
}

namespace {

// A session's fileinfo record, name and buffer, each at the next free place
// `take` gives; returns the record's address.
uint32_t place_session(DumpBuilder& b, int proc, const RuntimeSession& s, const std::function<uint32_t(uint32_t)>& take) {
  const uint32_t fi = take(64);
  const uint32_t name = take(static_cast<uint32_t>(s.name.size()) + 1);
  Bytes nb(s.name.begin(), s.name.end());
  nb.push_back(0);
  b.put(proc, name, nb);
  const uint32_t buf = s.buffsize > 0 ? take(s.buffsize) : 0;
  if (buf != 0) {
    Bytes bb(s.buffsize, 0);
    std::copy_n(s.buffer.begin(), std::min(s.buffer.size(), bb.size()), bb.begin());
    b.put(proc, buf, bb);
  }
  Bytes f(64, 0);
  vt::put32(f.data(), s.fnum);
  vt::put32(f.data() + 4, name);
  vt::put32(f.data() + 8, s.buffer_ptr != 0 ? s.buffer_ptr : buf);
  vt::put16(f.data() + 30, s.buffsize);
  f[41] = s.devnum;
  b.put(proc, fi, f);
  return fi;
}

}  // namespace

void add_terminal_runtime(DumpBuilder& b, int proc, uint16_t data, const TerminalRuntimeSpec& sp) {
  const uint32_t ds = uint32_t{data} << 16;
  // The error history.
  Bytes al(6 + 366, 0);
  std::copy_n("net==>", 6, al.begin());
  unsigned char* h = al.data() + 6;
  vt::put16(h, static_cast<uint16_t>(sp.arnnet));
  std::copy_n("*errs*", 6, h + 2);
  vt::put16(h + 8, static_cast<uint16_t>(sp.next));
  for (size_t i = 0; i < 16; ++i) {
    const RingError& e = sp.ring[i];
    unsigned char* r = h + 10 + 16 * i;
    r[0] = static_cast<unsigned char>(e.code.size() > 0 ? e.code[0] : ' ');
    r[1] = static_cast<unsigned char>(e.code.size() > 1 ? e.code[1] : ' ');
    r[3] = e.repeat;
    vt::put32(r + 4, e.errnum);
    for (size_t j = 0; j < 4; ++j) r[8 + j] = static_cast<unsigned char>(j < e.date.size() ? e.date[j] : '0');
    if (sp.level < 50)
      for (size_t j = 0; j < 4; ++j) r[12 + j] = static_cast<unsigned char>(j < e.time.size() ? e.time[j] : '0');
    else
      vt::put32(r + 12, e.msec);
    h[274 + 2 * i] = e.session;
  }
  vt::put16(h + 316, sp.unresumed_count);
  for (size_t i = 0; i < sp.unresumed.size() && i < 3; ++i) {
    const UnresumedError& u = sp.unresumed[i];
    unsigned char* r = h + 318 + 16 * i;
    r[0] = static_cast<unsigned char>(u.code.size() > 0 ? u.code[0] : ' ');
    r[1] = static_cast<unsigned char>(u.code.size() > 1 ? u.code[1] : ' ');
    r[2] = u.session;
    vt::put32(r + 4, u.errnum);
    vt::put32(r + 8, u.on_error);
    vt::put32(r + 12, u.msec);
  }
  b.put(proc, ds | sp.net_at, al);

  // Sessions: fileinfo, name and buffer in the spare area.
  const bool two = sp.level >= 48;
  Bytes crt(two ? 1487 : 1467, 0);
  std::copy_n("CRTDATA", 7, crt.begin());
  uint32_t spare = sp.spare_at;
  auto take = [&](uint32_t n) {
    uint32_t at = spare;
    spare += (n + 15) & ~15u;
    return ds | at;
  };
  Bytes rt(317, 0);
  std::copy_n("RTDATA", 7, rt.begin());
  for (const RuntimeSession& s : sp.sessions) {
    const size_t i = static_cast<size_t>(s.number);
    vt::put32(crt.data() + 16 + 4 * i, s.ifend);
    const uint32_t fi = place_session(b, proc, s, take);
    vt::put32(crt.data() + 868 + 4 * i, s.pointer != 0 ? s.pointer : fi);
    const size_t sp_at = (sp.new_layout ? 105 : 103) + 2 * i;
    if (sp_at + 2 <= rt.size()) vt::put16(rt.data() + sp_at, s.ifend_sp);
  }
  vt::put16(crt.data() + 440, static_cast<uint16_t>(sp.last_session));
  vt::put16(crt.data() + 443, static_cast<uint16_t>(sp.accessing));
  vt::put32(crt.data() + 445, sp.async_routine);
  vt::put16(crt.data() + 841, static_cast<uint16_t>(sp.swi_count));
  vt::put16(crt.data() + 864, static_cast<uint16_t>(sp.event));
  vt::put16(crt.data() + (two ? 1483 : 1463), static_cast<uint16_t>(sp.pelton));

  // The saved-error chain, newest first.
  std::vector<uint32_t> blocks;
  for (size_t i = 0; i < sp.saved.size(); ++i) blocks.push_back(take(725));
  const size_t low = sp.level < 40 ? 4 : 0;
  for (size_t i = 0; i < blocks.size(); ++i) {
    Bytes blk(725, 0);
    uint32_t next = i + 1 < blocks.size() ? blocks[i + 1] : sp.loop_saved ? blocks[0] : 0;
    vt::put32(blk.data() + 400, next);
    unsigned char* r = blk.data() + 408 - low;
    const SavedError& e = sp.saved[i];
    vt::put16(r + 85, e.savesp1);
    r[89] = static_cast<unsigned char>(e.errc.size() > 1 ? e.errc[1] : ' ');
    r[90] = static_cast<unsigned char>(e.errc.size() > 0 ? e.errc[0] : ' ');
    vt::put32(r + 91, e.errn);
    vt::put16(r + 95, static_cast<uint16_t>(e.errio));
    b.put(proc, blocks[i], blk);
  }
  vt::put32(crt.data() + 836, blocks.empty() ? 0 : blocks[0]);
  b.put(proc, ds | sp.crt_at, crt);

  // The registers.
  if (sp.new_layout) {
    vt::put32(rt.data() + 97, sp.on_error);
    vt::put16(rt.data() + 87, static_cast<uint16_t>(sp.elnum));
    vt::put16(rt.data() + 103, static_cast<uint16_t>(sp.debug_line));
  } else {
    vt::put16(rt.data() + 95, static_cast<uint16_t>(sp.on_error & 0xFFFF));
    vt::put16(rt.data() + 97, static_cast<uint16_t>(sp.on_error >> 16));
    vt::put16(rt.data() + 85, static_cast<uint16_t>(sp.elnum));
    vt::put16(rt.data() + 101, static_cast<uint16_t>(sp.debug_line));
  }
  b.put(proc, ds | sp.rtdata_at, rt);
}

void put_swi_trace(DumpBuilder& b, int proc, uint16_t data, uint16_t at, const std::vector<uint32_t>& events) {
  Bytes t(128, 0);
  vt::put32(t.data(), 0x3E744544u);
  vt::put32(t.data() + 124, 0x7445443Cu);
  for (size_t i = 0; i < events.size() && i < 30; ++i) vt::put32(t.data() + 4 + 4 * i, events[i]);
  b.put(proc, uint32_t{data} << 16 | at, t);
}

namespace {

// The controller registers' error fields (errc high character first).
void put_controller_error(unsigned char* r, const SavedError& e) {
  vt::put16(r + 0x4F, e.savesp1);
  r[0x53] = static_cast<unsigned char>(e.errc.size() > 1 ? e.errc[1] : ' ');
  r[0x54] = static_cast<unsigned char>(e.errc.size() > 0 ? e.errc[0] : ' ');
  vt::put32(r + 0x55, e.errn);
  vt::put16(r + 0x59, static_cast<uint16_t>(e.errio));
}

}  // namespace

void add_controller_runtime(DumpBuilder& b, int proc, uint16_t data, const ControllerRuntimeSpec& sp) {
  const uint32_t ds = uint32_t{data} << 16;
  static const char kMarker[] = "??? Runtime Error ";
  b.put(proc, ds | sp.marker_at, Bytes(kMarker, kMarker + 18));
  uint32_t spare = sp.spare_at;
  auto take = [&](uint32_t n) {
    uint32_t at = spare;
    spare += (n + 15) & ~15u;
    return ds | at;
  };
  Bytes crt(1255, 0);
  vt::put32(crt.data() + 0x20, 1);  // the block is valid
  vt::put32(crt.data() + 0x18, ds | sp.table_at);
  for (const RuntimeSession& s : sp.sessions) {
    const uint32_t fi = place_session(b, proc, s, take);
    b.put(proc, (ds | sp.table_at) + 4 * static_cast<uint32_t>(s.number), le32_bytes(s.pointer != 0 ? s.pointer : fi));
  }
  vt::put16(crt.data() + 0x11A, static_cast<uint16_t>(sp.last_session));
  vt::put16(crt.data() + 0x11D, sp.referencing ? 1 : 0);
  vt::put32(crt.data() + 0x11F, sp.async_routine);
  vt::put16(crt.data() + 0x2F4, static_cast<uint16_t>(sp.swi_count));

  // The saved-error chain: each block the saved part of the data block
  // (its link where the data block keeps the latest) and the registers'
  // first 91 bytes.
  constexpr size_t kSavedAt = 0x116, kSavedLen = 477, kLink = 0x2EF;
  std::vector<uint32_t> blocks;
  for (size_t i = 0; i < sp.saved.size(); ++i) blocks.push_back(take(kSavedLen + 91));
  for (size_t i = 0; i < blocks.size(); ++i) {
    Bytes blk(kSavedLen + 91, 0);
    vt::put32(blk.data() + (kLink - kSavedAt), i + 1 < blocks.size() ? blocks[i + 1] : 0);
    put_controller_error(blk.data() + kSavedLen, sp.saved[i]);
    b.put(proc, blocks[i], blk);
  }
  vt::put32(crt.data() + kLink, blocks.empty() ? 0 : blocks[0]);
  b.put(proc, ds | sp.crt_at, crt);

  Bytes rt(229, 0);
  vt::put16(rt.data(), 0x005B);
  vt::put16(rt.data() + 2, 0x00E7);
  put_controller_error(rt.data(), sp.latest);
  vt::put32(rt.data() + 0x5B, sp.on_error);
  vt::put16(rt.data() + 0x61, static_cast<uint16_t>(sp.debug_line));
  b.put(proc, ds | sp.rtdata_at, rt);
}

}  // namespace testkit

