// The report flow: whole runs on every dump variant, the early stops, the
// BASIC test, the summary lines and the RPOST batch file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>

#include "morvik/driver/morvik.h"
#include "morvik/driver/morvik_flow.h"
#include "morvik/driver/morvik_procs.h"
#include "testkit/demo.h"
#include "testkit/run.h"
#include "tests/morvik/driver/demo_run.h"
#include "tests/morvik/procs_fixture.h"

using morvik_test::add_app;
using morvik_test::Demo;
using morvik_test::Fixture;
using morvik_test::InFolder;
using morvik_test::load_selected_ldt;
using testkit::Bytes;
using testkit::DemoSpec;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::KernelBuilder;
using testkit::read_text;
using testkit::RunResult;
using testkit::TempDir;

namespace {

const char* const kEnd = "\nMORVIK is ending normally.\n";

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The end of `text` as long as `like`, to compare with it.
std::string tail(const std::string& text, const std::string& like) {
  return text.size() < like.size() ? text : text.substr(text.size() - like.size());
}

std::string upper(std::string t) {
  for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return t;
}

// The lines of the summary box of a report file (without their CR LF),
// each checked to be 80 bytes long with its line end.
std::vector<std::string> summary_box(const std::string& report) {
  std::vector<std::string> lines;
  size_t at = report.find("\t********************************** SUMMARY ***");
  if (at == std::string::npos) return lines;
  at = report.find("\r\n", at) + 2;
  for (int i = 0; i < 14; ++i, at += 80) {
    EXPECT_EQ(report.substr(at + 78, 2), "\r\n");
    EXPECT_EQ(report.substr(at, 3), "\t**");
    EXPECT_EQ(report.substr(at + 76, 2), "**");
    std::string text = report.substr(at + 4, 72);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    lines.push_back(text);
  }
  EXPECT_EQ(report.substr(at, 80), "\t" + std::string(77, '*') + "\r\n");
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// Offsets in a process descriptor.
constexpr uint32_t kPdFlag = 28;
constexpr uint32_t kPdMem = 176;  // four chain heads: code, static data, other data, stack

}  // namespace

TEST(ReportFlow, InstalledBinaryEndsNormallyOnEveryVariant) {
  for (auto v : testkit::kAllDumpVariants) {
    SCOPED_TRACE(static_cast<int>(v));
    TempDir dir;
    DemoSpec cfg;
    cfg.variant = v;
    testkit::DemoFiles f = testkit::write_demo(dir.path().string(), cfg);
    // The output goes last on the command line, the serial BSX file after it.
    auto cmd = [&](const std::string& output) {
      return testkit::installed("morvik") + " " +
                      std::filesystem::path(f.dump).filename().string() + " " +
                      std::filesystem::path(f.bsx).filename().string() + " " +
                      std::filesystem::path(f.sym).filename().string() + " " + testkit::demo_appl(cfg) + " 25 512 " +
             output + " " + std::filesystem::path(f.serial_bsx).filename().string();
    };
    std::string symname = upper(std::filesystem::path(f.sym).filename().string());
    std::string bsxname = v == DumpVariant::ELTerminal ? "RT8GL" : "CT8SL";
    std::string note = v == DumpVariant::ELTerminal || v == DumpVariant::ELController
                           ? "\nNOTE: This is a VELA EL dump.  If MORVIK fails to run correctly, ensure\n"
                             "that you specified the correct kernal BSX file (VX_" +
                                 bsxname + ".BSX or nnn" + bsxname + ".BSV).\n\n"
                           : "";

    RunResult r = testkit::run_binary(cmd("SCREEN"), "", dir.path().string());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "\n\tVELA OS Version 4 Release 1\n"));
    EXPECT_TRUE(has(r.out, "\n\n SUB Pipe Dump:  pipes open by/for "));
    EXPECT_TRUE(has(r.out, "\n\n SUB Consoles:\n\n\t\t\tStart of Screens for CON\n\nScreen 1\t\n+++"));
    EXPECT_TRUE(has(r.out, "\n\t\t\tStart of Screens for CON2\n\nScreen 1\t\n+++"));
    bool paged = v == DumpVariant::PagedTerminal || v == DumpVariant::PagedController;
    EXPECT_EQ(has(r.out, "\n SUB RS-485 serial driver data:\n\n  unit0:    ptr_pirsdcom = "), paged);
    EXPECT_TRUE(has(r.out, "\tCannot find") == false) << r.out;
    // The crash address is named by the SYM file's labels.
    EXPECT_TRUE(has(r.out, "\t The application crashed at PROCESS.SALE + 33\n\n")) << r.out;
    std::string closing = "\nThis dump was formatted using SYM file " + symname + ".\n" + kEnd;
    EXPECT_EQ(tail(r.out, closing), closing);
    // No progress marks on the screen; the consoles are named all the same.
    EXPECT_EQ(r.err, note + "\n  Processing console...\n  Processing console...\n");

    r = testkit::run_binary(cmd("report.txt"), "", dir.path().string());
    EXPECT_EQ(r.status, 0) << r.err;
    std::string report = read_text(dir.file("REPORT.TXT"));
    std::string end = "\r\nMORVIK is ending normally.\r\n";
    EXPECT_EQ(tail(report, end), end);
    size_t bare = 0;
    for (size_t i = 0; i < report.size(); ++i) bare += report[i] == '\n' && (i == 0 || report[i - 1] != '\r');
    EXPECT_EQ(bare, 0u);
    std::vector<std::string> box = summary_box(report);
    ASSERT_GE(box.size(), 2u);
    EXPECT_NE(std::find(box.begin(), box.end(), " " + testkit::demo_appl(cfg) + "'s event bits look OK."), box.end());
    if (v != DumpVariant::PagedController && v != DumpVariant::ELController) {
      // The terminal runtime's errors follow the details' lines.
      EXPECT_EQ(box[box.size() - 3], " mpostapl's last error was EF 01000000 on session  1.");
      EXPECT_EQ(box[box.size() - 2], "    There are 2 un-resumed errors.");
    }
    EXPECT_EQ(box.back(), " A spot check of SYM file matching is inconclusive.");
    // Progress marks: section labels, OS version, three in the process
    // list, the SVC trace, then the details' own.
    EXPECT_EQ(r.err.substr(0, note.size() + 7), note + "\n......");
  }
}

TEST(ReportFlow, DebugTraceNamesTheStepsInOrder) {
  struct Case {
    DumpVariant variant;
    std::string appl;
    std::vector<int> locations;  // after the dialogue's last (11)
  } cases[] = {
      // A paged terminal dump: machine type, the terminal runtime's data and
      // heap, the serial driver data.
      {DumpVariant::PagedTerminal, "mpostapl",
       {12, 13, 14, 15, 16, 20, 24, 25, 28, 30, 31, 33, 34, 35, 910, 915, 919, 38, 40, 42, 43, 45, 46, 47, 48, 49, 50,
        51, 52, 53, 54, 55, 56, 57, 59}},
      // An EL controller dump: the controller runtime's data; not paged.
      {DumpVariant::ELController, "pvncsmll",
       {12, 14, 15, 16, 20, 24, 25, 28, 30, 31, 32, 47, 48, 49, 50, 51, 52, 53, 55, 57, 59}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.appl);
    DemoSpec cfg;
    cfg.variant = c.variant;
    Demo m(cfg);
    RunResult r = m.run({"appl.sym", c.appl, "25", "512", "SCREEN", "/d"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string mark = "\t\t\t\texecuting at location ";
    std::vector<int> seen;
    for (size_t at = r.err.find(mark); at != std::string::npos; at = r.err.find(mark, at + 1))
      seen.push_back(std::stoi(r.err.substr(at + mark.size())));
    auto after = std::find(seen.begin(), seen.end(), 11);
    ASSERT_NE(after, seen.end());
    EXPECT_EQ(std::vector<int>(after + 1, seen.end()), c.locations);
  }
}

TEST(ReportFlow, EarlyStops) {
  struct Case {
    const char* what;
    std::string appl;
    std::function<void(Demo&)> change;
    int status;
    bool details;         // the details were printed (with their summary line) before the stop
    const char* err;      // the standard error stream of a screen run, after the dialogue's "\n"
    const char* out_end;  // the end of the screen report
    std::vector<std::string> summary;  // the file report's summary lines after the dump's own
    bool consoles = false;  // the consoles were shown before the stop
    std::string svc_by = "mpostapl";  // the name in the last-SVC summary line; "" for none
  } cases[] = {
      {"not in the dump", "nosuch", [](Demo&) {}, 0, false, "\n\tCannot find \"nosuch\" process in this dump.\n", "",
       {" NOSUCH was not an active process at the time of the dump."}, true, ""},
      {"shared code holder, RPOST active", "mpostapl",
       [](Demo& m) {
         m.b.put_system(m.d.appl_pd + 26, Bytes{8});  // p_stat: shared code holder
         testkit::ProcSpec rpost;
         rpost.name = "rpostapl";
         rpost.pid = 0x40;
         add_app(m.b, m.k, rpost);
       },
       0, false,
       "\n\tMPOSTAPL has terminated.  It's only a shared code holder.\n"
       "\n\tThere is an active RPOST process.\n",
       "", {" MPOSTAPL has terminated.  It's a shared code holder.", " There is an active RPOST process."}, true,
       "MPOSTAPL"},
      {"no code", "mpostapl", [](Demo& m) { m.pd32(kPdMem, 0); }, 0, false,
       "\n\n\t\t  >>> MPOSTAPL is not fully loaded! <<<\n\n", "",
       {" There is no code loaded for MPOSTAPL.", " MPOSTAPL appears to be in the process of being loaded."}},
      {"no code, no static data", "mpostapl",
       [](Demo& m) {
         m.pd32(kPdMem, 0);
         m.pd32(kPdMem + 4, 0);
       },
       0, false, "\n\n\t\t  >>> MPOSTAPL is not fully loaded! <<<\n\n", "",
       {" There is no code loaded for MPOSTAPL.  Nor is there any static data.",
        " MPOSTAPL appears to be in the process of being loaded."}},
      {"no static data, no stack", "mpostapl",
       [](Demo& m) {
         m.pd32(kPdMem + 4, 0);
         m.pd32(kPdMem + 12, 0);
       },
       0, false, "",
       " MPOSTAPL has no static data and no stack allocated.  It is probably\n"
       "     in the process of being loaded and is not yet executing.\n",
       {" MPOSTAPL has no static data and no stack allocated.  It is probably",
        "     in the process of being loaded and is not yet executing."}},
      {"registers of a process not yet running", "mpostapl",
       [](Demo& m) {
         testkit::Regs r;  // CS and DS zero
         r.ss = m.d.stack;
         m.pd32(8, m.k.regsav386(r));
       },
       -1, false, "",
       "\t This process is not completely loaded and is not executing.\n\n"
       "processdetails failed\n",
       {}},
      {"data segment not in the dump", "mpostapl",
       [](Demo& m) { m.b.set_slot(m.d.appl_proc, m.d.data >> 3, 0x00F00000, 0x7FFF, 0xF3); }, -1, true, "",
       "\nError occurred seeking to offset ffffffff.\n", {}},
  };
  const std::vector<std::string> dump_lines = {" Terminal 21 in Store 123 dumped at 14:32:07 on 3/14/2024",
                                               "    because there was an application program check.",
                                               " A General Protection Exception occurred at 67:0123 in process mpostapl."};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Demo screen;
    c.change(screen);
    RunResult r = screen.run({"0", c.appl, "SCREEN"});
    EXPECT_EQ(r.status, c.status);
    std::string consoles = c.consoles ? "  Processing console...\n  Processing console...\n" : "";
    EXPECT_EQ(r.err, "\n" + consoles + c.err);
    EXPECT_EQ(has(r.out, "\n\n SUB Consoles:\n\n\t\t\tStart of Screens for CON\n"), c.consoles);
    EXPECT_EQ(tail(r.out, c.out_end), c.out_end);
    EXPECT_FALSE(has(r.out, "MORVIK is ending normally."));

    Demo file;
    c.change(file);
    r = file.run({"0", c.appl, "report.txt"});
    EXPECT_EQ(r.status, c.status);
    std::vector<std::string> box = summary_box(file.file("REPORT.TXT"));
    std::vector<std::string> expect = dump_lines;
    if (!c.svc_by.empty()) expect.push_back(" The last SVC for " + c.svc_by + " was READ at time 14:31:59.968.");
    if (c.details) expect.push_back(" mpostapl's event bits look OK.");
    expect.insert(expect.end(), c.summary.begin(), c.summary.end());
    EXPECT_EQ(box, expect);
  }
}

TEST(BasicTest, CodeSignatures) {
  using morvik::CodeStart;
  struct Case {
    std::vector<std::pair<int, uint8_t>> bytes;  // the bytes set in 20 zero bytes
    bool shared;
    CodeStart expect;
  } cases[] = {
      {{{0, 0x81}, {1, 0xE4}, {2, 0xFE}, {3, 0xFF}}, false, CodeStart::TerminalBasic},
      {{{0, 0x81}, {1, 0xE4}, {2, 0xFE}, {3, 0xFF}}, true, CodeStart::TerminalBasic},
      {{{0, 0x81}, {1, 0xE4}, {2, 0xFE}, {3, 0xFE}}, false, CodeStart::Unknown},
      {{{14, 0xB8}, {15, 0x2A}, {16, 0x00}, {17, 0x50}}, false, CodeStart::Basic},
      {{{14, 0xB8}, {15, 0x2A}, {16, 0x00}, {17, 0x50}}, true, CodeStart::Unknown},  // not when shared
      {{{0, 0xEA}, {5, 0x9A}, {10, 0xEA}, {15, 0xB8}, {18, 0x50}, {19, 0xB8}}, true, CodeStart::Basic},
      {{{0, 0xEA}, {5, 0x9A}, {10, 0xEA}, {15, 0xB8}, {18, 0x50}, {19, 0xB9}}, true, CodeStart::Unknown},
      {{{0, 0x9A}, {5, 0xEA}, {10, 0xB8}, {13, 0x00}, {14, 0x50}, {15, 0xB8}}, true, CodeStart::Basic},
      {{{0, 0x9A}, {5, 0xB8}, {8, 0x50}, {9, 0xB8}, {12, 0x50}, {13, 0xB8}}, true, CodeStart::Basic},
      {{{0, 0x9A}, {5, 0xB8}, {8, 0x50}, {9, 0xB8}, {12, 0x50}, {13, 0xB9}}, true, CodeStart::Unknown},
      {{{0, 0x55}, {1, 0x8B}, {2, 0xEC}}, false, CodeStart::Unknown},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    unsigned char code[20] = {};
    for (auto [at, v] : cases[i].bytes) code[at] = v;
    EXPECT_EQ(morvik::basic_signature(code, cases[i].shared), cases[i].expect);
  }
}

TEST(BasicTest, TerminalRuntimeInAControllerDump) {
  DemoSpec cfg;
  cfg.variant = DumpVariant::PagedController;
  cfg.code = testkit::kTerminalBasicCode;
  Demo m(cfg);
  RunResult r = m.run({"0", "pvncsmll", "SCREEN"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has(r.out, "\n SUB Details of terminal application pvncsmll\n\n")) << r.out;
  EXPECT_TRUE(has(r.out, kEnd));

  cfg.code.clear();  // the controller runtime's code start
  Demo plain(cfg);
  r = plain.run({"0", "pvncsmll", "SCREEN"});
  EXPECT_TRUE(has(r.out, "\n SUB Details of pvncsmll:\n\n")) << r.out;
  EXPECT_FALSE(has(r.out, "appears not to be a BASIC app"));
}

namespace {

// An application on the C interface library: no runtime signature, the
// library's name in its code.
DemoSpec capit_app(DumpVariant v) {
  DemoSpec cfg;
  cfg.variant = v;
  cfg.code = Bytes(0x120, 0x90);
  cfg.code[0] = 0x55;
  const std::string text = "OMKCAPIT2 C interface";
  std::copy(text.begin(), text.end(), cfg.code.begin() + 0x100);
  return cfg;
}

}  // namespace

TEST(BasicTest, CInterfaceLibraryIsNotBasic) {
  Demo m(capit_app(DumpVariant::PagedController));
  m.pd16(kPdFlag, 0x0004);  // in an async error routine
  RunResult r = m.run({"0", "pvncsmll", "SCREEN"});
  EXPECT_EQ(r.status, 0) << r.err;
  // On the screen only this one summary text is printed, in line.
  EXPECT_TRUE(has(r.out, "\n SUB Application Memory Usage:")) << r.out;
  EXPECT_TRUE(has(r.out, "\n PVNCSMLL appears not to be a BASIC app.\n\t pvncsmll is in an async error routine.\n"))
      << r.out;
  EXPECT_TRUE(has(r.out, "\n SUB Details of terminal application pvncsmll\n"));
  EXPECT_FALSE(has(r.out, "event bits look OK"));
  EXPECT_FALSE(has(r.out, "SUMMARY"));

  Demo f(capit_app(DumpVariant::PagedController));
  f.pd16(kPdFlag, 0x0004);
  r = f.run({"0", "pvncsmll", "report.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::string report = f.file("REPORT.TXT");
  EXPECT_FALSE(has(report, "appears not to be a BASIC app.\r\n"));  // only in the box
  std::vector<std::string> box = summary_box(report);
  ASSERT_EQ(box.size(), 7u);
  EXPECT_EQ(box[3], " The last SVC for pvncsmll was READ at time 14:31:59.968.");
  EXPECT_EQ(box[4], " PVNCSMLL appears not to be a BASIC app.");
  EXPECT_EQ(box[5], " pvncsmll is in an async error routine.");
  EXPECT_EQ(box[6], " pvncsmll's event bits look OK.");

  // The flags the test leaves, on a session of its own.
  DumpBuilder b(DumpVariant::PagedController);
  KernelBuilder k(b);
  testkit::build_demo(b, k, capit_app(DumpVariant::PagedController));
  Fixture s(b);
  s.s.applname = "pvncsmll";
  s.s.APPL_NAME = "PVNCSMLL";
  morvik::getprocesslist(s.s);
  load_selected_ldt(s);
  morvik::basic_test(s.s);
  EXPECT_EQ(s.s.BASIC, 0);
  EXPECT_EQ(s.s.space.termappl, 1);
  EXPECT_EQ(s.s.CAPITMED, 1);
  EXPECT_EQ(s.s.CAPITLRG, 0);
}

constexpr const char* kNoNet = "\n\tCan't find net== ... this is probably not a BASIC application.\n";

TEST(BasicTest, DebugModeTreatsTheApplicationAsBasic) {
  Demo m(capit_app(DumpVariant::PagedTerminal));
  RunResult r = m.run({"0", "mpostapl", "SCREEN", "/d"});
  EXPECT_EQ(r.status, 0) << r.err;
  // The code start is dumped, and the run goes on as for a BASIC application.
  EXPECT_TRUE(has(r.out,
                  " MPOSTAPL appears not to be a BASIC app.\n"
                  "55909090 90909090 90909090 90909090  *U...............*\n"
                  "90909090                             *....*\n"))
      << r.out;
  // The runtime data of a terminal BASIC app: its code holds none, and the
  // run ends there.
  EXPECT_TRUE(has(r.err, "\t\t\t\texecuting at location 33\n"));
  EXPECT_EQ(tail(r.out, kNoNet), kNoNet);
}

TEST(ReportFlow, OsVersionIsTheFirstAboveTheOldest) {
  DemoSpec cfg;
  DumpBuilder b(cfg.variant);
  b.add_kernel_symbol("omkosver", testkit::le16_bytes(0x0101));  // found first, too old to be real
  KernelBuilder k(b);
  testkit::build_demo(b, k, cfg);
  TempDir dir;
  b.write(dir.file("dump.dat"));
  b.write_bsx(dir.file("kernel.bsx"));
  InFolder in(dir.path());
  RunResult r = testkit::run_entry(morvik_main, {"morvik", "dump.dat", "kernel.bsx", "0", "mpostapl", "SCREEN"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(has(r.out, "MORVIK program date - 05/26/2010\n\n\tVELA OS Version 4 Release 1\n\n")) << r.out;
}

TEST(Rpost, BatchFileFromTheSavedAnswers) {
  auto with_rpost = [](Demo& m) {
    testkit::ProcSpec rpost;
    rpost.name = "rpostapl";
    rpost.pid = 0x40;
    add_app(m.b, m.k, rpost);
  };
  // With a SYM file the answers hold the limits: the batch file is complete.
  Demo m;
  with_rpost(m);
  RunResult r = m.run({"appl.sym", "mpostapl", "25", "512", "report.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(m.file("rpost.bat"), "morvik dump.dat kernel.bsx appl.sym rpost  25 512 \r\n");
  std::string notice = "\n  There is an active RPOST process.  Run RPOST.BAT to format it.\n";
  EXPECT_EQ(tail(r.err, notice), notice);
  std::vector<std::string> box = summary_box(m.file("REPORT.TXT"));
  ASSERT_FALSE(box.empty());
  EXPECT_EQ(box.back(), " There is an active RPOST process.");
  std::string report = m.file("REPORT.TXT");
  std::string closing = "\r\nThis dump was formatted using SYM file APPL.SYM.\r\n\r\nMORVIK is ending normally.\r\n";
  EXPECT_EQ(tail(report, closing), closing);

  // Without one the answers have five lines: no batch file is left, not
  // even an old one.
  Demo five;
  with_rpost(five);
  testkit::write_text(five.dir.file("rpost.bat"), "old\r\n");
  r = five.run({"0", "mpostapl", "SCREEN"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(five.file("appargs"), "0.000000\r\ndump.dat\r\nkernel.bsx\r\n0\r\nmpostapl\r\n");
  EXPECT_FALSE(std::filesystem::exists(five.dir.file("rpost.bat")));
  // Nothing follows the notice (the serial question before it was declined).
  notice = "    OK!\n\n  There is an active RPOST process.";
  EXPECT_EQ(tail(r.err, notice), notice);
  closing = "\nThis dump was formatted without a SYM or CDV file.\n\nMORVIK is ending normally.\n";
  EXPECT_EQ(tail(r.out, closing), closing);
}

TEST(Rpost, ABatchFileThatCannotBeWrittenEndsTheRunWithStatus1) {
  Demo m;
  testkit::ProcSpec rpost;
  rpost.name = "rpostapl";
  rpost.pid = 0x40;
  add_app(m.b, m.k, rpost);
  std::filesystem::create_directories(m.dir.file("rpost.bat/keep"));  // no file can be made by that name
  RunResult r = m.run({"appl.sym", "mpostapl", "25", "512", "SCREEN"});
  EXPECT_EQ(r.status, 1);
  // The reason is the system's own text (on Linux "Is a directory").
  const std::string line = "\n  There is an active RPOST process.\n\tCannot write rpost.bat: ";
  ASSERT_TRUE(has(r.err, line)) << r.err;
  std::string reason = r.err.substr(r.err.find(line) + line.size());
  EXPECT_TRUE(reason.size() > 1 && reason.find('\n') == reason.size() - 1) << r.err;
  EXPECT_FALSE(has(r.out, "MORVIK is ending normally."));
}

TEST(Rpost, BatchTextFromAnswerLines) {
  struct Case {
    const char* appargs;
    const char* batch;
  } cases[] = {
      {"t\r\nd.dat\r\nk.bsx\r\na.sym\r\nmpostapl\r\n25\r\n512\r\n", "morvik d.dat k.bsx a.sym rpost  25 512 "},
      {"t\nd.dat\nk.bsx\na.sym\nmpostapl\n25\n", "morvik d.dat k.bsx a.sym rpost  25 25 "},  // no line 7
      {"t\nd.dat\nk.bsx\na.sym\nmpostapl\n25\n51", "morvik d.dat k.bsx a.sym rpost  25 51 "},
      {"t\nd.dat\nk.bsx\na.sym\nmpostapl\n25", ""},  // line 6 without its line end
      {"t\nd.dat\nk.bsx\n0\nmpostapl\n", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(morvik::rpost_batch(c.appargs), c.batch) << c.appargs;

  // A name longer than the 80 characters of a line read is not cut into
  // a wrong one: the batch file is not made.
  const std::string dir80 = "C:/" + std::string(73, 'd') + "/";  // 77 characters
  EXPECT_EQ(morvik::rpost_batch("t\n" + dir80 + "abc\nk.bsx\na.sym\nmpostapl\n25\n512\n"),
            "morvik " + dir80 + "abc k.bsx a.sym rpost  25 512 ");
  EXPECT_EQ(morvik::rpost_batch("t\n" + dir80 + "abcd\nk.bsx\na.sym\nmpostapl\n25\n512\n"), "");
  EXPECT_EQ(morvik::rpost_batch("t\nd.dat\nk.bsx\na.sym\n" + dir80 + "abcd\n25\n512\n"),
            "morvik d.dat k.bsx a.sym rpost  25 512 ");  // the fifth line is not used
}

// A 3.5 GiB dump whose application lies at 3 GiB reads as the same dump
// with the application next to the kernel.
TEST(ReportFlow, ApplicationPagesPast2GiBFormatLikeACompactDump) {
  std::string report[2];
  for (int big = 0; big < 2; ++big) {
    DemoSpec cfg;
    if (big) {
      cfg.size = 0xE0000000;
      cfg.appl_frames = 0xC0000000;
    }
    Demo m(cfg);
    if (big) {
      ASSERT_GE(m.b.process_dump_offset(m.d.appl_proc, uint32_t{m.d.code} << 16), 0xC0000000u);
    }
    RunResult r = m.run({"appl.sym", "mpostapl", "25", "512", "report.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    report[big] = m.file("REPORT.TXT");
  }
  EXPECT_TRUE(has(report[1], "\r\n SUB Details of terminal application mpostapl\r\n"));
  EXPECT_TRUE(has(report[1], "\r\nMORVIK is ending normally.\r\n"));
  EXPECT_EQ(report[1], report[0]);
}
