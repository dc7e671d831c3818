// The CDV file: every record kind and its refusals, the module table and
// line numbers, the lookups by name and address, and the symbol files in
// whole runs.
#include <gtest/gtest.h>

#include <filesystem>

#include "morvik/driver/morvik.h"
#include "morvik/symbols/dumpfunc_code.h"
#include "morvik/symbols/dumpfunc_symfile.h"
#include "morvik/symbols/readcdv.h"
#include "morvik/symbols/sortsym.h"
#include "testkit/demo.h"
#include "testkit/run.h"
#include "tests/morvik/symbols/symbols_fixture.h"

using morvik_test::SymFixture;
using testkit::Bytes;
using testkit::CdvFile;
using testkit::CdvPublic;
using testkit::DumpBuilder;
using testkit::DumpVariant;

namespace {

struct Item {
  uint32_t addr;
  std::string name;
  uint16_t type;
  uint16_t file;
  uint16_t stack;
  bool operator==(const Item&) const = default;
  friend std::ostream& operator<<(std::ostream& o, const Item& i) {
    return o << std::hex << i.addr << " " << i.name << " " << i.type << " " << i.file << " " << i.stack;
  }
};

std::vector<Item> by_address(const morvik::Session& s) {
  std::vector<Item> v;
  for (const auto& i : s.symbols.listhead)
    v.push_back({static_cast<uint32_t>(i.addr), i.name, i.type, i.file, i.stack});
  return v;
}

std::vector<std::string> by_name(const morvik::Session& s) {
  std::vector<std::string> v;
  for (uint32_t i : s.symbols.alphaHead)
    v.push_back(s.symbols.listhead[i].name + "/" + std::to_string(s.symbols.listhead[i].type));
  return v;
}

// An application with code at 0x67 and 0x77 and data at 0x6F.
struct CdvApp {
  DumpBuilder b{DumpVariant::PagedTerminal};
  int proc = b.add_process();
  uint16_t code = b.add_segment(proc, 0x1000, true);
  uint16_t data = b.add_segment(proc, 0x1000, false);
  uint16_t last = b.add_segment(proc, 0x1000, true);
  uint16_t top = morvik_test::add_top_slot(b, proc);
};

// Three modules, procedures, statics, locals, publics and line tables.
CdvFile sample() {
  CdvFile f;
  f.module(1, 0x0067, 0x0000, 0x0800, "MAIN.BAS");
  f.module(2, 0x0067, 0x0800, 0x0800, "SUB.BAS");
  f.module(3, 0x0077, 0x0000, 0x0100, "LAST.BAS");
  f.symbols(1, {testkit::cdv_procedure(0x0010, 0x201, 0x40, "MAINPROC"), testkit::cdv_static(0x006F0010, 0x84, "COUNT"),
                testkit::cdv_static(0x006F0020, 0x84, "@TEMP"),  // the compiler's own: not listed
                testkit::cdv_static(0x006F0040, 0x84, "STATIC2"), testkit::cdv_local(-4, 0x84, "I"),
                testkit::cdv_local(-4, 0x85, "I"),  // locals are never merged
                testkit::cdv_local(-6, 0x84, "@T"), testkit::cdv_record(2, {0, 1, 2, 3}),
                testkit::cdv_record(0, {9, 9, 9, 9, 9, 9, 9, 9})});
  f.symbols(2, {testkit::cdv_procedure(0x0800, 1, 0x100, "SUBPROC")});
  f.symbols(3, {testkit::cdv_procedure(0x0000, 0x201, 0x20, "LASTPROC")});
  f.publics(1, {{0x006F0010, 0, "COUNT"},     // the static's twin: one item, its module forgotten
                {0x00670010, 1, "MAINPROC"},  // the procedure's (type 0x201) twin: it keeps its module
                {0x00670000, 1, "MAIN.BAS"},  // names its module: not listed
                {0x006F0030, 2, "TOTAL"}});   // a type above 1: data without a module
  f.lines(1, "MAIN.BAS", {{10, 0x0010}, {11, 0x0018}, {12, 0x0030}});
  f.lines(3, "LAST.BAS", {{1, 0x0000}, {2, 0x0010}});
  return f;
}

std::string text_of(SymFixture& f, const std::function<void()>& call) {
  f.take();
  call();
  return f.take();
}

}  // namespace

TEST(CdvReader, RecordKindsAndTheirLists) {
  CdvApp d;
  SymFixture f(d.b, d.proc);
  f.cdv(sample());
  EXPECT_EQ(morvik::readcdv(f.s), 0);
  EXPECT_TRUE(f.s.cdvfile.is_open());
  EXPECT_EQ(by_address(f.s), (std::vector<Item>{{0xFFFFFFFC, "I", 0x85, 1, 1},
                                                {0xFFFFFFFC, "I", 0x84, 1, 1},
                                                {0x00670010, "MAINPROC", 0x201, 1, 0},
                                                {0x00670800, "SUBPROC", 1, 2, 0},
                                                {0x006F0010, "COUNT", 0x84, 0, 0},
                                                {0x006F0030, "TOTAL", 2, 0, 0},
                                                {0x006F0040, "STATIC2", 0x84, 1, 0},
                                                {0x00770000, "LASTPROC", 0x201, 3, 0}}));
  // By name; of equal names the later one first.
  EXPECT_EQ(by_name(f.s), (std::vector<std::string>{"COUNT/132", "I/133", "I/132", "LASTPROC/513", "MAINPROC/513",
                                                    "STATIC2/132", "SUBPROC/1", "TOTAL/2"}));
  const morvik::AppSymbols& sym = f.s.symbols;
  EXPECT_EQ(sym.topfile, 3);
  ASSERT_EQ(sym.filelist.size(), 5u);
  EXPECT_EQ(sym.filelist[2].name, "SUB.BAS");
  EXPECT_EQ(sym.filelist[2].addr, 0x00670800u);
  EXPECT_EQ(sym.filelist[2].length, 0x0800u);
  EXPECT_EQ(sym.callable_addresses, (std::vector<uint32_t>{0x00670010, 0x00670800, 0x00770000}));
  EXPECT_EQ(sym.callable_lengths, (std::vector<uint16_t>{0x40, 0x100, 0x20}));
  EXPECT_EQ(f.err.str(), "");  // the report is on the screen
}

TEST(CdvReader, NamingCodeAndDataAddresses) {
  CdvApp d;
  SymFixture f(d.b, d.proc);
  f.cdv(sample());
  morvik::readcdv(f.s);
  struct Case {
    uint32_t addr;
    const char* text;
  } cases[] = {
      {0x00670018, " MAINPROC (MAIN.BAS line 11)"},
      {0x00670020, " MAINPROC (MAIN.BAS line 11)"},  // between two lines: the one before
      {0x00670100, " MAINPROC (MAIN.BAS line 12)"},  // past the table's last line
      {0x00670010, " MAINPROC in MAIN.BAS"},        // exactly the procedure
      {0x006F0040, " STATIC2 in MAIN.BAS"},         // exactly a static in LDT data
      {0x006F0010, " COUNT"},                       // its module was forgotten
      {0x00670005, "MAINPROC - b"},                 // before the procedure, before its first line
      {0x00670900, " SUBPROC"},                     // a module without lines
      {0x00770010, " LASTPROC (LAST.BAS line 2)"},  // inside the last procedure
      {0x00770020, ""},                             // one past it
      {0x006F0035, ""},                             // after data
  };
  for (const auto& c : cases)
    EXPECT_EQ(text_of(f, [&] { morvik::findCDVaddr2(f.s, c.addr); }), c.text) << std::hex << c.addr;
  // findname and findDataname go through the CDV file.
  EXPECT_EQ(text_of(f, [&] { morvik::findname(f.s, 0x00670018, 1); }), " MAINPROC (MAIN.BAS line 11)");
  EXPECT_EQ(text_of(f, [&] { morvik::findDataname(f.s, 0x006F0030, 1); }), "TOTAL");

  EXPECT_EQ(text_of(f, [&] { EXPECT_EQ(morvik::printCDVname(f.s, 0x006F0030), 1); }), "TOTAL");
  EXPECT_EQ(text_of(f, [&] { EXPECT_EQ(morvik::printCDVname(f.s, 0x006F0031), 0); }), "(Not found)");
  EXPECT_EQ(text_of(f, [&] { morvik::showlinenum(f.s, 0x00670018); }), "line 11 ");
  EXPECT_EQ(text_of(f, [&] { morvik::showlinenum(f.s, 0x00670019); }), "");
  EXPECT_EQ(text_of(f, [&] { morvik::showlinenum(f.s, 0x00770010); }), "line 2 ");

  const morvik::listitem* count = morvik::findCDVName(f.s, "COUNT");
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count->addr, 0x006F0010);
  const morvik::listitem* i = morvik::findCDVName(f.s, "I");
  ASSERT_NE(i, nullptr);
  EXPECT_EQ(i->type, 0x85);  // the first in address order
  EXPECT_EQ(morvik::findCDVName(f.s, "NOPE"), nullptr);
  EXPECT_EQ(morvik::getLineNum(f.s, *morvik::findCDVName(f.s, "MAINPROC"), 0x00670008), 0);  // before the first line

  // A data symbol by name: only one in an LDT data segment.
  EXPECT_EQ(morvik::get_symbol_address(f.s, "COUNT"), 0x006F0010u);
  EXPECT_EQ(f.take(), "");
  EXPECT_EQ(morvik::get_symbol_address(f.s, "MAINPROC"), 0u);
  EXPECT_EQ(morvik::get_symbol_address(f.s, "NOPE"), 0u);
  EXPECT_EQ(f.take(), "\n\t  Cannot find symbol 'MAINPROC' in the CDV file.\n"
                      "\n\t  Cannot find symbol 'NOPE' in the CDV file.\n");
}

TEST(CdvReader, TheLineTableEndsAtItsZeroEntry) {
  CdvApp d;
  SymFixture f(d.b, d.proc);
  CdvFile c;
  c.module(1, 0x0067, 0x0000, 0x0800, "MAIN.BAS");
  c.symbols(1, {testkit::cdv_procedure(0x0010, 0x201, 0x100, "MAINPROC")});
  // The entries after the zero entry are not the module's lines.
  c.lines(1, "MAIN.BAS", {{10, 0x0010}, {0, 0x0000}, {12, 0x0030}});
  f.cdv(c);
  morvik::readcdv(f.s);
  EXPECT_EQ(text_of(f, [&] { morvik::findCDVaddr2(f.s, 0x00670030); }), " MAINPROC (MAIN.BAS line 10)");
  EXPECT_EQ(text_of(f, [&] { morvik::showlinenum(f.s, 0x00670030); }), "");
}

TEST(CdvReader, SubsectionLimitsIndexesAndLongNames) {
  CdvApp d;
  SymFixture f(d.b, d.proc);
  CdvFile c;
  c.module(1, 0x0067, 0x0000, 0x0800, "MAIN.BAS");
  c.symbols(1, {testkit::cdv_local(-2, 0x84, "K")});  // 8 bytes: too few for a record
  Bytes two = testkit::cdv_static(0x006F0050, 0x84, "FIRSTONE");
  Bytes second = testkit::cdv_static(0x006F0060, 0x84, "SECONDONE");
  uint16_t first_len = static_cast<uint16_t>(two.size());
  two.insert(two.end(), second.begin(), second.end());
  c.subsection(4, 1, two, static_cast<uint16_t>(first_len + 5));  // 5 bytes of the second record
  // A local and a static of the same address and name, in both orders.
  c.symbols(1, {testkit::cdv_local(-8, 0x84, "J"), testkit::cdv_static(0xFFFFFFF8, 0x84, "J"),
                testkit::cdv_static(0xFFFFFFF6, 0x84, "LOOP"), testkit::cdv_local(-10, 0x84, "LOOP")});
  // Module index 9 is outside the table: it names no module.
  c.symbols(9, {testkit::cdv_procedure(0x0010, 0x201, 0x10, "NOWHERE")});
  c.publics(9, {{0x00670050, 1, "PUB9"}});
  c.lines(9, "X.BAS", {{1, 0}});
  c.symbols(1, {testkit::cdv_static(0x006F0070, 0x84, std::string(200, 'S'))});
  c.publics(1, {{0x006F0080, 0, std::string(200, 'P')}});
  f.cdv(c);
  morvik::readcdv(f.s);
  EXPECT_EQ(by_address(f.s), (std::vector<Item>{{0xFFFFFFF6, "LOOP", 0x84, 1, 1},
                                                {0xFFFFFFF6, "LOOP", 0x84, 1, 0},
                                                {0xFFFFFFF8, "J", 0x84, 1, 0},
                                                {0xFFFFFFF8, "J", 0x84, 1, 1},
                                                {0x00000010, "NOWHERE", 0x201, 0, 0},
                                                {0x00670050, "PUB9", 1, 0, 0},
                                                {0x006F0050, "FIRSTONE", 0x84, 1, 0},
                                                {0x006F0070, std::string(190, 'S'), 0x84, 1, 0},
                                                {0x006F0080, std::string(179, 'P'), 0, 0, 0}}));
}

TEST(CdvReader, RefusedAndUnreadableFiles) {
  CdvFile nb = sample();
  nb.tag = "NB00";
  CdvFile other = sample();
  other.tag = "XYZW";
  CdvFile short_dir = sample();
  short_dir.directory_count = 20;
  Bytes cut = sample().bytes();
  cut.resize(6);
  struct Case {
    const char* what;
    Bytes file;
    const char* out;
    const char* err;
  } cases[] = {
      {"old format", nb.bytes(), "",
       "\n\tThe CDV file is in segment:offset format and cannot be used.\n"
       "\t      Please use tarnex of June 2002 or later.\n"},
      {"another tag", other.bytes(), "Neither NB00 nor NS00 tag:  invalid CDV format.\n", ""},
      {"empty", Bytes{}, "Neither NB00 nor NS00 tag:  invalid CDV format.\n", ""},
      {"short directory", short_dir.bytes(), "", "can't read CDV directory\n"},
      {"cut after the tag", cut, "", "can't read CDV directory\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CdvApp d;
    SymFixture f(d.b, d.proc);
    f.cdv(c.file);
    // The run goes on without the CDV file.
    EXPECT_EQ(f.status_of([&] { morvik::readcdv(f.s); }), SymFixture::kReturned);
    EXPECT_FALSE(f.s.cdvfile.is_open());
    EXPECT_TRUE(f.s.symbols.listhead.empty());
    EXPECT_EQ(f.out.str(), c.out);
    EXPECT_EQ(f.err.str(), c.err);
  }

  // A file report shows the reading with a mark per module table, symbols
  // and publics subsection.
  CdvApp d;
  SymFixture f(d.b, d.proc);
  morvik_test::report_to_file(f);
  f.cdv(sample());
  morvik::readcdv(f.s);
  EXPECT_EQ(f.err.str(), "  Reading the CDV file..." ".....");
}

namespace {

// The demo dump in a folder with the symbol file given, formatted on the
// screen.
testkit::RunResult demo_run(const testkit::TempDir& dir, const std::string& symname, const Bytes& symbols,
                            const testkit::DemoSpec& cfg = {}) {
  testkit::DemoFiles files = testkit::write_demo(dir.path().string(), cfg);
  testkit::write_file(dir.file(symname), symbols);
  morvik_test::InFolder in(dir.path());
  auto base = [](const std::string& p) { return std::filesystem::path(p).filename().string(); };
  return testkit::run_entry(morvik_main, {"morvik", base(files.dump), base(files.bsx), symname, testkit::demo_appl(cfg),
                                          "25", "512", "SCREEN"});
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(SymbolFiles, InAWholeRun) {
  for (auto v : testkit::kAllDumpVariants) {
    // The demo's crash address through a CDV file: procedure and line.
    SCOPED_TRACE(static_cast<int>(v));
    testkit::DemoSpec cfg;
    cfg.variant = v;
    DumpBuilder b(v);
    testkit::KernelBuilder k(b);
    testkit::DemoDump dd = testkit::build_demo(b, k, cfg);
    CdvFile c;
    c.module(1, dd.code, 0x0000, 0x4000, "SALES.BAS");
    c.symbols(1, {testkit::cdv_procedure(0x00F0, 0x201, 0x100, "PROCESS.SALE")});
    c.lines(1, "SALES.BAS", {{100, 0x00F0}, {101, 0x0120}});
    testkit::TempDir dir;
    testkit::RunResult r = demo_run(dir, "appl.cdv", c.bytes(), cfg);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "\t The application crashed at PROCESS.SALE (SALES.BAS line 101)\n\n")) << r.out;
    EXPECT_TRUE(has(r.out, "\nThis dump was formatted using CDV file APPL.CDV.\n\nMORVIK is ending normally.\n"));
  }
  struct Case {
    const char* what;
    std::string name;
    Bytes file;
    const char* part;  // in the report
  } cases[] = {
      {"SYM garbage", "appl.sym", Bytes{0x00, 0xFF, 0x20, 0x41, 0x0A, 0x80, 0x20, 0x81, 0x00, 0x0D},
       "\n\t Cannot find runtime label 'rtdsv' in SYM file.\n"},
      {"SYM of another build", "appl.sym",
       [] {
         std::string t = testkit::SymFile().labels().code(0).label(0x0200, "OTHER").variables().rtdsv(0x0600).text();
         return Bytes(t.begin(), t.end());
       }(),
       "    The SYM file is NOT a good match    *\n"},
      {"CDV garbage", "appl.cdv", Bytes(300, 0xA5), "Neither NB00 nor NS00 tag:  invalid CDV format.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testkit::TempDir dir;
    testkit::RunResult r = demo_run(dir, c.name, c.file);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, c.part)) << r.out;
    EXPECT_TRUE(has(r.out, "\nMORVIK is ending normally.\n"));
  }
}
