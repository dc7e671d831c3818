// Whole runs on the demo whose module carries its SYM file behind its code:
// the SYM file is taken from the dump, the variables and the stack are
// named through it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/morvik/driver/demo_run.h"

using morvik_test::Demo;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(VarsFlow, TheSymFileInTheDumpNamesVariablesAndCalls) {
  testkit::DemoSpec cfg;
  cfg.sym_in_code = 1;
  Demo m(cfg);
  // The operator names a SYM file of another application: the one in the
  // dump is used all the same.
  testkit::write_text(m.dir.file("other.sym"), "0000 LABELS\r\n0000 CODE\r\n0000 OTHER.MAIN\r\n");
  testkit::RunResult r = m.run({"other.sym", "mpostapl", "25", "512", "SCREEN"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "\nThe SYM file IS in the dump.  It is dated Thu Mar 14 09:30:00 2024\n\n"
                         "Writing SYM file \"MRVK_SYM.SYM\" from dump offset "))
      << r.out;
  EXPECT_EQ(testkit::read_text(m.dir.file("MRVK_SYM.SYM")), testkit::demo_sym());
  EXPECT_TRUE(has(r.out, "\nThis dump was formatted using SYM file MRVK_SYM.SYM.\n"));
  // Variables of every type, in name order.
  EXPECT_TRUE(has(r.out, "\nCUSTOMER$                     STR   16: \"JANE Q. CUSTOMER\"\n"
                         "DISPLAY.LINE$                 STR   19: \"TOTAL          4.69\"\n"
                         "ITEM.COUNT%"))
      << r.out;
  EXPECT_TRUE(has(r.out, "\nLAST.ERROR%                   INT1/2:     - 10         F6H\t / 65526  FFF6H\n"
                         "MODE                          INT1:       -123         85H \n"));
  EXPECT_TRUE(has(r.out, "\nPRICES                      [ 3] Probable 1 dimensional INT2 array  \n"));
  EXPECT_TRUE(has(r.out, "\nSTATUS.CODE                 \n"));
  // The stack: SP and the frames from BP, a far call and a near call
  // named by the labels.
  // The words above SP are the blocked READ's frame: its parameter block
  // is a pointer into the data.
  EXPECT_TRUE(has(r.out, "\n  (1f88)  06f:4000   data  -> ")) << r.out;
  EXPECT_TRUE(has(r.out, " *(1fa0)    1fb0"));
  EXPECT_TRUE(has(r.out, "  (1fa2)  067:0185  PROCESS.SALE + 90 calls PRINT.RECEIPT (67:0310)")) << r.out;
  EXPECT_TRUE(has(r.out, "  (1fb2)  067:01a3  PROCESS.SALE + b0 calls PROCESS.SALE (67:00f0)")) << r.out;
}

TEST(VarsFlow, WithoutTheSymFileInTheDumpTheOperatorsIsUsed) {
  Demo m;
  testkit::RunResult r = m.run({"appl.sym", "mpostapl", "25", "512", "SCREEN"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "\nThe SYM file is NOT in the dump.\n"));
  EXPECT_FALSE(std::filesystem::exists(m.dir.file("MRVK_SYM.SYM")));
  EXPECT_TRUE(has(r.out, "\nThis dump was formatted using SYM file APPL.SYM.\n"));
}

}  // namespace
