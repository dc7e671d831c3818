// The open files and pipes (each control-block form of the file-number
// table) and the file system's operations trace.
// GCC 12 at -O3 (the Windows builds) takes the strings of the case tables'
// defaulted members for uninitialized where they are copied.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "morvik/sections/dopipes.h"
#include "morvik/sections/dumpfunc_svc.h"
#include "testkit/devicebuilder.h"
#include "testkit/kernelbuilder.h"
#include "testkit/svcbuilder.h"
#include "tests/morvik/procs_fixture.h"

using morvik_test::Fixture;
using testkit::DeviceBuilder;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::FileSpec;
using testkit::FsOp;
using testkit::PipeSpec;
using testkit::SvcBuilder;

// The descriptions name only the fields that matter; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

const char* const kHeadingTail =
    "    A non-zero Rnid field indicates that the pipe or file was opened from\n"
    "    another system on the LAN.  Rpid identifies the process which has the\n"
    "    file or pipe open.    (The Rpid of MPOSTAPL is 0023.)\n"
    "\t\t\t\t\t\t\t\t Semaphor\n"
    " Fname\t\t\t  Fnum     Mngr  Rnid  Rpid  Rfid  Owner  Holder\n";

void application(Fixture& f) {
  morvik::_pd pd{};
  std::memcpy(pd.p_name, "MPOSTAPL  ", 10);
  pd.p_pid = 0x23;
  f.s.applprocess = pd;
  f.s.APPL_NAME = "MPOSTAPL";
}

PipeSpec pipe(const std::string& name, bool owned = false) {
  PipeSpec p;
  p.name = name;
  p.bufsiz = 8;
  p.data = {'d', 'a', 't', 'a'};
  p.cnt = 4;
  p.semaphore = owned;
  p.owner = 0x31;
  return p;
}

}  // namespace

TEST(OpenFiles, EachControlBlockFormOfAController) {
  DumpBuilder b(DumpVariant::PagedController);
  DeviceBuilder dev(b);
  std::vector<uint32_t> pipes = dev.add_pipes({pipe("PIPEAPPL10", true)});
  SvcBuilder svc(b);
  svc.file_tables(4, 16, 8);
  svc.add_file({.entry = 0, .mod = 2, .name = "C:/ADX_UDT1/EJ.DAT", .rpid = 0x23, .rfid = 0x7FE0});
  svc.add_file({.entry = 1, .mod = 1, .pipe = pipes[0], .rpid = 0x23, .rfid = 0x7FE4});
  svc.add_file({.entry = 2, .mod = 7, .name = "DEVICE:XYZ", .fnt_rnid = 2, .fnt_rpid = 0x24});
  svc.add_file({.entry = 3, .mod = 6, .name = "ADXLXACN::C:/F.DAT\r\nrest", .fnt_rpid = 0x25});
  svc.add_file({.entry = 4, .mod = 6, .name = std::string(40, 'N') + "after", .fnt_rpid = 0x25});
  svc.add_file({.entry = 5, .mod = 3, .fnt_rpid = 0x26});
  svc.add_file({.entry = 6, .mod = 5, .fnt_rpid = 0x26});
  svc.add_file({.entry = 7, .mod = 9, .fnt_rpid = 0x26});
  svc.add_file({.entry = 8, .olist = true, .name = "REMOTE.DAT", .rnid = 3, .rpid = 0x27, .rfid = 0x7FE9});
  svc.add_file({.entry = 9, .olist = true, .device = true, .name = "REMOTEDEV", .rnid = 3, .rpid = 0x27, .rfid = 0x7FEE});
  svc.add_file({.entry = 10, .unique = 0, .mod = 2, .name = "FREE.DAT"});
  // Entry 5 of table 2, shift 8: 0x01230205. Table 3 names table 2 again.
  svc.add_file({.table = 2, .entry = 5, .unique = 0x0123, .mod = 2, .name = "T2E5", .rpid = 0x40, .rfid = 0x1234});
  svc.alias_table(3, 2);
  Fixture f(b);
  application(f);
  morvik::showfnums(f.s);
  const std::string alias = f.out.str().substr(f.out.str().find("*** File-number tables"));
  EXPECT_EQ(f.out.str(),
            std::string("\n\n SUB Open Files and Pipes on this controller:\n\n") + kHeadingTail +
                " C:/ADX_UDT1/EJ.DAT       00010000 DISK     0  0023  7fe0  DDA  \n"
                " PIPEAPPL10               00010001 PIPE     0  0023  7fe4  CON    0031\n"
                " DEVICE:XYZ               00010002 MISC     2  0024\n"
                " ADXLXACN::C:/F.DAT       00010003 NET         0025\n"
                " " + std::string(40, 'N') + " 00010004 NET         0025\n"
                "\t\t\t  00010005 CON         0026\n"
                "\t\t\t  00010006 NFS         0026\n"
                "\t\t\t  00010007 EXT?        0026\n"
                " REMOTE.DAT               00010008 FILE  0003    27  7fe9  SNA  \n"
                " REMOTEDEV                00010009 DEV   0003    27  7fee  TSS  \n"
                " T2E5                     01230205 DISK     0  0040  1234       \n" +
                alias);
  EXPECT_EQ(alias.substr(alias.find(';')), "; it is listed once.\n");
  // The application's pipe, its 10-character name whole.
  ASSERT_EQ(f.s.openfiles.pipelist.size(), 1u);
  EXPECT_EQ(f.s.openfiles.pipelist[0].name, "PIPEAPPL10");
}

TEST(OpenFiles, ANetworkFileOfATerminal) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  SvcBuilder svc(b);
  svc.file_tables(1, 4, 8);
  svc.add_file({.entry = 2, .mod = 6, .name = "ADXLXACN::C:/F.DAT", .rnid = 1, .rpid = 0x23, .rfid = 0x7FE8});
  Fixture f(b);
  f.s.debugmode = 1;  // the code symbols' prologs come first
  morvik::showfnums(f.s);
  std::string out = f.out.str();
  EXPECT_EQ(out.find("\n\nCode Symbols in the Application are:\n"), 0u);
  out = out.substr(out.find("\n\n SUB Open Files"));
  EXPECT_EQ(out.substr(0, 30), "\n\n SUB Open Files and Pipes:\n\n");
  EXPECT_EQ(out.substr(out.find(" Fname")),
            " Fname\t\t\t  Fnum     Mngr  Rnid  Rpid  Rfid  Owner  Holder\n"
            " ADXLXACN::C:/F.DAT       00010002 NET      1  0023  7fe8\n");
}

TEST(OpenFiles, APipeOpenedTwiceIsDumpedOnce) {
  DumpBuilder b(DumpVariant::ELTerminal);
  DeviceBuilder dev(b);
  std::vector<uint32_t> pipes = dev.add_pipes({pipe("APPLPIPE"), pipe("OTHERS")});
  SvcBuilder svc(b);
  svc.file_tables(2, 4, 8);
  svc.add_file({.entry = 0, .mod = 1, .pipe = pipes[0], .rpid = 0x23});
  svc.add_file({.table = 1, .entry = 3, .mod = 1, .pipe = pipes[0], .rpid = 0x23});
  svc.add_file({.entry = 1, .mod = 1, .pipe = pipes[1], .rpid = 0x30});
  Fixture f(b);
  application(f);
  morvik::showfnums(f.s);
  ASSERT_EQ(f.s.openfiles.pipelist.size(), 1u);
  f.out.str("");
  morvik::dopipes(f.s);
  EXPECT_EQ(f.out.str(),
            "\n\n SUB Pipe Dump:  pipes open by/for MPOSTAPL (trailing zeros are not formatted)\n\n  "
            "APPLPIPE Bufsize    8  count 4   Next read at    0 \n  "
            "64 61 74 61                                       data\n\n  \n");
}

TEST(FileOperationsTrace, OldestFirstWithNamesDataAndProcesses) {
  DumpBuilder b(DumpVariant::PagedController);
  SvcBuilder svc(b);
  FsOp write{.func = 9, .rc = 0, .rpid = 0x99};
  FsOp read{.func = 8, .rc = 16, .rpid = 0x23, .time = static_cast<int32_t>(testkit::msecs(1, 2, 3)) + 456,
            .name = "ABC", .offset = 0x100, .data = std::string("HELLO\nWORLD\0\aabc", 16)};
  FsOp open{.func = 6, .rc = -5, .rpid = 0x40, .rnid = 2, .time = 10999, .name = "C:/ADX_UDT1/X.DAT"};
  svc.fs_trace({write, read, open}, 1);
  Fixture f(b);
  f.s.plist.push_back({0x23, "MPOSTAPL"});
  f.s.plist.push_back({0x99 + 1, "OTHER"});
  morvik::showfnums(f.s);  // the trace alone: no file-number tables
  EXPECT_EQ(f.out.str(),
            "\n\n\n SUB File Operations Trace:  the last 200 file operations ordered from\n     oldest to latest\n\n"
            "   Function READ     Offset 00000100\t\t       Time 01:02:03"
            "\n     File ABC              Rnid   0  Rpid   23  Process MPOSTAPL  "
            "\n     Retc 0010 Success"
            "\n     Data 48454C4C4F0A574F524C440007616263\tHELLO.WORLD..abc\n\n"
            "   Function OPEN   \t\t\t\t       Time 00:00:10"
            "\n     File C:/ADX_UDT1/X.DA Rnid   2  Rpid   40"
            "\n     Retc fffffffb\n\n"
            "   Function WRITE    Offset 00000000\t\t       Time 00:00:00"
            "\n     File                  Rnid   0  Rpid   99"
            "\n     Retc 0000 Success\n\n");
}

TEST(FileOperationsTrace, ANextSlotOutsideTheTraceEndsItWithOneLine) {
  for (int damage : {0, 1, 2}) {
    DumpBuilder b(DumpVariant::ELController);
    SvcBuilder svc(b);
    svc.fs_trace({{.func = 8, .rc = 1}}, 0);
    uint32_t trace = svc.fs_trace_addr();
    svc.set_fs_tptr(damage == 0 ? trace + 200 * 80 : damage == 1 ? trace - 80 : trace + 0x10000);
    Fixture f(b);
    morvik::showfnums(f.s);
    std::string out = f.out.str();
    size_t at = out.find("oldest to latest\n\n");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(out.substr(at + 18, 42), "*** The file operations trace's next slot ");
    EXPECT_EQ(out.back(), '\n');
    EXPECT_EQ(std::count(out.begin() + static_cast<std::ptrdiff_t>(at) + 18, out.end(), '\n'), 1);
  }
}

TEST(OpenFiles, NamesOfFunctionsManagersAndDevices) {
  EXPECT_STREQ(morvik::getFunction(27), "GSX    ");
  EXPECT_STREQ(morvik::getFunction(28), "????");
  EXPECT_STREQ(morvik::getFunction(-1), "????");
  EXPECT_STREQ(morvik::getfid(0x7FE1), "DDA  ");
  EXPECT_STREQ(morvik::getfid(0x7FE7), "     ");
  EXPECT_EQ(morvik::devname("OMKPIPR"), "CR:");
  EXPECT_EQ(morvik::devname("OMKPIR3"), "SERIAL 3");
  EXPECT_EQ(morvik::devname("OMKPIPRX"), "OMKPIPRX");
  EXPECT_STREQ(morvik::svc_name(31), "F_EXCEPTION");
  EXPECT_STREQ(morvik::svc_name_unpadded(32), "F_ENABLE ");
  EXPECT_STREQ(morvik::svc_name(60), "????     ");
}
