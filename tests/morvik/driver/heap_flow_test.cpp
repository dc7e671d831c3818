// Where the report flow finds the application's heap, and the demo's heap
// in whole runs.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "morvik/driver/morvik_flow.h"
#include "testkit/heapbuilder.h"
#include "tests/morvik/driver/demo_run.h"

using morvik_test::Demo;
using testkit::DemoSpec;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::RunResult;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(HeapReport, TheControlBlockFollowsNewHeapPastTheRuntimesData) {
  struct Case {
    const char* what;
    int32_t heapScanFrom;
    bool early_marker, marker;
    std::string out;
  } cases[] = {
      {"the first marker past the runtime's data", 0x200, true, true,
       "\n\t There is 1 segment in the application heap:\n"
       "\t      007f:0000 (0040h bytes)\n"
       "\n\t Total free space in the application heap:  0h bytes\n"
       "\t The largest item on the free lists is 0h bytes\n"},
      // Without the runtime data report's start the whole segment is searched.
      {"a marker without a control block after it", -1, true, true, "\tCannot find heap control block.\n"},
      {"no marker", 0x200, false, false, "\tCannot find heap control block.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DumpBuilder b(DumpVariant::PagedTerminal);
    int proc = b.add_process();
    b.add_segment(proc, 0x400, true);
    uint16_t data = b.add_segment(proc, 0x1000, false);
    testkit::HeapBuilder hb(b, proc);
    testkit::TerminalHeapSpec h;
    h.segments.resize(1);
    h.segments[0].size = 0x40;
    testkit::TerminalHeap t = hb.add_terminal_heap(h);
    if (c.early_marker) hb.put_new_heap(data, 0x0100, 0x12340000);
    if (c.marker) hb.put_new_heap(data, 0x0800, t.hcb);
    morvik_test::SessionFixture f(b);
    morvik_test::load_ldt(f, b, proc);
    f.out.str("");
    f.s.BASIC = 1;
    f.s.DS_selector = data;
    f.s.runtime.heapScanFrom = c.heapScanFrom;
    morvik::heap_report(f.s);
    EXPECT_EQ(f.out.str(), c.out);
  }
}

TEST(HeapReport, TheDemosHeapWithItsCorruptBlock) {
  Demo term;
  RunResult r = term.run({"appl.sym", "mpostapl", "25", "512", "SCREEN"});
  EXPECT_EQ(r.status, 0) << r.err;
  // The control block in 7F, after the code, data and stack segments.
  EXPECT_TRUE(has(r.out, "\n\t There are 3 segments in the application heap:\n"
                         "\t      0087:0000 (0400h bytes)\n"
                         "\t      008f:0000 (0200h bytes)\n"
                         "\t      0097:0000 (0200h bytes)\n"
                         "\n\t Total free space in the application heap:  e0h bytes\n"
                         "\t The largest item on the free lists is 70h bytes\n"))
      << r.out;
  EXPECT_FALSE(has(r.out, "HEAP CORRUPTION"));

  Demo dh;
  r = dh.run({"appl.sym", "mpostapl", "25", "512", "SCREEN", "/dh"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "008F005C len=0010  00000000 00000000 00000000 00000000  *................*\n"
                         "      *** HEAP CORRUPTION in the above block!!! ***\n\n"))
      << r.out;
  EXPECT_TRUE(has(r.out, "\n1 in-use blocks were found to be corrupt\n\n")) << r.out;
  EXPECT_TRUE(has(r.out, "\nMORVIK is ending normally.\n"));

  DemoSpec cfg;
  cfg.variant = DumpVariant::ELController;
  Demo controller(cfg);
  r = controller.run({"appl.sym", "pvncsmll", "25", "512", "SCREEN", "/dh"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "\nusedlist=006F0720, *usedlist=006F0730\n")) << r.out;
  EXPECT_TRUE(has(r.out, "   3 0087:0058  len=0030\nERROR - the size checksum is bad\n")) << r.out;
  EXPECT_TRUE(has(r.out, "\t *** Heap segment 0087: the check word of the block at 00870058 does not match its length;"))
      << r.out;
}

// Thousands of processes: their LDTs share GDT segments, and the list is
// walked whole.
TEST(ProcessList, FiveThousandProcessesAreListedWhole) {
  DemoSpec cfg;
  cfg.variant = DumpVariant::PagedController;
  cfg.processes = 5000;
  Demo m(cfg);
  RunResult r = m.run({"0", "pvncsmll", "SCREEN"});
  EXPECT_EQ(r.status, 0) << r.err;
  size_t listed = 0;
  for (size_t at = r.out.find("\n\t  ("); at != std::string::npos; at = r.out.find("\n\t  (", at + 1)) ++listed;
  EXPECT_EQ(listed, 5000u);
  EXPECT_TRUE(has(r.out, "\t  (R)\t1388  appl    appl4994     80    C:/ADX_SPGM/APPL4994.286\n")) << r.out.substr(0, 3000);
  EXPECT_FALSE(has(r.out, "***"));
  EXPECT_TRUE(has(r.out, "\nMORVIK is ending normally.\n"));
}
