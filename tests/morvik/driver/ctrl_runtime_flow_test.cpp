// The controller demo's runtime data in whole runs: the runtime data
// section and the sections after it.
#include <gtest/gtest.h>

#include <string>

#include "common/console.h"
#include "tests/morvik/driver/demo_run.h"

using morvik_test::Demo;
using testkit::DemoSpec;
using testkit::DumpVariant;
using testkit::RunResult;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(ControllerRuntimeFlow, TheDemosRuntimeDataAndTheSectionsAfterIt) {
  for (DumpVariant v : {DumpVariant::PagedController, DumpVariant::ELController}) {
    SCOPED_TRACE(static_cast<int>(v));
    DemoSpec cfg;
    cfg.variant = v;
    Demo m(cfg);
    RunResult r = m.run({"appl.sym", "pvncsmll", "25", "512", "SCREEN"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string& out = r.out;
    EXPECT_FALSE(has(out, "This doesn't appear to be a BASIC application.")) << out;
    const std::string on_error = vt::format("\n\t Current on error routine:     %3.3x:0100 at PROCESS.SALE + 10\n", unsigned{m.d.code});
    const std::string lines[] = {
        "\n\t BASIC runtimes version 629, dated 05/14/09\n\n",
        "\t Open sessions (Max number of sessions = 1024):\n\t   (Trailing zeros are not formatted)\n\n"
        "\t   Session  1:  C:/ADX_IDT1/EALTRANS.DAT \t  64-byte buffer at ",
        "\n\t     54 52 41 4e 53 20 30 30 34 32 20 34 2e 36 39 00  TRANS 0042 4.69.\n",
        "\t   Session  2:  (SESSION)\t\t  32-byte buffer at ",
        "\t   Session  3:  C:/ADX_IDT1/EALCTLOG.DAT \t 128-byte buffer at ",
        "\n\t Latest session number used:  1\n",
        "\n\t Latest error:  errc = EF,  errn = 1,  errio = 1\n",
        "  Some errors have stacked up.  I'll format data saved in the heap   ",
        "\tsavesp1: 0x1f60  (stack pointer)\n\terrc:    EF\n\terrn:    0x1\n\terrio:   1  (session number)\n",
        "\tsavesp1: 0x1f40  (stack pointer)\n\terrc:    IH\n\terrn:    0x8001000f\n",
        "  End of data saved in heap (  2) ",
        "\n\t\t>>>>>>>>>>  2 missing resumes!  <<<<<<<<<< \n",
        on_error,
        // The sections after it.
        "\n SUB Application Call Trace (listed from oldest to newest):\n",
        "\n SUB Application Variables:",
        "\n SUB Application Stack:\n",
    };
    size_t last = 0;
    for (const std::string& l : lines) {
      const size_t at = out.find(l, last);
      EXPECT_NE(at, std::string::npos) << l << "\n" << out;
      if (at != std::string::npos) last = at;
    }
  }
}

// The heap roots stand past the runtime's data block: with "/dh" the used
// list follows the runtime data section.
TEST(ControllerRuntimeFlow, TheHeapFollowsTheRuntimeData) {
  DemoSpec cfg;
  cfg.variant = DumpVariant::PagedController;
  Demo m(cfg);
  RunResult r = m.run({"appl.sym", "pvncsmll", "25", "512", "SCREEN", "/dh"});
  EXPECT_EQ(r.status, 0) << r.err;
  const size_t runtime = r.out.find(">>>>>>>>>>  2 missing resumes!  <<<<<<<<<< \n");
  const size_t heap = r.out.find("\nusedlist=006F0720, *usedlist=006F0730\n");
  ASSERT_NE(runtime, std::string::npos) << r.out;
  ASSERT_NE(heap, std::string::npos) << r.out;
  EXPECT_LT(runtime, heap);
}
