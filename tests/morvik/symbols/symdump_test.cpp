// The SYM file carried at the end of the dumped code: found, written out
// into the current folder and used as the run's SYM file.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "common/console.h"
#include "morvik/symbols/doarray_symdump.h"
#include "testkit/symdump.h"
#include "tests/morvik/procs_fixture.h"

using morvik_test::Fixture;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;

namespace {

std::tm stamp() {
  std::tm t{};
  t.tm_year = 80;
  t.tm_mon = 0;
  t.tm_mday = 2;
  t.tm_hour = 2;
  t.tm_min = 3;
  t.tm_sec = 55;
  t.tm_wday = 3;
  return t;
}

const std::string kSymText = "0000 LABELS\r\n0010 CODE\r\n0000 MAIN\r\n0000 VARIABLES\r\n0000 DATA\r\n0008 COUNT%\r\n";

// A process whose 0x2000-byte code memory may end with a merged SYM.
struct CodeDump {
  DumpBuilder b{DumpVariant::PagedTerminal};
  int proc = b.add_process();
  uint16_t code = b.add_segment(proc, 0x2000, true);
  uint32_t far(uint32_t off) const { return uint32_t{code} << 16 | off; }
};

struct SymSession {
  explicit SymSession(CodeDump& d) : f(d.b), here(f.dir.path()) {
    morvik_test::load_ldt(f, d.b, d.proc);
    f.out.str("");
    f.s.dumpsym.appl_code_start = d.far(0);
    f.s.dumpsym.appl_code_len = 0x2000;
  }
  Fixture f;
  morvik_test::InFolder here;
};

TEST(SymInDump, FoundWrittenOutAndUsedInsteadOfTheOperatorsFile) {
  CodeDump d;
  uint16_t at = testkit::put_merged_sym(d.b, d.proc, d.code, 0x2000, kSymText, stamp());
  uint32_t marker = at + static_cast<uint32_t>(kSymText.size());
  SymSession ss(d);
  morvik::Session& s = ss.f.s;
  morvik_test::report_to_file(ss.f);
  testkit::write_text(ss.f.dir.file("operator.sym"), "0000 LABELS\n");
  s.symfile.open(ss.f.dir.file("operator.sym"));
  s.dumpfile.seek(4321);
  morvik::validate_SYM_in_dump(s);
  EXPECT_EQ(s.dumpfile.tell(), 4321u);
  EXPECT_EQ(morvik_test::report_body(ss.f),
            "\nThe SYM file IS in the dump.  It is dated Wed Jan  2 02:03:55 1980\n\n" +
                vt::format("Writing SYM file \"MRVK_SYM.SYM\" from dump offset %08lX to %08lX\n",
                           static_cast<unsigned long>(d.b.process_dump_offset(d.proc, d.far(at))),
                           static_cast<unsigned long>(d.b.process_dump_offset(d.proc, d.far(marker)))));
  EXPECT_EQ(morvik_test::summary(ss.f), std::vector<std::string>{" SYM file MRVK_SYM.SYM was extracted from the dump."});
  EXPECT_EQ(testkit::read_text("MRVK_SYM.SYM"), kSymText);
  EXPECT_FALSE(std::filesystem::exists("MRVK_SYM.SYM.$$$"));
  EXPECT_EQ(s.symfilename, "MRVK_SYM.SYM");
  EXPECT_EQ(s.symfile.path(), "MRVK_SYM.SYM");
  EXPECT_EQ(s.symbols.sym_extracted_from_dump, 1);
}

TEST(SymInDump, SearchReachesBack4816BytesFromTheEnd) {
  // The marker at the code's last byte - 4816 is the furthest found; one
  // byte further back it is not.
  const uint32_t trailer = static_cast<uint32_t>(testkit::merged_sym(kSymText, stamp()).size() - kSymText.size());
  struct Case {
    uint32_t marker;
    bool found;
  } cases[] = {{0x2000 - 1 - 4816, true}, {0x2000 - 1 - 4817, false}, {0x2000 - trailer, true}};
  for (const Case& c : cases) {
    CodeDump d;
    testkit::put_merged_sym(d.b, d.proc, d.code, c.marker + trailer, kSymText, stamp());
    SymSession ss(d);
    morvik::validate_SYM_in_dump(ss.f.s);
    std::string out = ss.f.out.str();
    EXPECT_EQ(out.find("IS in the dump") != std::string::npos, c.found) << c.marker << out;
    if (!c.found) {
      EXPECT_EQ(out, "\nThe SYM file is NOT in the dump.\n");
    }
    EXPECT_EQ(std::filesystem::exists("MRVK_SYM.SYM"), c.found);
    EXPECT_EQ(ss.f.s.symbols.sym_extracted_from_dump, c.found ? 1 : 0);
  }
}

TEST(SymInDump, NothingSearchedWithoutCodeAndATruncatedCopyLeavesNoFile) {
  CodeDump d;
  uint16_t at = testkit::put_merged_sym(d.b, d.proc, d.code, 0x2000, kSymText, stamp());
  // A size word that reaches back before the code: the copy is short.
  d.b.put(d.proc, d.far(at + kSymText.size() + 8), Bytes{0xFF, 0xFF, 0x00});
  SymSession ss(d);
  testkit::write_text(ss.f.dir.file("operator.sym"), "0000 LABELS\n");
  ss.f.s.symfile.open(ss.f.dir.file("operator.sym"));
  morvik::validate_SYM_in_dump(ss.f.s);
  EXPECT_EQ(ss.f.out.str().substr(0, 31), "\nThe SYM file IS in the dump.  ");
  EXPECT_FALSE(std::filesystem::exists("MRVK_SYM.SYM"));
  EXPECT_FALSE(std::filesystem::exists("MRVK_SYM.SYM.$$$"));
  EXPECT_EQ(ss.f.s.symfile.path(), ss.f.dir.file("operator.sym"));
  EXPECT_EQ(ss.f.s.symbols.sym_extracted_from_dump, 0);

  ss.f.out.str("");
  ss.f.s.dumpsym.appl_code_start = uint32_t{0x6F} << 16;  // not code
  morvik::validate_SYM_in_dump(ss.f.s);
  ss.f.s.dumpsym.appl_code_start = d.far(0);
  ss.f.s.dumpsym.appl_code_len = 0;
  morvik::validate_SYM_in_dump(ss.f.s);
  EXPECT_EQ(ss.f.out.str(), "");
}

}  // namespace
