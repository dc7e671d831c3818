// The pipe dump: every pipe and semaphore of the chain, or only the
// application's pipes, each once; the buffers without their trailing zeros.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "morvik/sections/dopipes.h"
#include "testkit/devicebuilder.h"
#include "tests/morvik/procs_fixture.h"

using morvik_test::Fixture;
using testkit::Bytes;
using testkit::DeviceBuilder;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::PipeSpec;

namespace {

PipeSpec pipe(const std::string& name, uint16_t bufsiz, const std::string& data, uint16_t cnt, uint16_t front = 0) {
  PipeSpec p;
  p.name = name;
  p.bufsiz = bufsiz;
  p.data.assign(data.begin(), data.end());
  p.cnt = cnt;
  p.front = front;
  return p;
}

// The section for the application MPOSTAPL, whose open pipes are `open`.
std::string application_pipes(Fixture& f, const std::vector<std::string>& open) {
  f.s.applprocess = morvik::_pd{};
  f.s.APPL_NAME = "MPOSTAPL";
  for (const auto& name : open) f.s.openfiles.pipelist.push_back({name, 0});
  morvik::dopipes(f.s);
  return f.out.str();
}

}  // namespace

TEST(Pipes, EveryPipeWithoutAnApplication) {
  DumpBuilder b(DumpVariant::PagedController);
  DeviceBuilder dev(b);
  PipeSpec sem;
  sem.name = "SEM1";
  sem.semaphore = true;
  sem.user = 0x21;
  sem.owner = 0x13;
  dev.add_pipes({pipe("PIPEA", 32, "HELLO WORLD!", 12), pipe("EMPTY", 16, "", 0),
                 pipe("FULL", 16, "ABCDEFGHIJKLMNOP", 16, 12), sem, pipe("DONE", 8, "x", 0, 5),
                 pipe("LONGER", 20, "abcdefghijklmnopqrst", 20, 0), pipe("ONE", 1, "z", 1), pipe("NONE", 0, "", 0)});
  Fixture f(b);
  morvik::dopipes(f.s);
  EXPECT_EQ(f.out.str(),
            "\n\n SUB Pipe Dump:  (trailing zeros are not formatted)\n\n  "
            "   PIPEA Bufsize   32  count 12   Next read at    0 \n  "
            "48 45 4c 4c 4f 20 57 4f 52 4c 44 21             "
            "  HELLO WORLD!\n\n  "
            "   EMPTY Bufsize   16  count 0  \n  "
            "00 00                                           "
            "  ..\n\n  "
            "    FULL Bufsize   16  count 16   Next read at    12 (0ch)  <<<< Pipe full! >>>>\n  "
            "41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50   ABCDEFGHIJKLMNOP\n\n  "
            "\tSEM1\n  semaphor:  creator 21, holder 13\n\n"
            "    DONE Bufsize    8  count 0   Last read ended 5 \n  "
            "78 00                                           "
            "  x.\n\n  "
            "  LONGER Bufsize   20  count 20   Next read at    0   <<<< Pipe full! >>>>\n  "
            "61 62 63 64 65 66 67 68 69 6a 6b 6c 6d 6e 6f 70   abcdefghijklmnop\n  "
            "71 72 73 74                                       qrst\n\n  "
            // A buffer shorter than the two bytes always shown is not read past.
            "     ONE Bufsize    1  count 1   Next read at    0   <<<< Pipe full! >>>>\n  "
            "7a                                                z\n\n  "
            "    NONE Bufsize    0  count 0    <<<< Pipe full! >>>>\n  "
            "\n\n  "
            "\n");
  EXPECT_EQ(f.err.str(), "");  // the report is on the screen
}

TEST(Pipes, TheApplicationsPipesOnce) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  DeviceBuilder dev(b);
  // The pipe opened twice stands twice in the chain; a 10-character name
  // is found whole.
  dev.add_pipes({pipe("MPOSTP1", 4, "ab", 2), pipe("OTHER", 4, "zz", 2), pipe("PIPENAME10", 4, "cd", 2),
                 pipe("MPOSTP1", 4, "ef", 2), pipe("PIPENAME1", 4, "gh", 2)});
  Fixture f(b);
  EXPECT_EQ(application_pipes(f, {"MPOSTP1", "PIPENAME10"}),
            "\n\n SUB Pipe Dump:  pipes open by/for MPOSTAPL (trailing zeros are not formatted)\n\n  "
            " MPOSTP1 Bufsize    4  count 2   Next read at    0 \n  "
            "61 62                                             ab\n\n  "
            "PIPENAME Bufsize    4  count 2   Next read at    0 \n  "
            "63 64                                             cd\n\n  "
            "\n");
}

TEST(Pipes, NoneListed) {
  DumpBuilder b(DumpVariant::ELController);
  DeviceBuilder dev(b);
  dev.add_pipes({pipe("OTHER", 4, "zz", 2)});
  Fixture f(b);
  EXPECT_EQ(application_pipes(f, {}),
            "\n\n SUB Pipe Dump:  pipes open by/for MPOSTAPL (trailing zeros are not formatted)\n\n  "
            "   None found.\n\n");
}

TEST(Pipes, LoopingChainIsCut) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  DeviceBuilder dev(b);
  std::vector<uint32_t> at = dev.add_pipes({pipe("P1", 2, "a", 1), pipe("P2", 2, "b", 1)});
  dev.set_pipe_link(at[1], at[0]);
  Fixture f(b);
  morvik::dopipes(f.s);
  EXPECT_EQ(f.out.str(),
            "\n\n SUB Pipe Dump:  (trailing zeros are not formatted)\n\n  "
            "      P1 Bufsize    2  count 1   Next read at    0 \n  "
            "61 00                                             a.\n\n  "
            "      P2 Bufsize    2  count 1   Next read at    0 \n  "
            "62 00                                             b.\n\n  " +
                vt::format("*** Pipe chain: the descriptor at %08lX comes round again; the walk stops here.\n",
                           static_cast<unsigned long>(at[0])) +
                "\n");
}

TEST(Pipes, KernelWithoutPipes) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  Fixture f(b);
  morvik_test::report_to_file(f);
  std::string before = morvik_test::report_body(f);
  morvik::dopipes(f.s);
  EXPECT_EQ(f.err.str(), "Cannot find 'pipedle' in the BSX file\n");
  EXPECT_EQ(morvik_test::report_body(f), before);

  // A file report names the section on the error stream.
  DumpBuilder p(DumpVariant::PagedTerminal);
  DeviceBuilder(p).add_pipes({});
  Fixture g(p);
  morvik_test::report_to_file(g);
  morvik::dopipes(g.s);
  EXPECT_EQ(g.err.str(), "  Processing pipes...\n");
  EXPECT_EQ(morvik_test::report_body(g),
            "\n\n SUB Pipe Dump:  (trailing zeros are not formatted)\n\n     None found.\n\n");
}
