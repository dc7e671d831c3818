// The runtime level from the version records, the code search with the
// KIVRA codes, and the controller runtime's data.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "common/le.h"
#include "morvik/sections/dumpfunc_errlist.h"
#include "testkit/kernelbuilder.h"
#include "testkit/runtimebuilder.h"
#include "tests/morvik/fixture.h"

using morvik_test::SessionFixture;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// An application with two pages of code and a data segment.
struct App {
  explicit App(DumpVariant v, const std::function<void(App&)>& fill) : b(v) {
    proc = b.add_process();
    code = b.add_segment(proc, 0x2000, true);
    data = b.add_segment(proc, 0x4000, false);
    fill(*this);
    f = std::make_unique<SessionFixture>(b);
    morvik_test::load_ldt(*f, b, proc);
    f->s.DS_selector = data;
    f->s.applname = "pvncsmll";
    f->out.str("");
  }
  void code_at(uint16_t off, const Bytes& bytes) { b.put(proc, uint32_t{code} << 16 | off, bytes); }
  void data_at(uint16_t off, const Bytes& bytes) { b.put(proc, uint32_t{data} << 16 | off, bytes); }
  std::string out() const { return f->out.str(); }

  DumpBuilder b;
  int proc = 0;
  uint16_t code = 0, data = 0;
  std::unique_ptr<SessionFixture> f;
};

Bytes text(const std::string& t) { return Bytes(t.begin(), t.end()); }

}  // namespace

TEST(RuntimeLevel, TheVersionRecordInTheApplicationsCode) {
  struct Case {
    const char* what;
    std::function<void(App&)> fill;
    int16_t level;
    std::string verdate;
    const char* out;
  } cases[] = {
      // The record starts 12 bytes before the second page: found whole.
      {"a record across a page boundary", [](App& a) { a.code_at(0x0FF4, testkit::version_record(64, "05/14/09")); }, 64,
       "05/14/09", ""},
      // "CBRT" and a non-digit is not a record; the search goes on.
      {"a CBRT that is no record",
       [](App& a) {
         a.code_at(0x0100, text("CBRTX"));
         a.code_at(0x1800, testkit::version_record(56, "11/02/07"));
       },
       56, "11/02/07", ""},
      {"no record", [](App&) {}, 41, "", ""},
      // The error-trap patcher's compare-and-jump run gives the codes.
      {"KIVRA codes",
       [](App& a) {
         a.code_at(0x0200, Bytes{0x81, 0xF9, 0x45, 0x4F, 0x74, 0x10, 0x81, 0xF9, 0x48, 0x49, 0x74, 0x10,
                                 0x81, 0xF9, 0x4D, 0x44, 0x74, 0x10, 0x81, 0xF9, 0x46, 0x45, 0x74, 0x10});
       },
       41, "", "\n\t KIVRA codes are OE, IH, DM, EF.\n"},
      {"no KIVRA codes",
       [](App& a) {
         a.code_at(0x0200, Bytes{0x81, 0xF9, 0x78, 0x78, 0x74, 0x10, 0x81, 0xF9, 0x78, 0x78, 0x74, 0x10,
                                 0x81, 0xF9, 0x78, 0x78, 0x74, 0x10, 0x81, 0xF9, 0x78, 0x78, 0x74, 0x10});
       },
       41, "", "\n\t No KIVRA codes are in use.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    App a(DumpVariant::PagedTerminal, c.fill);
    EXPECT_EQ(morvik::getcbrt(a.f->s), c.level);
    EXPECT_EQ(a.f->s.cbrt, c.level);
    EXPECT_EQ(a.f->s.runtime.verdate, c.verdate);
    EXPECT_EQ(a.out(), c.out);
  }
}

TEST(RuntimeLevel, APageOfCodeNotInTheDumpIsNamedAndTheSearchGoesOn) {
  App a(DumpVariant::PagedTerminal, [](App& app) { app.code_at(0x0800, testkit::version_record(64, "05/14/09")); });
  // The second page of the code is not present.
  const uint32_t linear = a.b.process_linear(a.proc, uint32_t{a.code} << 16 | 0x1000);
  a.b.put_phys32(a.b.pte_offset(a.proc, linear), 0);
  a.f = std::make_unique<SessionFixture>(a.b);
  morvik_test::load_ldt(*a.f, a.b, a.proc);
  unsigned char rec[30] = {};
  EXPECT_EQ(morvik::searchCodeForString(a.f->s, "CBRTZ", rec, 30), 0);
  const std::string sel = vt::format("%04X", a.code);
  EXPECT_EQ(a.out(), "ERROR reading from virtual address " + sel + "0000\nERROR reading from virtual address " + sel + "1000\n");
  a.f->out.str("");
  EXPECT_EQ(morvik::searchCodeForString(a.f->s, "CBRT", rec, 30), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(rec), 6), "CBRT64");
}

TEST(RuntimeLevel, NoVersionRecordEndsTheControllerReport) {
  App a(DumpVariant::PagedController, [](App&) {});
  EXPECT_EQ(a.f->status_of([&] { morvik::wrenRTdata(a.f->s); }), 0);
  EXPECT_EQ(a.f->err.str(), "\n\tCannot find the runtime version string...\n\t  pvncsmll appears not to be a BASIC application.\n\n");
}

namespace {

// The controller runtime's data: the marker, the runtime data block at
// 0x232 with its session table (cut by the segment's end), the registers
// at 0x900 and a chain of saved-error blocks with the given error numbers.
void wren_data(App& a, int level, const std::vector<uint32_t>& saved) {
  a.code_at(0x0100, testkit::version_record(level, "05/14/09"));
  testkit::ControllerRuntimeSpec r;
  testkit::RuntimeSession file;
  file.number = 2;
  file.name = "C:/ADX_IDT1/PRICE.DAT";
  file.buffsize = 16;
  file.buffer = text("ABC");
  r.sessions.push_back(file);
  r.last_session = 2;
  for (size_t i = 0; i < saved.size(); ++i)
    r.saved.push_back(testkit::SavedError{static_cast<uint16_t>(0x1F00 + i), "IH", saved[i], 0});
  r.latest.errc = "IH";
  r.latest.errn = saved.empty() ? 0 : saved[0];
  testkit::add_controller_runtime(a.b, a.proc, a.data, r);
}

}  // namespace

TEST(ControllerRuntime, SessionsAndTheSavedErrorChain) {
  App a(DumpVariant::PagedController, [](App& app) { wren_data(app, 629, {7, 7, 7, 7, 7, 7, 7}); });
  EXPECT_EQ(a.f->status_of([&] { morvik::wrenRTdata(a.f->s); }), SessionFixture::kReturned);
  const std::string out = a.out();
  EXPECT_TRUE(has(out, "\n\t BASIC runtimes version 629, dated 05/14/09\n\n")) << out;
  EXPECT_TRUE(has(out, "\t Open sessions (Max number of sessions = 1024):\n\t   (Trailing zeros are not formatted)\n\n"
                       "\t   Session  2:  C:/ADX_IDT1/PRICE.DAT \t  16-byte buffer at ")) << out;
  EXPECT_TRUE(has(out, "\n\t Latest session number used:  2\n")) << out;
  EXPECT_TRUE(has(out, "\n\t Latest error:  errc = IH,  errn = 7,  errio = 0\n")) << out;
  EXPECT_TRUE(has(out, "  Some errors have stacked up.  I'll format data saved in the heap   ")) << out;
  // Three in full, three equal ones as dots, the last in full.
  size_t full = 0;
  for (size_t at = out.find("  End of data saved in heap ("); at != std::string::npos; at = out.find("  End of data saved in heap (", at + 1))
    ++full;
  EXPECT_EQ(full, 4u);
  EXPECT_TRUE(has(out, "...    \xC9")) << out;
  EXPECT_FALSE(has(out, "Session 65"));
  EXPECT_TRUE(has(out, "  End of data saved in heap (  7) ")) << out;
  EXPECT_TRUE(has(out, "\n\t\t>>>>>>>>>>  7 missing resumes!  <<<<<<<<<< \n")) << out;
}

TEST(ControllerRuntime, OldRuntimesAndMissingRecords) {
  App old(DumpVariant::PagedController, [](App& app) { wren_data(app, 616, {}); });
  EXPECT_EQ(old.f->status_of([&] { morvik::wrenRTdata(old.f->s); }), 0);
  EXPECT_TRUE(has(old.out(), "These are mighty old runtimes!!\n"));

  App one(DumpVariant::PagedController, [](App& app) { wren_data(app, 617, {9}); });
  EXPECT_EQ(one.f->status_of([&] { morvik::wrenRTdata(one.f->s); }), SessionFixture::kReturned);
  EXPECT_TRUE(has(one.out(), "(Max number of sessions = 99)"));
  EXPECT_TRUE(has(one.out(), "\n\t There is one outstanding error.\n")) << one.out();

  App none(DumpVariant::PagedController, [](App& app) { app.code_at(0x0100, testkit::version_record(629, "05/14/09")); });
  EXPECT_EQ(none.f->status_of([&] { morvik::wrenRTdata(none.f->s); }), SessionFixture::kReturned);
  EXPECT_TRUE(has(none.out(), "\n  This doesn't appear to be a BASIC application.\n"));
}

TEST(RuntimeLevel, TheMarraSearchOfTheCodeBlocks) {
  for (uint16_t at : {uint16_t{0x0FF0}, uint16_t{0x1FD0}}) {
    SCOPED_TRACE(at);
    uint32_t chain = 0;
    App a(DumpVariant::MarraTerminal, [&](App& app) {
      app.code_at(at, testkit::version_record(47, "01/30/98"));
      testkit::KernelBuilder k(app.b);
      chain = k.md_chain({{0x2000, uint32_t{app.code} << 16, 0, app.b.process_linear(app.proc, uint32_t{app.code} << 16)}});
    });
    morvik::_pd pd;
    pd.p_mem[0] = chain;
    a.f->s.applprocess = pd;
    EXPECT_EQ(morvik::getcbrt(a.f->s), 47);
    EXPECT_EQ(a.f->s.runtime.verdate, "01/30/98");
  }
}
