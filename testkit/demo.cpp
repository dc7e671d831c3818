#include "testkit/demo.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>

#include "common/console.h"
#include "common/le.h"
#include "testkit/demo_svc.h"
#include "testkit/demo_trace.h"
#include "testkit/devicebuilder.h"
#include "testkit/demo_runtime.h"
#include "testkit/heapbuilder.h"
#include "testkit/demo_vars.h"
#include "testkit/symfile.h"

namespace testkit {

namespace {

// Data offset of the runtime's rtdsv, past the controller runtime's data
// block (0x232 .. 0x718).
constexpr uint16_t kDemoRtdsv = 0x0740;

struct Seg {
  int proc = 0;
  uint16_t code = 0, data = 0, stack = 0;
  uint32_t pd = 0;
};

std::string upper(std::string t) {
  for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return t;
}

// An application process with one code, data and stack segment, each the
// one descriptor of its memory chain.
Seg add_application(DumpBuilder& b, KernelBuilder& k, ProcSpec cfg, const std::string& file, const Bytes& code,
                    uint32_t code_size, uint32_t data_size, uint32_t stack_size, Regs regs, int slots = 32) {
  int proc = b.add_process(slots);
  Seg s;
  s.proc = proc;
  s.code = b.add_segment(proc, code_size, true);
  s.data = b.add_segment(proc, data_size, false);
  s.stack = b.add_segment(proc, stack_size, false);
  b.put(proc, uint32_t{s.code} << 16, code);
  ProcSpec base = k.for_process(proc);
  cfg.ldt = base.ldt;
  cfg.cr3 = base.cr3;
  cfg.cmdenv = k.cmdenv(file);
  cfg.mem[0] = k.md_chain({{code_size, uint32_t{s.code} << 16, 0, b.process_linear(s.proc, uint32_t{s.code} << 16)}});
  cfg.mem[1] = k.md_chain({{data_size, uint32_t{s.data} << 16, 0}});
  cfg.mem[3] = k.md_chain({{stack_size, uint32_t{s.stack} << 16, 0}});
  regs.cs = s.code;
  regs.ds = regs.es = s.data;
  regs.ss = s.stack;
  cfg.regsav = b.marra() ? k.regsav286(regs) : k.regsav386(regs);
  s.pd = k.add_pd(cfg);
  return s;
}

// The driver list: a display, the consoles with what their screens showed,
// the RS-485 driver; and the pipe chain.
std::vector<uint32_t> add_devices(DumpBuilder& b, const DemoSpec& cfg, const std::string& appl) {
  DeviceBuilder dev(b);
  dev.add_driver("omkpia");
  const std::string name = upper(appl);
  for (int i = 0; i < cfg.consoles; ++i) {
    VconSpec sales;
    sales.screen.lines = {"", "   VELA Store System            Terminal 021   Store 123",
                          "", "   " + name + "  Sale in progress", "", "   ITEM 000123456789      1 @    2.49",
                          "   ITEM 000987654321      2 @    1.10", "", "   SUBTOTAL                       4.69"};
    VconSpec prompt;
    prompt.screen.rows = 4;
    prompt.screen.lines = {"", "   ENTER OPERATOR ID:  ____"};
    sales.children.push_back(prompt);
    if (i == 0) {
      dev.add_console("con", {sales});
    } else {
      VconSpec status;
      status.screen.rows = 3;
      status.screen.lines = {"", vt::format("   Console %d: printer ready, cash drawer closed", i + 1)};
      dev.add_console(vt::format("con%d", i + 1), {status});
    }
  }
  SerialSpec pir;
  SerialUnit u;
  u.unit = 0;
  u.channel = {0x01, 0x00, 0x11, 0x00, 0x20, 0x08, 0x00, 0x01, 'S', 'C', 'A', 'N', ' ', '0', '0', '1'};
  u.received = {0x02, 0x10, 'O', 'K', ' ', 'R', 'E', 'A', 'D', 'Y'};
  u.read_size = 0x100;
  u.write_size = 0x20;
  u.opened = 1;
  pir.units.push_back(u);
  pir.trace = {{1, 0x21, 1, 0x4000, {0, 0, 0, 0}},        {1, 0x21, 2, 2, {0x0000, 0x0080, 0, 0}},
               {1, 0x21, 1, 1, {0x0101, 0x2000, 0, 0}},   {1, 0x21, 2, 2, {0x0000, 0x0000, 0, 0}},
               {1, 0x21, 1, 8, {0x4353, 0x4E41, 0, 0}},   {1, 0x21, 4, 0, {0, 0, 0, 0}},
               {1, 0x21, 2, 1, {0x0011, 0x0000, 0x4B4F, 0}}, {1, 0x21, 6, 1, {0, 0, 0, 0}}};
  pir.index = 0;
  dev.add_serial(pir);
  dev.add_driver("omkpidr");

  std::vector<PipeSpec> pipes;
  for (int i = 0; i < cfg.pipes; ++i) {
    PipeSpec p;
    switch (i) {
      case 0:
        p.name = "MPOSTP1";
        p.bufsiz = 128;
        p.data = {'T', 'R', 'A', 'N', 'S', ' ', '0', '0', '4', '2', ' ', 'T', 'O', 'T', 'A', 'L', ' ', '4', '.', '6', '9'};
        p.cnt = 21;
        break;
      case 1:
        p.name = "MPOSTSEM";
        p.semaphore = true;
        p.user = 0x21;
        p.owner = 0x0013;
        break;
      case 2:
        p.name = "RPOSTP1";
        p.bufsiz = 16;
        p.data = {'A', 'C', 'K', ' ', '0', '0', '4', '2', 0, 0, 0, 0, 0, 0, 'E', 'N'};
        p.cnt = 16;
        break;
      default:
        p.name = vt::format("LOGP%04d", i);
        p.bufsiz = 64;
        p.front = 12;
        break;
    }
    pipes.push_back(p);
  }
  return dev.add_pipes(pipes);
}

// Where the data segment holds the heap's roots.
constexpr uint16_t kNewHeapAt = 0x7F00;  // "NewHeap" and the control block's address
constexpr uint16_t kUsedlistAt = 0x0720;  // "_usedlist" in the demo's SYM file
constexpr uint16_t kListHeadAt = 0x0730;

// The terminal runtime's heap: three segments with items in use, free
// items on the big free list and on a homogeneous list, and one corrupt
// item; or `blocks` items spread over `segments` full 64 KB segments.
void add_terminal_heap(DumpBuilder& b, int proc, uint16_t data, int blocks, int segments) {
  HeapBuilder hb(b, proc);
  TerminalHeapSpec h;
  h.homogeneous_lists = 2;
  if (blocks == 0) {
    HeapSegment a;
    a.size = 0x400;
    a.items = {used_item(24, {'S', 'A', 'L', 'E', ' ', '0', '0', '4', '2'}), free_item(32),
               used_item(40, {'I', 'T', 'E', 'M', ' ', '0', '0', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}),
               free_item(16, 0), used_item(96)};
    HeapSegment c;
    c.size = 0x200;
    c.items = {used_item(64, {'O', 'P', 'E', 'R', 'A', 'T', 'O', 'R', ' ', '0', '7'}), corrupt_item(16, 0x4B43),
               free_item(48), free_item(16, 0)};
    HeapSegment e;
    e.size = 0x200;
    e.items = {free_item(112), used_item(8, {'T', 'O', 'T', 'A', 'L'})};
    h.segments = {a, c, e};
  } else {
    for (int s = 0; s < segments; ++s) {
      HeapSegment seg;
      seg.size = 0x10000;
      int n = blocks / segments + (s < blocks % segments ? 1 : 0);
      for (int i = 0; i + 1 < n; ++i) {  // the filler is the segment's last item
        int k = s * n + i;
        seg.items.push_back(k % 10 == 9 ? free_item(36, k % 50 == 49 ? (k / 50) % 2 : -1) : used_item(36));
      }
      h.segments.push_back(seg);
    }
  }
  TerminalHeap t = hb.add_terminal_heap(h);
  hb.put_new_heap(data, kNewHeapAt, t.hcb);
}

// The controller runtime's lists: two segments with blocks on the free-base
// ring and on the free list, one of them with a bad check word; or `blocks`
// blocks spread over `segments` full 64 KB segments.
void add_controller_heap(DumpBuilder& b, int proc, uint16_t data, int blocks, int segments) {
  HeapBuilder hb(b, proc);
  auto block = [](HeapBlock::Kind kind, uint16_t len, bool bad = false) {
    HeapBlock k;
    k.kind = kind;
    k.len = len;
    k.bad_check = bad;
    return k;
  };
  using K = HeapBlock::Kind;
  std::vector<ControllerSegment> segs;
  if (blocks == 0) {
    ControllerSegment a;
    a.size = 0x200;
    a.blocks = {block(K::Used, 40), block(K::Free, 32), block(K::Base, 64), block(K::Used, 24), block(K::Free, 120)};
    ControllerSegment c;
    c.size = 0x200;
    c.blocks = {block(K::Base, 56), block(K::Used, 16), block(K::Free, 48, true), block(K::Used, 80)};
    segs = {a, c};
  } else {
    for (int s = 0; s < segments; ++s) {
      ControllerSegment seg;
      seg.size = 0x10000;
      int n = blocks / segments + (s < blocks % segments ? 1 : 0);
      for (int i = 0; i + 1 < n; ++i) {  // the filler is the segment's last block
        int k = s * n + i;
        seg.blocks.push_back(block(k % 10 == 9 ? K::Free : k % 97 == 96 ? K::Base : K::Used, 32));
      }
      segs.push_back(seg);
    }
  }
  hb.add_controller_heap(data, kUsedlistAt, kListHeadAt, segs);
}

}  // namespace

const Bytes kTerminalBasicCode = {0x81, 0xE4, 0xFE, 0xFF, 0x8B, 0xEC, 0x9A, 0x10, 0x00, 0x0F, 0x00};
const Bytes kControllerBasicCode = {0x9A, 0x00, 0x00, 0x0F, 0x00, 0xB8, 0x01, 0x00, 0x50, 0xB8,
                                    0x02, 0x00, 0x50, 0xB8, 0x03, 0x00, 0x50, 0x90, 0x90, 0x90};

namespace {

bool terminal_variant(DumpVariant v) { return v != DumpVariant::PagedController && v != DumpVariant::ELController; }

}  // namespace

std::string demo_appl(const DemoSpec& cfg) {
  if (!cfg.appl.empty()) return cfg.appl;
  return terminal_variant(cfg.variant) ? "mpostapl" : "pvncsmll";
}

Bytes demo_code(const DemoSpec& cfg) {
  if (!cfg.code.empty()) return cfg.code;
  return terminal_variant(cfg.variant) ? kTerminalBasicCode : kControllerBasicCode;
}

DemoDump build_demo(DumpBuilder& b, KernelBuilder& k, const DemoSpec& cfg) {
  const std::string appl = demo_appl(cfg);
  const bool term = b.terminal();
  b.add_kernel_symbol("omkosver", le16_bytes(0x0104));  // version 4, release 1
  b.add_kernel_symbol("v_system", le16_bytes(4096));    // 16 Mb
  b.add_kernel_symbol("p_free", le16_bytes(1536));      // 6 Mb
  if (term) k.machine_type(0x9042);

  // The process list: system processes, the helpers and the application.
  static const char* const kSystem[] = {"kernel", "timer", "filesys", "netmgr", "loader"};
  static const char* const kHelpers[] = {"tsthand", "omkdrvr", "pinpad", "logger", "adxcsu0l", "omkprt", "ejserver", "omkscale"};
  const int total = std::max(cfg.processes, 2);
  const int systems = std::min(5, total / 3);
  uint32_t pid = 1;
  for (int i = 0; i < systems; ++i) k.add_pd(proc_spec(kSystem[i], pid++, i == 0 ? 0 : 6, static_cast<uint8_t>(i * 10), 0x0001));

  DemoDump d;
  const int helpers = total - systems - 1;
  const int appl_at = helpers * 2 / 3;  // the application stands among the helpers
  const uint8_t kStats[] = {6, 1, 0, 6};
  for (int i = 0; i <= helpers; ++i) {
    if (i == appl_at) {
      Regs r;
      r.ip = 0x0123;
      r.flags = 0x0202;
      r.ax = 0x0001;
      r.bx = 0x0042;
      r.cx = 0x000C;
      r.sp = 0x1F80;
      r.bp = 0x1FA0;
      ProcSpec p = proc_spec(appl, pid++, 0, 100);
      p.evbits = 0x00000003;
      std::string file = "C:/ADX_IPGM/" + upper(appl) + ".286";
      if (cfg.appl_frames != 0 && b.paged()) b.set_next_frame(cfg.appl_frames);
      Seg s = add_application(b, k, p, file, demo_code(cfg), kDemoCodeSize, 0x8000, cfg.stack_size, r, 32 + cfg.heap_segments);
      d.appl_proc = s.proc;
      d.appl_pd = s.pd;
      d.code = s.code;
      d.data = s.data;
      d.stack = s.stack;
      b.put(d.appl_proc, uint32_t{s.data} << 16, Bytes{'T', 'O', 'T', 'A', 'L', 0, 0x10, 0x27});
      // The runtime's rtdsv holds the data selector: the SYM file matches.
      b.put(d.appl_proc, uint32_t{s.data} << 16 | kDemoRtdsv, le16_bytes(s.data));
      // The heap of the runtime the code start names.
      Bytes code = demo_code(cfg);
      if (code == kTerminalBasicCode || code == kControllerBasicCode)
        add_demo_runtime(b, s.proc, s.code, s.data, code == kTerminalBasicCode);
      if (code == kTerminalBasicCode)
        add_terminal_heap(b, s.proc, s.data, cfg.heap_blocks, std::max(cfg.heap_segments, 1));
      else if (code == kControllerBasicCode)
        add_controller_heap(b, s.proc, s.data, cfg.heap_blocks, std::max(cfg.heap_segments, 1));
      add_demo_trace(b, s.proc, s.code, s.data, term);
      add_demo_vars(b, d, cfg.sym_in_code != 0);
      k.set_current(s.pd);
      continue;
    }
    std::string name = i < 8 ? kHelpers[i] : vt::format("appl%04d", i);
    Regs r;
    r.ip = 0x0010;
    r.sp = 0x0F00;
    add_application(b, k, proc_spec(name, pid++, kStats[i % 4], 80), "C:/ADX_SPGM/" + upper(name) + ".286",
                    Bytes{0x55, 0x8B, 0xEC}, 0x1000, 0x2000, 0x1000, r);
  }

  // The circumstances: an application program check in the application.
  CcomdSpec c;
  c.term = 21;
  c.store = 123;
  c.ccdu_store = 123;
  c.node = "CC";
  c.reason = 36;
  c.time = msecs(14, 32, 7) + 250;
  c.date = ccd_date(3, 14, 2024);
  c.totalmem = 32u << 20;
  c.tcc_type = 3;
  c.vec = 13;
  c.cs = d.code;
  c.eip = 0x0123;
  if (!b.marra()) k.ccomd(c);
  if (term) {
    TcomdSpec t;
    t.term = 21;
    t.store = 123;
    t.mod2 = 0;
    t.reason = 36;
    t.time = c.time;
    t.date = c.date;
    t.vec = 13;
    t.cs = d.code;
    t.ds = t.es = d.data;
    t.ss = d.stack;
    t.sp = 0x1F80;
    t.bp = 0x1FA0;
    t.totalmem = 8u << 20;
    t.mfail = uint32_t{d.code} << 16 | 0x0123;
    k.tcomd(t);
  }
  add_demo_svc(b, k, cfg, d, add_devices(b, cfg, appl));
  // A long process list or many consoles need a larger GDT.
  b.fit_gdt_limit();
  if (cfg.size != 0) b.set_size(cfg.size);
  return d;
}

std::string demo_sym() {
  SymFile f;
  f.labels().code(0x0000);
  f.label(0x0000, "MAIN.PROGRAM").label(0x00F0, "PROCESS.SALE").label(0x0310, "PRINT.RECEIPT");
  f.variables().data(0x0000);
  f.variable(0x0000, "TOTAL.AMOUNT").variable(0x0008, "ITEM.COUNT%").variable(0x0010, "OPERATOR.ID$");
  demo_vars_sym(f);
  f.rtdata(0x0040).variable(kUsedlistAt, "_usedlist").rtdsv(kDemoRtdsv);
  add_demo_trace_symbols(f);
  f.variable(kDemoSwiTraceAt, "disab_enab_trace");
  return f.text();
}

Bytes demo_serial_bsx() { return DeviceBuilder::serial_bsx(); }

DemoFiles write_demo(const std::string& folder, const DemoSpec& cfg) {
  DumpBuilder b(cfg.variant);
  KernelBuilder k(b);
  build_demo(b, k, cfg);
  std::filesystem::create_directories(folder);
  bool term = b.terminal();
  DemoFiles f;
  auto at = [&](const char* name) { return (std::filesystem::path(folder) / name).string(); };
  f.dump = at(term ? "omkcsltf.dat" : "omkcslcf.dat");
  f.bsx = at(b.marra() ? "omkrt1sl.bsx" : term ? "omkrt8gl.bsx" : "omkct8sl.bsx");
  f.sym = at(term ? "omkts10l.sym" : "omkcsmll.sym");
  f.serial_bsx = at("omkpir1l.bsx");
  b.write(f.dump);
  b.write_bsx(f.bsx);
  write_text(f.sym, demo_sym());
  write_file(f.serial_bsx, demo_serial_bsx());
  return f;
}

}  // namespace testkit
