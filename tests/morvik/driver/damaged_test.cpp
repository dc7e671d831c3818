// Damaged dumps: an address that does not translate ends the run with the
// translation's message, in the streams it names, and nothing after that
// point is guessed; a damaged process list is not taken for a missing
// process.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "common/le.h"
#include "tests/morvik/driver/demo_run.h"

using morvik_test::Demo;
using testkit::DemoSpec;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::RunResult;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

constexpr uint32_t kPdCmdenv = 156;
constexpr uint32_t kPdMem = 176;

// The far address of the application's code start, in the first memory
// descriptor of its code chain (m_lbase, offset 12).
uint32_t code_descriptor(Demo& m) {
  return vt::le32(m.b.get_phys(m.b.system_dump_offset(m.d.appl_pd + kPdMem), 4).data());
}

// A demo dump; `apart` places its system memory under the second entry of
// the system page directory, apart from the GDT's (paged dumps).
std::unique_ptr<Demo> demo(DumpVariant v, bool apart = false) {
  DemoSpec cfg;
  cfg.variant = v;
  if (!apart) return std::make_unique<Demo>(cfg);
  return std::make_unique<Demo>(cfg, [](DumpBuilder& b) { b.move_system_memory(0x80400000u); });
}

const char* const kInvalidSystem = "\n\n\tInvalid system address... I'm cuttin' out!\n\n";
// The demo lists 12 processes, 8 of them applications.
const char* const kListEnd = "\n\tTotal memory allocated to the application(s):   0.168 Mb\n\n";
const char* const kApplLine = "\t  (C)\t0009  appl    mpostapl    100   ";

}  // namespace

TEST(DamagedDump, TranslationFailuresEndTheRunWithTheirMessage) {
  struct Case {
    const char* what;
    DumpVariant variant;
    std::function<void(Demo&)> damage;
    std::string message;
    bool on_error_stream;  // also on the standard error stream, before the report
    std::string before;    // what the report holds just before the message
    bool apart = false;
  } cases[] = {
      {"code start in LDT slot 11", DumpVariant::PagedTerminal,
       [](Demo& m) { m.b.put_system32(code_descriptor(m) + 12, 0x005F0000); },
       "Invalid address (getphysoffset):  5f0000\n", true, kListEnd},
      {"code start selector with low bits 4", DumpVariant::PagedTerminal,
       [](Demo& m) { m.b.put_system32(code_descriptor(m) + 12, 0x00640000); },
       "Invalid address (getphysoffset):  640000\n", true, kListEnd},
      {"code start above the LDT top", DumpVariant::PagedTerminal,
       [](Demo& m) { m.b.put_system32(code_descriptor(m) + 12, 0x00A70000); },
       "Invalid address (getphysoffset):  a70000\n", true, kListEnd},
      {"command environment one slot past the GDT limit, paged", DumpVariant::PagedTerminal,
       [](Demo& m) { m.pd32(kPdCmdenv, 0x04000010); }, kInvalidSystem, true,
       kApplLine},
      {"command environment one slot past the GDT limit, EL", DumpVariant::ELTerminal,
       [](Demo& m) { m.pd32(kPdCmdenv, 0x04000010); }, kInvalidSystem, true,
       kApplLine},
      {"system page table cut off by the end of the dump", DumpVariant::PagedTerminal,
       [](Demo& m) {
         uint32_t frame = static_cast<uint32_t>((m.b.size() + 0xFFF) & ~uint64_t{0xFFF}) + 0x1000;
         m.b.put_phys32(m.b.ptd_addr() + (0x80400000u >> 22) * 4, frame | 0x67);
         m.b.set_size(frame + 3000);
       },
       "can't read OS page table\n", false, "\n\tVELA OS Version 4 Release 1\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<Demo> m = demo(c.variant, c.apart);
    c.damage(*m);
    RunResult r = m->run_binary({"0", "mpostapl", "SCREEN"});
    EXPECT_EQ(r.status, 255);
    EXPECT_TRUE(ends_with(r.out, c.before + c.message)) << r.out;
    EXPECT_EQ(ends_with(r.err, c.message), c.on_error_stream) << r.err;
    for (const char* guess : {"appears not to be a BASIC app", "Cannot find", "ending normally"}) {
      EXPECT_FALSE(has(r.out, guess)) << guess;
      EXPECT_FALSE(has(r.err, guess)) << guess;
    }
  }
}

TEST(DamagedDump, TheGdtLimitItselfIsAValidSelector) {
  for (auto v : {DumpVariant::PagedTerminal, DumpVariant::ELTerminal}) {
    SCOPED_TRACE(static_cast<int>(v));
    std::unique_ptr<Demo> m = demo(v);
    ASSERT_EQ(m->b.gdt_limit(), 0x03FF);
    // The command environment's memory under the last selector of the GDT.
    uint32_t cmdenv = vt::le32(m->b.get_phys(m->b.system_dump_offset(m->d.appl_pd + kPdCmdenv), 4).data());
    ASSERT_EQ(m->b.alias_gdt_segment(static_cast<uint16_t>(cmdenv >> 16), 0x7F), 0x03F8);
    m->pd32(kPdCmdenv, 0x03F80000u | (cmdenv & 0xFFFF));
    RunResult r = m->run({"0", "mpostapl", "SCREEN"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, std::string(kApplLine) + " C:/ADX_IPGM/MPOSTAPL.286\n")) << r.out;
    EXPECT_TRUE(has(r.out, "\nMORVIK is ending normally.\n"));
  }
}

TEST(DamagedDump, ADamagedProcessListIsNotAMissingProcess) {
  std::unique_ptr<Demo> m = demo(DumpVariant::PagedTerminal);
  // The descriptor before the application's links to a selector beyond the GDT.
  const std::vector<uint32_t>& pds = m->k.pds();
  auto at = std::find(pds.begin(), pds.end(), m->d.appl_pd);
  ASSERT_TRUE(at != pds.begin() && at != pds.end());
  m->k.set_thread(*(at - 1), 0x7FF80010);
  RunResult r = m->run({"0", "mpostapl", "report.txt"});
  EXPECT_EQ(r.status, -1);
  EXPECT_TRUE(ends_with(r.err, "\n\tCannot find \"mpostapl\" process: the process list is damaged.\n")) << r.err;
  std::string report = m->file("REPORT.TXT");
  EXPECT_TRUE(has(report, "\t*** Process list: the descriptor at 7FF80010 is not in the dump; the walk stops here.\r\n"));
  EXPECT_TRUE(has(report, " MPOSTAPL not found; the process list is damaged."));
  EXPECT_FALSE(has(report, "was not an active process"));
}

TEST(DamagedDump, CodeThatIsNotInTheDumpIsNotTakenForANonBasicApplication) {
  std::unique_ptr<Demo> m = demo(DumpVariant::PagedTerminal);
  uint32_t start = uint32_t{m->d.code} << 16;
  m->b.put_phys32(m->b.pte_offset(m->d.appl_proc, m->b.process_linear(m->d.appl_proc, start)), 0);
  RunResult r = m->run({"0", "mpostapl", "SCREEN"});
  EXPECT_EQ(r.status, -1);
  const std::string message = "\n\tThe code of MPOSTAPL at 00670000 is not in the dump.\n";
  EXPECT_TRUE(ends_with(r.out, "readstuff error1 at 00670000\n" + message)) << r.out;
  EXPECT_TRUE(ends_with(r.err, message)) << r.err;
  EXPECT_FALSE(has(r.out, "appears not to be a BASIC app"));
}
