// The report helpers: section labels and the summary area of a report file,
// hex dumps, the time of day and the unresumed ON ERROR report.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "morvik/report/doarray.h"
#include "morvik/sections/doarray_unresumed.h"
#include "tests/morvik/fixture.h"

using namespace std::string_literals;
using morvik_test::SessionFixture;
using testkit::Bytes;
using testkit::DumpBuilder;
using testkit::DumpVariant;

namespace {

const std::string kBoxLine = "\t**                                                                         **\r\n";
const std::string kBoxBottom = "\t*****************************************************************************\r\n";
const std::string kSummaryTitle = "\r\n\t********************************** SUMMARY **********************************\r\n";

// A session without a dump, its report on the screen or in a file.
struct Report {
  Report() { s.outfile.open_screen(out); }
  std::string open_file() {
    std::string path = dir.file("report.txt");
    s.outfile.open_file(path);
    return path;
  }
  testkit::TempDir dir;
  std::istringstream in;
  std::ostringstream out, err;
  vt::Console con{in, out, err};
  morvik::Session s{con};
};

std::string box(int lines) {
  std::string b;
  for (int i = 0; i < lines; ++i) b += kBoxLine;
  return b;
}

}  // namespace

TEST(SectionHeaders, TerminalDumpWithoutSymbols) {
  Report r;
  std::string path = r.open_file();
  r.s.APPL_NAME = "MPOSTAPL";
  r.s.space.termdump = 1;
  morvik::section_headers(r.s);
  r.s.outfile.close();
  EXPECT_EQ(testkit::read_text(path),
            "\r\nSection Labels: SUB Process List\r\n"
            "\t\tSUB Application Memory Usage\r\n"
            "\t\tSUB SVC (Supervisor Call) Trace\r\n"
            "\t\tSUB Details of MPOSTAPL\r\n"
            "\t\tSUB Pipe Dump\r\n"
            "\t\tSUB RS-485 Serial Driver Data\r\n" +
                kSummaryTitle + box(14) + kBoxBottom);
}

TEST(SectionHeaders, ControllerDumpWithSym) {
  Report r;
  std::string path = r.open_file();
  r.s.outfile.write("MORVIK program date - 05/26/2010\n");
  testkit::write_text(r.dir.file("appl.sym"), "x");
  r.s.symfile.open(r.dir.file("appl.sym"));
  r.s.APPL_NAME = "PVNCSMLL";
  morvik::section_headers(r.s);
  r.s.outfile.close();
  std::string labels =
      "MORVIK program date - 05/26/2010\r\n"
      "\r\nSection Labels: SUB Process List\r\n"
      "\t\tSUB Application Memory Usage\r\n"
      "\t\tSUB SVC (Supervisor Call) Trace\r\n"
      "\t\tSUB Details of PVNCSMLL\r\n"
      "\t\tSUB Application Call Trace\r\n"
      "\t\tSUB Application Variables\r\n"
      "\t\tSUB Application Stack\r\n"
      "\t\tSUB File Operations Trace\r\n"
      "\t\tSUB Open Files and Pipes\r\n"
      "\t\tSUB Pipe Dump\r\n"
      "\t\tSUB RS-485 Serial Driver Data\r\n"
      "\t\tSUB Consoles\r\n" +
      kSummaryTitle;
  EXPECT_EQ(testkit::read_text(path), labels + box(14) + kBoxBottom);
  EXPECT_EQ(r.s.summaryPos, static_cast<int32_t>(labels.size() + 4));
}

TEST(SectionHeaders, ScreenGetsNoLabelsAndNoSummaryLines) {
  Report r;
  r.s.debugmode = 1;
  morvik::section_headers(r.s);
  morvik::add_summary_line(r.s, " The cash drawer is open.");
  EXPECT_EQ(r.out.str(), "");
  EXPECT_EQ(r.err.str(), "\t\t\t\texecuting at location 12\n");
}

TEST(SummaryLines, FillTheBoxLinesAndDropAFifteenth) {
  Report r;
  std::string path = r.open_file();
  r.s.space.termdump = 1;
  morvik::section_headers(r.s);
  r.s.outfile.write("after the box\n");
  for (int n = 1; n <= 13; ++n) morvik::add_summary_line(r.s, " line %d", n);
  morvik::add_summary_line(r.s, "%s", std::string(80, 'X').c_str());  // cut to the box's inside
  morvik::add_summary_line(r.s, " the fifteenth");
  r.s.outfile.write("tail\n");
  r.s.outfile.close();

  std::string text = testkit::read_text(path);
  size_t start = text.find(kSummaryTitle);
  ASSERT_NE(start, std::string::npos);
  start += kSummaryTitle.size();
  // Every box line keeps its 80 bytes.
  EXPECT_EQ(text.substr(start, 80), "\t**  line 1" + std::string(65, ' ') + "**\r\n");
  EXPECT_EQ(text.substr(start + 12 * 80, 80), "\t**  line 13" + std::string(64, ' ') + "**\r\n");
  EXPECT_EQ(text.substr(start + 13 * 80, 80), "\t** " + std::string(72, 'X') + "**\r\n");
  for (int n = 0; n < 14; ++n) {
    EXPECT_EQ(text.substr(start + n * 80, 3), "\t**") << n;
    EXPECT_EQ(text.substr(start + n * 80 + 76, 4), "**\r\n") << n;
  }
  EXPECT_EQ(text.substr(start + 14 * 80), kBoxBottom + "after the box\r\ntail\r\n");
  EXPECT_EQ(text.find("fifteenth"), std::string::npos);
}

TEST(Pdump, SixteenBytesALineInGroupsOfFour) {
  Report r;
  Bytes data;
  for (char c : "0123456789ABCDEF"s) data.push_back(static_cast<unsigned char>(c));
  data.insert(data.end(), {0x7F, 0x80, 0x0A, 0x1F, 'Z'});
  morvik::pdump(r.s, data);
  EXPECT_EQ(r.out.str(),
            "30313233 34353637 38394142 43444546  *0123456789ABCDEF*\n"
            "7F800A1F 5A                          *\x7F...Z*\n");
}

TEST(Showbuf, DumpsUpToOneZeroAfterTheLastNonZeroByte) {
  struct Case {
    Bytes buf;
    std::string text;
  };
  const Case cases[] = {
      {{'A', 'B', 'C', 'D', 'E', 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       "\t     41 42 43 44 45 0a 00 " + std::string(27, ' ') + " ABCDE..\n\n"},
      {Bytes(16, 0), "\t     00 00 " + std::string(42, ' ') + " ..\n\n"},
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 'a'},
       "\t     01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10  \x01\x02.\x04\x05.....\x0B\x0C.\x0E\x0F\x10\n"
       "\t     11 61 " + std::string(42, ' ') + " .a\n\n"},
  };
  for (const Case& c : cases) {
    DumpBuilder b(DumpVariant::PagedController);
    int proc = b.add_process();
    uint16_t seg = b.add_segment(proc, 0x1000, false);
    uint32_t at = uint32_t{seg} << 16 | 0x40;
    b.put(proc, at, c.buf);
    SessionFixture f(b);
    morvik_test::load_ldt(f, b, proc);
    morvik::showbuf(f.s, at, static_cast<uint16_t>(c.buf.size()));
    EXPECT_EQ(f.out.str(), c.text);
    // A buffer outside the process ends the run in the translation.
    f.out.str("");
    EXPECT_EQ(f.status_of([&] { morvik::showbuf(f.s, 0x0F0F0000, 16); }), -1);
    EXPECT_EQ(f.out.str(), "Invalid address (getphysoffset):  f0f0000\n");
  }
}

TEST(PrintTimestamp, HoursMinutesSecondsMilliseconds) {
  Report r;
  EXPECT_EQ(morvik::print_timestamp(r.s, 3723004), 0);
  morvik::print_timestamp(r.s, 0);
  EXPECT_EQ(r.out.str(), "01:02:03.00400:00:00.000");
}

TEST(UnresumedErrors, OneAndTwoRecords) {
  Bytes recs = {'B', 'E', 3, 0, 0x01, 0x02, 0x0A, 0x0B, 0x34, 0x12, 0xAF, 0x00, 0xFC, 0xCE, 0x38, 0x00,
                0, 'X', 12, 0, 0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01, 0x8F, 0x00, 0xE8, 0x03, 0x00, 0x00};
  const std::string first =
      "\tThe following error was NOT resumed:\n\t  #1. BE 01020A0B 01:02:03.004 session=3, ON ERROR at 00AF:1234\n";
  struct Case {
    int16_t arnnet;
    std::string text;
  };
  const Case cases[] = {
      {0, ""},
      {1, first},
      {2, first + "\tThe next error to occur after it was:\n\t  #2.    DEADBEEF 00:00:01.000 session=12, ON ERROR at "
                  "008F:0100\n"
                  "\tYou should determine why your ON ERROR routine did not RESUME from \n"
                  "\terror #1.  It may have caused error #2.\n"},
  };
  for (const Case& c : cases) {
    Report r;
    EXPECT_EQ(morvik::show_unresumed_errors(r.s, c.arnnet, 0, recs), 0);
    EXPECT_EQ(r.out.str(), c.text);
  }
}

TEST(Characters, UnprintableBytesAndCapitals) {
  for (int c : {0, 3, 6, 7, 8, 9, 10, 13, 17, 26, 255})
    EXPECT_EQ(morvik::handle_unprintable_character(static_cast<char>(c)), '.') << c;
  for (int c : {1, 2, 4, 5, 11, 12, 14, 27, int{'a'}, 0x7F, 0x80, 254})
    EXPECT_EQ(morvik::handle_unprintable_character(static_cast<char>(c)), static_cast<char>(c)) << c;
  char text[] = "mpost-apl 9z{";
  char* end = morvik::strupr(text);
  EXPECT_STREQ(text, "MPOST-APL 9Z{");
  EXPECT_EQ(end, text + 13);
}
