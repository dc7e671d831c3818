#include "testkit/devicebuilder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "common/le.h"

namespace testkit {

namespace {

constexpr uint32_t kDle = 44;
constexpr uint32_t kVcon = 278;  // up to the screen buffer's address
constexpr uint32_t kPipe = 60;

void put_text(Bytes& rec, size_t at, const std::string& text, size_t max) {
  std::copy_n(text.begin(), std::min(text.size(), max), rec.begin() + static_cast<long>(at));
}

void put_bytes(Bytes& rec, size_t at, const Bytes& data, size_t max) {
  std::copy_n(data.begin(), std::min(data.size(), max), rec.begin() + static_cast<long>(at));
}

}  // namespace

uint32_t DeviceBuilder::add_driver(const std::string& name, uint32_t ctrl1, uint32_t lpb) {
  Bytes d(kDle, 0);
  put_text(d, 6, name, 10);
  vt::put32(d.data() + 32, ctrl1);
  vt::put32(d.data() + 40, lpb);
  uint32_t at = b_.alloc_system(kDle);
  b_.put_system(at, d);
  if (drivers_.empty())
    b_.add_kernel_symbol("dvrlst", le32_bytes(at));
  else
    set_next(drivers_.back(), at);
  drivers_.push_back(at);
  return at;
}

uint32_t DeviceBuilder::vcon(const ScreenSpec& screen) {
  size_t cells = size_t{screen.columns} * screen.rows;
  Bytes buf(2 * cells, 0);
  for (size_t c = 0; c < cells; ++c) {
    size_t row = c / screen.columns, col = c % screen.columns;
    char ch = row < screen.lines.size() && col < screen.lines[row].size() ? screen.lines[row][col] : ' ';
    buf[2 * c] = static_cast<unsigned char>(ch);
    buf[2 * c + 1] = screen.attribute;
  }
  uint32_t at = b_.alloc_system(kVcon);
  uint32_t buffer = buf.empty() ? 0 : b_.alloc_system(static_cast<uint32_t>(buf.size()));
  if (buffer != 0) b_.put_system(buffer, buf);
  Bytes v(kVcon, 0);
  vt::put16(v.data() + 32, screen.columns);
  vt::put16(v.data() + 34, screen.rows);
  vt::put32(v.data() + 274, buffer);
  b_.put_system(at, v);
  return at;
}

void DeviceBuilder::link_tree(const std::vector<VconSpec>& nodes, uint32_t parent, std::vector<uint32_t>& order) {
  std::vector<uint32_t> at;
  std::vector<std::vector<uint32_t>> below(nodes.size());
  for (size_t i = 0; i < nodes.size(); ++i) {
    at.push_back(vcon(nodes[i].screen));
    order.push_back(at.back());
    link_tree(nodes[i].children, at.back(), order);
  }
  for (size_t i = 0; i < nodes.size(); ++i) {
    uint32_t first_child = 0;
    // The first child follows its parent directly in tree order.
    if (!nodes[i].children.empty()) first_child = *(std::find(order.begin(), order.end(), at[i]) + 1);
    set_links(at[i], parent, first_child, i + 1 < nodes.size() ? at[i + 1] : 0);
  }
}

std::vector<uint32_t> DeviceBuilder::add_console(const std::string& driver, const std::vector<VconSpec>& roots) {
  std::vector<uint32_t> order;
  link_tree(roots, 0, order);
  Bytes c(60, 0);
  vt::put32(c.data() + 4, order.empty() ? 0 : order.front());  // c_vcid
  uint32_t blk = b_.alloc_system(60);
  b_.put_system(blk, c);
  add_driver(driver, blk);
  return order;
}

void DeviceBuilder::set_links(uint32_t vcon, uint32_t parent, uint32_t child, uint32_t order) {
  Bytes l(12, 0);
  vt::put32(l.data() + 0, parent);
  vt::put32(l.data() + 4, child);
  vt::put32(l.data() + 8, order);
  b_.put_system(vcon, l);
}

void DeviceBuilder::set_size(uint32_t vcon, uint16_t columns, uint16_t rows) {
  Bytes w(4, 0);
  vt::put16(w.data(), columns);
  vt::put16(w.data() + 2, rows);
  b_.put_system(vcon + 32, w);
}

std::vector<uint32_t> DeviceBuilder::add_pipes(const std::vector<PipeSpec>& pipes) {
  std::vector<uint32_t> at;
  for (size_t i = 0; i < pipes.size(); ++i) at.push_back(b_.alloc_system(kPipe));
  for (size_t i = 0; i < pipes.size(); ++i) {
    const PipeSpec& p = pipes[i];
    Bytes r(kPipe, 0);
    vt::put32(r.data() + 0, i + 1 < pipes.size() ? at[i + 1] : 0);
    put_text(r, 4, p.name, 10);
    vt::put16(r.data() + 14, p.bufsiz);
    r[20] = p.user;
    vt::put16(r.data() + 22, p.semaphore ? 0x0008 : 0);
    if (!p.semaphore && p.bufsiz > 0) {
      Bytes buf(p.bufsiz, 0);
      put_bytes(buf, 0, p.data, buf.size());
      uint32_t buffer = b_.alloc_system(p.bufsiz);
      b_.put_system(buffer, buf);
      vt::put32(r.data() + 28, buffer);
    }
    vt::put16(r.data() + 44, p.front);
    vt::put16(r.data() + 46, p.cnt);
    vt::put32(r.data() + 52, p.owner);
    b_.put_system(at[i], r);
  }
  Bytes dle(kDle, 0);
  put_text(dle, 6, "PIPE", 10);
  vt::put32(dle.data() + 32, at.empty() ? 0 : at.front());
  b_.add_kernel_symbol("pipedle", dle);
  return at;
}

SerialInstance DeviceBuilder::add_serial(const SerialSpec& cfg) {
  SerialInstance inst;
  // The driver's data is addressed by dump offset from its start, so it
  // must lie in one page: the area is taken page-aligned.
  uint32_t area = b_.alloc_system(0x2000);
  uint32_t data = (area & 0xFFFF0000u) | (((area & 0xFFFF) + 0xFFF) & ~0xFFFu);
  Bytes d(kTraceAt + 512 + 14, 0);
  for (const SerialUnit& u : cfg.units) {
    if (u.unit < 0 || u.unit > 7) throw std::runtime_error("a serial unit is 0 to 7");
    Bytes unit(0x11D + 287, 0);
    put_bytes(unit, 0, u.channel, 257);
    put_bytes(unit, 0x11D, u.received, 246);
    unsigned char* r = unit.data() + 0x11D;
    vt::put16(r + 262, static_cast<uint16_t>(u.read_size));
    vt::put16(r + 264, static_cast<uint16_t>(u.write_size));
    vt::put16(r + 266, static_cast<uint16_t>(u.opened));
    vt::put32(r + 270, u.return_error);
    vt::put16(r + 276, static_cast<uint16_t>(u.read_in_progress));
    vt::put16(r + 278, static_cast<uint16_t>(u.wait_in_progress));
    uint32_t at = b_.alloc_system(static_cast<uint32_t>(unit.size()));
    b_.put_system(at, unit);
    inst.unit[u.unit] = at;
    vt::put32(d.data() + kPirsdcomAt + 4 * u.unit, at);
    vt::put32(d.data() + kPir1dcomAt + 4 * u.unit, u.pir1dcom);
  }
  if (cfg.trace.size() > 32) throw std::runtime_error("the trace ring has 32 slots");
  for (size_t i = 0; i < cfg.trace.size(); ++i) {
    const TraceEvent& e = cfg.trace[i];
    unsigned char* t = d.data() + kTraceAt + 16 * i;
    t[0] = e.port;
    t[1] = e.address;
    t[2] = e.type;
    vt::put16(t + 6, e.code);
    for (int w = 0; w < 4; ++w) vt::put16(t + 8 + 2 * w, e.data[w]);
  }
  vt::put16(d.data() + kTraceAt + 512 + 12, static_cast<uint16_t>(cfg.index));
  b_.put_system(data, d);
  inst.data = data;
  inst.lpb = b_.alloc_system(16);
  b_.put_system32(inst.lpb + 12, data);
  inst.entry = add_driver(cfg.name, 0, inst.lpb);
  return inst;
}

Bytes DeviceBuilder::serial_bsx(bool with_time) {
  Bytes out(122, 0);
  const char title[] = "RS-485 driver symbols (test)";
  std::memcpy(out.data(), title, sizeof title - 1);
  auto record = [&](const char* name, uint16_t offset) {
    unsigned char rec[22] = {};
    vt::put16(rec + 0, offset);
    vt::put32(rec + 4, 0x00120000);  // the segment, which is not used
    std::memcpy(rec + 9, name, std::strlen(name));
    out.insert(out.end(), rec, rec + 22);
  };
  record("PIRSDCOM", kPirsdcomAt);
  record("PIR1DCOM", kPir1dcomAt);
  record("PIRATrc_Buf", kTraceAt);
  if (with_time) record("PIRATRtime", 0x300);
  return out;
}

}  // namespace testkit
