// The dialogue: answers from the command line, "appargs" and the operator,
// the files it opens and the refusals that end a run.
#include <gtest/gtest.h>

#include "morvik/driver/morvik.h"
#include "testkit/run.h"
#include "tests/morvik/driver/dialogue_fixture.h"
#include "tests/morvik/fixture.h"

using morvik_test::Folder;
using morvik_test::InFolder;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::read_text;
using testkit::run_entry;
using testkit::TempDir;
using testkit::write_text;

namespace {

const char* kBanner =
    "\n"
    "\t###############################################################\n"
    "\t#                                                             #\n"
    "\t#      MORVIK:  VELA BASIC Controller or Terminal Big        #\n"
    "\t#              Memory Model Dump Formatter                    #\n"
    "\t#                                                 05/26/2010  #\n"
    "\t###############################################################\n";

// Runs the banner and the dialogue on a session that the test can inspect.
struct Dialogue {
  Dialogue(std::vector<std::string> args, const std::string& input) : in(input) {
    args.insert(args.begin(), "morvik");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    try {
      morvik::morvik_banner(s, static_cast<int>(argv.size()), argv.data());
      morvik::dialogue(s, static_cast<int>(argv.size()), argv.data());
    } catch (const vt::RunEnd& e) {
      status = e.status;
    }
  }
  std::istringstream in;
  std::ostringstream out, err;
  vt::Console con{in, out, err};
  morvik::Session s{con};
  int status = 1000;
};

}  // namespace

TEST(Dialogue, DefaultsWithoutAppargs) {
  Folder f;
  write_text("omkTS10L.SYM", "0A10 KEY\n");
  auto r = run_entry(morvik_main, {"morvik"}, "\n\n\n\n\n\n\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "\n     Name of dump file (default omkcsltf.dat):  "
            "\n     Name of BSX file (default omkrt8gl.bsx):  "
            "\n     Name of SYM or CDV file (default omkTS10L.SYM.  Enter 0 if none):  "
            "\n     Application process name (default mpostapl.  Enter 0 if none):  "
            "\n     Max number of array elements shown (1 - 5000, default = 25):  "
            "\n     Max length of string shown (default = 512):  "
            "\n     Name of output file (default \"SCREEN\"):  "
            "\n"
            "\n\tCannot find \"mpostapl\" process in this dump.\n");  // the report's end: an empty dump
  std::string start = std::string(kBanner) +
                      "The BSX file being used is \"omkrt8gl.bsx\"\n"
                      "MORVIK program date - 05/26/2010\n";
  EXPECT_EQ(r.out.substr(0, start.size()), start);
  EXPECT_EQ(read_text("appargs"),
            "0.000000\r\nomkcsltf.dat\r\nomkrt8gl.bsx\r\nomkTS10L.SYM\r\nmpostapl\r\n25\r\n512\r\n");
}

TEST(Dialogue, DefaultsFollowTheDumpKindAndPrefix) {
  struct Case {
    DumpVariant v;
    const char* dump;
    const char* bsx;
  } cases[] = {{DumpVariant::PagedController, "dump.dat", "ct8sl.bsx"},
               {DumpVariant::MarraTerminal, "dump.dat", "rt1sl.bsx"},
               {DumpVariant::ELTerminal, "dump.dat", "rt8gl.bsx"},
               {DumpVariant::PagedTerminal, "d\\omkcsltf.dat", "d\\omkrt8gl.bsx"},
               {DumpVariant::PagedController, "xyzcslcf.dat", "xyzct8sl.bsx"}};
  for (const auto& c : cases) {
    Folder f(c.v, c.dump, "");
    auto r = run_entry(morvik_main, {"morvik"}, std::string(c.dump) + "\n\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, std::string("\n     Name of dump file (default omkcsltf.dat):  ") +
                         "\n     Name of BSX file (default " + c.bsx + "):  " + "\n\tCannot open " + c.bsx + "\n");
  }
  {
    Folder f(DumpVariant::PagedController, "omkcsltf.dat", "omkct8sl.bsx");
    auto r = run_entry(morvik_main, {"morvik"}, "\n\n\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("(default omkCSMLL.SYM.  Enter 0 if none):  \n\tCannot open SYM or CDV file omkCSMLL.SYM\n"),
              std::string::npos)
        << r.err;
  }
}

TEST(Dialogue, DefaultsFromAppargs) {
  Folder f(DumpVariant::PagedTerminal, "my.dat", "my.bsx");
  write_text("appargs", "0.000000\nmy.dat\nmy.bsx\n0\nmyappl\n");
  auto r = run_entry(morvik_main, {"morvik"}, "\r\n\n0\n\n\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "\n     Name of dump file (default my.dat):  "
            "\n     Name of BSX file (default my.bsx):  "
            "\n     Name of SYM or CDV file (default TS10L.SYM.  Enter 0 if none):  "
            "\n     Application process name (default myappl.  Enter 0 if none):  "
            "\n     Name of output file (default \"SCREEN\"):  "
            "\n"
            "\n\tCannot find \"myappl\" process in this dump.\n");
  EXPECT_EQ(read_text("appargs"), "0.000000\r\nmy.dat\r\nmy.bsx\r\n0\r\nmyappl\r\n");
}

TEST(Dialogue, AnswersTypedWithCrLfLineEnds) {
  // A CR LF after a typed word is its one newline: each answer lands on its
  // own prompt.
  Folder f;
  write_text("app.sym", "0A10 KEY\n");
  Dialogue d({}, "omkcsltf.dat\r\nomkrt8gl.bsx\r\napp.sym\r\nmyappl\r\n30\r\n100\r\nSCREEN\r\n");
  EXPECT_EQ(d.status, 1000) << d.err.str();
  EXPECT_EQ(d.s.applname, "myappl");
  EXPECT_EQ(d.s.userArrayLimit, 30);
  EXPECT_EQ(d.s.userStringLimit, 100);
  EXPECT_TRUE(d.s.outfile.is_screen());
  EXPECT_EQ(read_text("appargs"),
            "0.000000\r\nomkcsltf.dat\r\nomkrt8gl.bsx\r\napp.sym\r\nmyappl\r\n30\r\n100\r\n");
}

TEST(Dialogue, TypingADumpNameDiscardsTheSavedDefaults) {
  Folder f(DumpVariant::PagedTerminal, "my.dat", "my.bsx");
  const char* saved = "0.000000\r\nmy.dat\r\nmy.bsx\r\n0\r\nmyappl\r\n";
  write_text("appargs", saved);
  auto r = run_entry(morvik_main, {"morvik"}, "my.dat\n\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "\n     Name of dump file (default my.dat):  "
            "\n     Name of BSX file (default rt8gl.bsx):  "
            "\n\tCannot open rt8gl.bsx\n");
  EXPECT_EQ(read_text("appargs"), saved);  // a failed run leaves the answers alone
}

TEST(Dialogue, ArrayLimits) {
  struct Case {
    const char* arg;
    uint16_t limit;
    bool warned;
  } cases[] = {{"0", 5000, true}, {"6000", 5000, true}, {"5000", 5000, false}, {"-1", 5000, true}, {"1", 1, false}};
  Folder f;
  write_text("app.sym", "0A10 KEY\n");
  for (const auto& c : cases) {
    Dialogue d({"omkcsltf.dat", "omkrt8gl.bsx", "app.sym", "mpostapl", c.arg, "100", "SCREEN"}, "");
    EXPECT_EQ(d.status, 1000) << d.err.str();
    EXPECT_EQ(d.s.userArrayLimit, c.limit) << c.arg;
    EXPECT_EQ(d.err.str(), c.warned ? "\n\tInvalid array limit entered... using max 5000.\n" : "\n") << c.arg;
    EXPECT_EQ(d.s.userStringLimit, 100);
  }
  // Typed at the prompts: digits rebuilt as a decimal number.
  Dialogue d({"omkcsltf.dat", "omkrt8gl.bsx", "app.sym", "mpostapl"}, "6000\n77\n\n");
  EXPECT_EQ(d.s.userArrayLimit, 5000);
  EXPECT_EQ(d.s.userStringLimit, 77);
  EXPECT_EQ(d.err.str(),
            "\n     Max number of array elements shown (1 - 5000, default = 25):  "
            "\n\tInvalid array limit entered... using max 5000."
            "\n     Max length of string shown (default = 512):  "
            "\n     Name of output file (default \"SCREEN\"):  \n");
  EXPECT_EQ(read_text("appargs"),
            "0.000000\r\nomkcsltf.dat\r\nomkrt8gl.bsx\r\napp.sym\r\nmpostapl\r\n5000\r\n77\r\n");
}

TEST(Dialogue, SymOrCdvFile) {
  struct Case {
    const char* name;
    bool cdv;
  } cases[] = {{"APP.CDV", true}, {"app.cdv.bak", false}, {"dir.x/app.cdv", false}, {"App.Sym", false}};
  Folder f;
  std::filesystem::create_directory("dir.x");
  for (const auto& c : cases) {
    write_text(c.name, "0A10 KEY\n");
    Dialogue d({"omkcsltf.dat", "omkrt8gl.bsx", c.name, "MPostApl", "25", "512", "SCREEN"}, "");
    EXPECT_EQ(d.status, 1000) << c.name << d.err.str();
    EXPECT_EQ(d.s.cdvfile.is_open(), c.cdv) << c.name;
    EXPECT_EQ(d.s.symfile.is_open(), !c.cdv) << c.name;
    EXPECT_EQ(d.s.applname, "mpostapl");
    EXPECT_EQ(d.s.APPL_NAME, "MPOSTAPL");
  }
  Dialogue d({"omkcsltf.dat", "omkrt8gl.bsx", "App.Sym", "x"}, "");
  EXPECT_EQ(d.s.symfilename, "app.sym");
}

TEST(Dialogue, RefusedSymFiles) {
  Folder f;
  testkit::write_file("APP.SYM", Bytes{9, 0, 0});
  testkit::write_file("ONE.SYM", Bytes{1});
  struct Case {
    const char* name;
    const char* err;
  } cases[] = {{"APP.SYM", "\n\t  app.sym appears to be an executable, not a SYM file.\n"},
               {"ONE.SYM", "\n\t  one.sym appears to be an executable, not a SYM file.\n"},
               {"NONE.SYM", "\n\tCannot open SYM or CDV file NONE.SYM\n"}};
  for (const auto& c : cases) {
    auto r = run_entry(morvik_main, {"morvik", "omkcsltf.dat", "omkrt8gl.bsx", c.name});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, c.err);
    EXPECT_FALSE(std::filesystem::exists("appargs"));
  }
}

TEST(Dialogue, HelpAndTrailingOptions) {
  Folder f;
  auto r = run_entry(morvik_main, {"morvik", "?"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(kBanner) + "\n\tThis tool formats BASIC big model terminal and controller dumps.\n\n");
  EXPECT_EQ(r.err, "");

  r = run_entry(morvik_main, {"morvik", "?", "/d"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "\t\t\t\texecuting at location 1\n");

  // "/d" alone is no help request; the dialogue starts.
  r = run_entry(morvik_main, {"morvik", "/d"}, "nothere.dat\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "\t\t\t\texecuting at location 1\n"
            "\n     Name of dump file (default omkcsltf.dat):  "
            "\t\t\t\texecuting at location 2\n"
            "\n\tCannot open nothere.dat\n");

  // Two names and "/d": the option is never a file name.
  Dialogue d({"omkcsltf.dat", "omkrt8gl.bsx", "/d"}, "0\n\n\n");
  EXPECT_EQ(d.status, 1000);
  EXPECT_EQ(d.s.debugmode, 1);
  EXPECT_EQ(d.err.str(),
            "\t\t\t\texecuting at location 1\n"
            "\t\t\t\texecuting at location 2\n"
            "\t\t\t\texecuting at location 3\n"
            "\t\t\t\texecuting at location 4\n"
            "\t\t\t\texecuting at location 5\n"
            "\n     Name of SYM or CDV file (default omkTS10L.SYM.  Enter 0 if none):  "
            "\t\t\t\texecuting at location 6\n"
            "\n     Application process name (default mpostapl.  Enter 0 if none):  "
            "\t\t\t\texecuting at location 7\n"
            "\n     Name of output file (default \"SCREEN\"):  "
            "\t\t\t\texecuting at location 10\n"
            "\n"
            "\t\t\t\texecuting at location 11\n");

  Dialogue h({"omkcsltf.dat", "omkrt8gl.bsx", "0", "x", "/dh"}, "\n");
  EXPECT_EQ(h.s.heap_debugmode, 1);
  EXPECT_EQ(h.s.debugmode, 0);
  EXPECT_EQ(h.s.applname, "x");
}

TEST(Dialogue, DumpRefusals) {
  Folder f;
  testkit::write_file("bad.dat", Bytes{0x12, 0x34, 0, 0, 0, 0, 0, 0});
  testkit::write_file("empty.dat", Bytes{});
  testkit::write_file("cut.dat", Bytes{'V', 'T', 0, 0, 0x00, 0x00, 0x10, 0x00});  // kernel at 1 MB, file 8 bytes
  for (const char* name : {"bad.dat", "empty.dat", "cut.dat"}) {
    auto r = run_entry(morvik_main, {"morvik", name});
    EXPECT_EQ(r.status, -1) << name;
    EXPECT_EQ(r.err, "\n\tDump is incomplete.\n") << name;
  }
  auto r = run_entry(morvik_main, {"morvik", "nothere.dat"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\n\tCannot open nothere.dat\n");

  // An answer longer than its buffer is cut to 79 characters.
  r = run_entry(morvik_main, {"morvik"}, std::string(200, 'x') + "\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("\n\tCannot open " + std::string(79, 'x') + "\n"), std::string::npos);
}

TEST(Dialogue, OutputFile) {
  Folder f;
  auto r = run_entry(morvik_main, {"morvik", "omkcsltf.dat", "omkrt8gl.bsx", "0", "mpostapl", "report.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  // Without a SYM file the fifth answer names the output, upper-cased; a
  // report file has CR LF line ends.
  EXPECT_EQ(read_text("REPORT.TXT").substr(0, 34), "MORVIK program date - 05/26/2010\r\n");

  // A name with blanks, typed at the prompt.
  r = run_entry(morvik_main, {"morvik", "omkcsltf.dat", "omkrt8gl.bsx", "0", "mpostapl"}, "my report.txt\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_text("my report.txt").substr(0, 34), "MORVIK program date - 05/26/2010\r\n");

  std::filesystem::remove("appargs");
  r = run_entry(morvik_main, {"morvik", "omkcsltf.dat", "omkrt8gl.bsx", "0", "mpostapl", "nodir/x.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\n\tCannot open NODIR/X.TXT\n");
  EXPECT_FALSE(std::filesystem::exists("appargs"));
}

TEST(Dialogue, CommandLineOutputAndSerialNamesAreReadAsWords) {
  struct Case {
    std::vector<std::string> args;
    const char* output;
    const char* serial;
  } cases[] = {
      {{"omkcsltf.dat", "omkrt8gl.bsx", "app.sym", "x", "25", "512", "rep one.txt", " ser.bsx more"}, "REP", "ser.bsx"},
      {{"omkcsltf.dat", "omkrt8gl.bsx", "app.sym", "x", "25", "512", "", " "}, "SCREEN", ""},
      {{"omkcsltf.dat", "omkrt8gl.bsx", "0", "x", " two words"}, "TWO", ""},
      {{"omkcsltf.dat", "omkrt8gl.bsx", "0", "x", ""}, "SCREEN", ""},
  };
  Folder f;
  write_text("app.sym", "0A10 KEY\n");
  for (const auto& c : cases) {
    Dialogue d(c.args, "");
    EXPECT_EQ(d.status, 1000) << d.err.str();
    EXPECT_EQ(d.s.outfilename, c.output);
    EXPECT_EQ(d.s.serialBSXfile, c.serial);
  }
}

TEST(Dialogue, BsxNamesOnTheCommandLine) {
  struct Case {
    DumpVariant v;
    const char* given;
    const char* used;
  } cases[] = {{DumpVariant::MarraTerminal, "omkRT8GL.BSX", "omkRT1SL.BSX"},
               {DumpVariant::ELController, "omkRT8GL.BSX", "omkCT8SL.BSX"},
               {DumpVariant::ELTerminal, "omkRT8GL.BSX", "omkRT8GL.BSX"},
               {DumpVariant::PagedTerminal, "omkRT8GL.BSX", "omkRT8GL.BSX"},
               {DumpVariant::MarraTerminal, "RT8GL.BSX", "RT8GL.BSX"}};  // 9 characters: left alone
  for (const auto& c : cases) {
    Folder f(c.v, "omkcsltf.dat", c.used);
    Dialogue d({"omkcsltf.dat", c.given, "0", "x"}, "\n");
    EXPECT_EQ(d.status, 1000) << c.given << d.err.str();
    EXPECT_NE(d.out.str().find(std::string("The BSX file being used is \"") + c.used + "\"\n"), std::string::npos);
  }
}

TEST(Dialogue, BsxMustFitTheDump) {
  {
    Folder f(DumpVariant::MarraTerminal, "omkcsltf.dat", "");
    DumpBuilder paged(DumpVariant::PagedTerminal);
    paged.write_bsx("omkrt8gl.bsx");
    auto r = run_entry(morvik_main, {"morvik", "omkcsltf.dat", "omkrt8gl.bsx"});
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.err,
              "\n\tIt's a MARRA dump, but omkrt8gl.bsx is NOT a MARRA BSX file.\n"
              "\n\tNext time try omkrt1sl.bsx\n");
  }
  {
    Folder f(DumpVariant::PagedTerminal, "omkcsltf.dat", "");
    DumpBuilder marra(DumpVariant::MarraTerminal);
    marra.write_bsx("omkrt1sl.bsx");
    auto r = run_entry(morvik_main, {"morvik", "omkcsltf.dat", "omkrt1sl.bsx"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "\n\tThis appears to be a MARRA BSX file, but it's NOT a MARRA dump.\n");
  }
}

TEST(Dialogue, ElNoteAndSerialBsx) {
  Folder f(DumpVariant::ELTerminal);
  Dialogue d({"omkcsltf.dat", "omkrt8gl.bsx", "0", "mpostapl", "SCREEN", "ser.bsx"}, "");
  // Six answers without a SYM file: the seventh (output) is the fifth.
  EXPECT_EQ(d.status, 1000);
  const std::string note =
      "\nNOTE: This is a VELA EL dump.  If MORVIK fails to run correctly, ensure\n"
      "that you specified the correct kernal BSX file (VX_RT8GL.BSX or nnnRT8GL.BSV).\n\n";
  EXPECT_NE(d.out.str().find("MORVIK program date - 05/26/2010\n" + note), std::string::npos);
  EXPECT_EQ(d.err.str(), note + "\n");
  Dialogue e({"omkcsltf.dat", "omkrt8gl.bsx", "0", "mpostapl", "5", "6", "SCREEN", "ser.bsx"}, "");
  EXPECT_EQ(e.s.serialBSXfile, "ser.bsx");
}

TEST(Dialogue, MissingGdtSymbolEndsTheRun) {
  TempDir dir;
  InFolder in(dir.path());
  DumpBuilder b(DumpVariant::PagedTerminal);
  b.omit_symbol("p_syspd");
  b.write("omkcsltf.dat");
  b.write_bsx("omkrt8gl.bsx");
  auto r = run_entry(morvik_main, {"morvik", "omkcsltf.dat", "omkrt8gl.bsx", "0", "mpostapl"}, "\n");
  EXPECT_EQ(r.status, -1);
  EXPECT_NE(r.err.find("\n\tCannot find GDT - the BSX file has no \"p_syspd\" symbol.\n"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists("appargs"));  // the answers were saved before
}

TEST(Dialogue, InstalledBinary) {
  Folder f;
  std::string morvik = testkit::installed("morvik") + " ";
  const std::string here = f.dir.path().string();
  auto r = testkit::run_binary(morvik + "omkcsltf.dat omkrt8gl.bsx 0 mpostapl", "\n", here);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("MORVIK program date - 05/26/2010\n"), std::string::npos);
  EXPECT_EQ(read_text("appargs"), "0.000000\r\nomkcsltf.dat\r\nomkrt8gl.bsx\r\n0\r\nmpostapl\r\n");
  testkit::write_file("bad.dat", Bytes{1, 2, 3});
  r = testkit::run_binary(morvik + "bad.dat", "", here);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "\n\tDump is incomplete.\n");
}
