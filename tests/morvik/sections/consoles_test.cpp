// The consoles section: the driver list, each console's tree of virtual
// consoles in order, the framed screens and the time stamps.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "morvik/sections/dumpfunc_con.h"
#include "testkit/devicebuilder.h"
#include "tests/morvik/procs_fixture.h"

using morvik_test::Fixture;
using testkit::DeviceBuilder;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::ScreenSpec;
using testkit::VconSpec;

namespace {

const char* const kHeading = "\n\n SUB Consoles:";

// A small screen with its rows of text.
VconSpec screen(uint16_t columns, std::vector<std::string> lines, std::vector<VconSpec> children = {}) {
  VconSpec v;
  v.screen.columns = columns;
  v.screen.rows = static_cast<uint16_t>(lines.size());
  v.screen.lines = std::move(lines);
  v.children = std::move(children);
  return v;
}

std::string consoles(Fixture& f) {
  morvik::showConsoles(f.s);
  return f.out.str();
}

}  // namespace

TEST(Consoles, OneScreenOnEveryVariant) {
  for (auto v : testkit::kAllDumpVariants) {
    SCOPED_TRACE(static_cast<int>(v));
    DumpBuilder b(v);
    DeviceBuilder dev(b);
    dev.add_driver("omkpia");
    dev.add_console("con", {screen(4, {"ab", " cd "})});
    Fixture f(b);
    EXPECT_EQ(consoles(f), std::string(kHeading) +
                               "\n\n\t\t\tStart of Screens for CON\n\n"
                               "Screen 1\t\n++++\n\nab  \n cd \n----\n\n");
    EXPECT_EQ(f.err.str(), "  Processing console...\n");
  }
}

TEST(Consoles, TreeInOrderWithEveryKindOfScreen) {
  DumpBuilder b(DumpVariant::PagedTerminal);
  DeviceBuilder dev(b);
  // Two roots; the first has a wide screen with a blank child and a
  // sibling below it, the second (reached after a climb) a child of its own.
  VconSpec wide = screen(81, {"x"}, {screen(3, {"   "})});
  VconSpec blank80;
  blank80.screen.lines = {};  // 80 x 25 blanks
  std::vector<uint32_t> at = dev.add_console("console", {screen(2, {"r1"}, {wide, screen(1, {"b"})}),
                                                         screen(2, {"r2"}, {screen(1, {"c"}), blank80})});
  ASSERT_EQ(at.size(), 7u);
  Fixture f(b);
  EXPECT_EQ(consoles(f), std::string(kHeading) +
                             "\n\n\t\t\tStart of Screens for CONSOLE\n\n"
                             "Screen 1\t\n++\n\nr1\n--\n\n"
                             "Screen 2 (child)\tgarbage?\n"
                             "Screen 3 (child)  This screen is blank.\n"
                             "Screen 4\t\n+\n\nb\n-\n\n"
                             "Screen 5\t\n++\n\nr2\n--\n\n"
                             "Screen 6 (child)\n+\n\nc\n-\n\n"
                             "Screen 7\t  This screen is blank.\n");
}

TEST(Consoles, DamagedTreesEndWithANoteAndTheNextConsoleFollows) {
  struct Case {
    const char* what;
    // Changes the first console's tree (its nodes in order: root, child, grandchild).
    void (*damage)(DeviceBuilder&, const std::vector<uint32_t>&);
    std::string after_second;  // what follows the second screen of the first console
  } cases[] = {
      {"a child that is its parent's parent",
       [](DeviceBuilder& d, const std::vector<uint32_t>& n) { d.set_links(n[2], n[1], n[0], 0); },
       "Screen 3 (child)\n+\n\ng\n-\n\n"
       "*** Virtual consoles: the descriptor at %1 comes round again; the walk stops here.\n"},
      {"a grandchild that is its own parent",
       [](DeviceBuilder& d, const std::vector<uint32_t>& n) { d.set_links(n[2], n[2], 0, 0); },
       "Screen 3 (child)\n+\n\ng\n-\n\n"
       "*** Virtual console parents: the descriptor at %2 comes round again; the walk stops here.\n"},
      {"a sibling outside the GDT",
       [](DeviceBuilder& d, const std::vector<uint32_t>& n) { d.set_links(n[2], n[1], 0, 0x7FFF0000); },
       "Screen 3 (child)\n+\n\ng\n-\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DumpBuilder b(DumpVariant::PagedController);
    DeviceBuilder dev(b);
    std::vector<uint32_t> n = dev.add_console("con", {screen(1, {"r"}, {screen(1, {"k"}, {screen(1, {"g"})})})});
    dev.add_console("con2", {screen(1, {"z"})});
    c.damage(dev, n);
    Fixture f(b);
    std::string expect = c.after_second;
    auto fill = [&](const char* mark, uint32_t addr) {
      size_t at = expect.find(mark);
      if (at != std::string::npos) expect.replace(at, 2, vt::format("%08lX", static_cast<unsigned long>(addr)));
    };
    fill("%1", n[0]);
    fill("%2", n[2]);
    EXPECT_EQ(consoles(f), std::string(kHeading) +
                               "\n\n\t\t\tStart of Screens for CON\n\n"
                               "Screen 1\t\n+\n\nr\n-\n\n"
                               "Screen 2 (child)\n+\n\nk\n-\n\n" +
                               expect +
                               "\n\n\t\t\tStart of Screens for CON2\n\n"
                               "Screen 1\t\n+\n\nz\n-\n\n");
  }
}

TEST(Consoles, DriverList) {
  // 201 entries are a long list; the 202nd ends the run after it is shown.
  for (int entries : {201, 202}) {
    SCOPED_TRACE(entries);
    DumpBuilder b(DumpVariant::ELTerminal);
    b.set_gdt_limit(0x0FFF);
    DeviceBuilder dev(b);
    for (int i = 1; i < entries; ++i) dev.add_driver("omkpia");
    dev.add_console("con", {screen(1, {"z"})});
    Fixture f(b);
    int status = f.status_of([&] { morvik::showConsoles(f.s); });
    std::string screens = std::string(kHeading) + "\n\n\t\t\tStart of Screens for CON\n\nScreen 1\t\n+\n\nz\n-\n\n";
    if (entries == 201) {
      EXPECT_EQ(status, Fixture::kReturned);
      EXPECT_EQ(f.out.str(), screens);
    } else {
      EXPECT_EQ(status, -1);
      EXPECT_EQ(f.out.str(), screens + "The driver list is exorbitantly long!!\n");
    }
  }

  // A list that loops is cut; the consoles seen so far stay.
  DumpBuilder b(DumpVariant::PagedTerminal);
  DeviceBuilder dev(b);
  uint32_t first = dev.add_driver("omkpia");
  dev.add_console("Con", {screen(1, {"z"})});
  dev.set_next(dev.drivers().back(), first);
  Fixture f(b);
  EXPECT_EQ(consoles(f), std::string(kHeading) + "\n\n\t\t\tStart of Screens for CON\n\nScreen 1\t\n+\n\nz\n-\n\n" +
                             vt::format("*** Driver list: the descriptor at %08lX comes round again; the walk stops here.\n",
                                        static_cast<unsigned long>(first)));
}

TEST(Consoles, NoneToShow) {
  // Without "dvrlst" there is not even the heading.
  DumpBuilder none(DumpVariant::PagedTerminal);
  Fixture f(none);
  EXPECT_EQ(consoles(f), "  None\n");

  // Drivers, but no console with a virtual console.
  DumpBuilder b(DumpVariant::MarraTerminal);
  DeviceBuilder dev(b);
  dev.add_driver("omkpia");
  dev.add_driver("conout");  // no console block
  dev.add_console("con", {});  // no virtual console
  Fixture g(b);
  EXPECT_EQ(consoles(g), std::string(kHeading) + "  None\n");
  EXPECT_EQ(g.err.str(), "  Processing console...\n  Processing console...\n");
}

TEST(Consoles, FormatTime) {
  struct Case {
    int32_t msec;
    const char* text;
  } cases[] = {
      {3723004, " time 1:02:03.004"},
      {0, " time 0:00:00.000"},
      {90000000, " time 25:00:00.000"},  // hours are not cut at a day
      {86399999, " time 23:59:59.999"},
  };
  DumpBuilder b(DumpVariant::PagedTerminal);
  for (const auto& c : cases) {
    Fixture f(b);
    morvik::formatTime(f.s, c.msec);
    EXPECT_EQ(f.out.str(), c.text);
  }
}
