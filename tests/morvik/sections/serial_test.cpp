// The RS-485 serial driver data: the question and the driver's BSX file,
// each instance of the driver in the driver list, its units' buffers and
// its trace ring.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "morvik/records/pir.h"
#include "morvik/sections/serial.h"
#include "testkit/devicebuilder.h"
#include "tests/morvik/procs_fixture.h"

using morvik_test::Fixture;
using testkit::Bytes;
using testkit::DeviceBuilder;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::SerialSpec;
using testkit::SerialUnit;
using testkit::TraceEvent;

namespace {

const char* const kQuestion = "\n  Shall I format the serial device driver data?  ";
const char* const kHeading = "\n SUB RS-485 serial driver data:\n";

std::string hex8(uint32_t v) { return vt::format("%08lX", static_cast<unsigned long>(v)); }

// The pointer line of a unit without a channel buffer.
std::string idle(int unit) {
  return vt::format("\n  unit%d:    ptr_pirsdcom = 00000000, ptr_pir1dcom = 00000000\n", unit);
}
std::string idle_units(int from) {
  std::string t;
  for (int u = from; u < 8; ++u) t += idle(u);
  return t;
}

// A row of the driver's buffer dump that holds only zeros, with the
// characters of the row before it in front.
std::string zero_row(int at, const std::string& before) {
  return " *" + before + "*" + vt::format("\n      %04x : ", at) + "0000 0000 0000 0000 0000 0000 0000 0000 ";
}

// A ring of 32 timer events, each naming its slot as its port.
SerialSpec numbered_ring(int16_t index) {
  SerialSpec cfg;
  for (int i = 0; i < 32; ++i) {
    TraceEvent e;
    e.port = static_cast<uint8_t>(i);
    e.type = 4;
    cfg.trace.push_back(e);
  }
  cfg.index = index;
  return cfg;
}

std::string timer_line(int port) { return vt::format("  Port %2x, Adr  0 =!= PIR_Timer_Popped \n", port); }

// A dump whose driver list holds the instances, and a session with the
// driver's BSX file as the eighth answer.
struct Serial {
  explicit Serial(DumpVariant v = DumpVariant::PagedTerminal) : b(v), dev(b) {}
  Fixture& session(bool with_time = true) {
    f = std::make_unique<Fixture>(b);
    testkit::write_file(f->dir.file("omkpir1l.bsx"), DeviceBuilder::serial_bsx(with_time));
    f->s.serialBSXfile = f->dir.file("omkpir1l.bsx");
    return *f;
  }
  // The section; its result is kept in `result`.
  std::string run() {
    result = morvik::formatSerial(f->s);
    return f->out.str();
  }
  DumpBuilder b;
  DeviceBuilder dev;
  std::unique_ptr<Fixture> f;
  int result = 0;
};

}  // namespace

TEST(Serial, InstanceWithAUnitAndItsTrace) {
  Serial m;
  m.dev.add_driver("con");
  SerialSpec cfg;
  SerialUnit u;
  u.unit = 0;
  u.channel = {'C', 0x00, 0x11, 'A', 'B'};
  u.channel.resize(257, 0);
  u.channel[256] = 0x7E;  // the last byte, shown alone
  u.received = {'O', 'K'};
  u.read_size = -1;
  u.write_size = 0x20;
  u.opened = 1;
  u.return_error = 0x80000001;
  u.wait_in_progress = 1;
  u.pir1dcom = 0x12345678;
  cfg.units = {u};
  cfg.trace = {{1, 0x21, 1, 0x4000, {0, 0, 0, 0}}, {1, 0x21, 2, 2, {0x0011, 0x0080, 0x4B4F, 0}}};
  testkit::SerialInstance inst = m.dev.add_serial(cfg);
  Fixture& f = m.session();
  std::string channel = "\n      0000 : 4300 1141 4200 0000 0000 0000 0000 0000 ";
  for (int at = 0x10; at <= 0xF0; at += 0x10) channel += zero_row(at, at == 0x10 ? "C..AB..........." : "................");
  channel += " *................*\n      0100 : 7e00 ";
  std::string received = "\n      0000 : 4f4b 0000 0000 0000 0000 0000 0000 0000 ";
  for (int at = 0x10; at < 0xF0; at += 0x10) received += zero_row(at, at == 0x10 ? "OK.............." : "................");
  received += " *................*\n      00f0 : 0000 0000 0000 ";
  EXPECT_EQ(m.run(), std::string(kHeading) + "\n  unit0:    ptr_pirsdcom = " + hex8(inst.unit[0]) +
                         ", ptr_pir1dcom = 12345678\n"
                         "\n    Device Channel Buffer (mpost):\n" +
                         channel + "\n" + "\n    Device Data Received:\n" + received +
                         "\n\n    Appl read buffer size:   ffffffff\n"
                         "    Last write buffer size:  20\n"
                         "    Opened:  0001\n"
                         "    Return error:  80000001\n"
                         "    Read In Progress:  0000\n"
                         "    Wait In Progress:  0001\n" +
                         idle_units(1) +
                         "\nFormatting PIRATrace  (oldest to newest):\n"
                         "  Port  1, Adr 21 ==> Send_Command Power_On_Reset_c   Data 0000 0000 0000 0000\n"
                         "  Port  1, Adr 21 <== Msg_Received PIX_ack_c       Ctrl 11 Status 8000 Data 4f4b 0000\n"
                         "\n");
  EXPECT_EQ(m.result, 0);
  EXPECT_EQ(f.err.str(), "");  // no question, and the report is on the screen
}

TEST(Serial, TraceLines) {
  struct Case {
    TraceEvent e;
    const char* line;
  } cases[] = {
      {{1, 0x21, 1, 0x4000, {0x1234, 0xABCD, 0, 0x00FF}},
       "  Port  1, Adr 21 ==> Send_Command Power_On_Reset_c   Data 3412 cdab 0000 ff00\n"},
      {{1, 0x21, 1, 0x0010, {0, 0, 0, 0}}, "  Port  1, Adr 21 ==> Send_Command Receive_c          Data 0000 0000 0000 0000\n"},
      {{1, 0x21, 1, 0x0003, {0, 0, 0, 0}}, "  Port  1, Adr 21 ==> Send_Command                 Data 0000 0000 0000 0000\n"},
      {{0x0A, 0x21, 2, 9, {0x0111, 0x8000, 0x4B4F, 0x0D0A}},
       "  Port  a, Adr 21 <== Msg_Received PIX_pto_c       Ctrl 11 Status 0080 Data 4f4b 0a0d\n"},
      {{1, 0x21, 2, 3, {0, 0, 0, 0}}, "  Port  1, Adr 21 <== Msg_Received                 Ctrl 00 Status 0000 Data 0000 0000\n"},
      {{2, 0x3F, 4, 0, {1, 2, 3, 4}}, "  Port  2, Adr 3f =!= PIR_Timer_Popped \n"},
      {{2, 0x3F, 5, 0, {0, 0, 0, 0}}, "  Port  2, Adr 3f =!= PIR_Control_Lines\n"},
      {{2, 0x3F, 6, 0x40, {0, 0, 0, 0}}, "  Port  2, Adr 3f =!= flushpipe        PIX_nop_c      \n"},
      {{2, 0x3F, 3, 1, {0, 0, 0, 0}}, ""},
  };
  DumpBuilder b(DumpVariant::PagedTerminal);
  for (const auto& c : cases) {
    Fixture f(b);
    morvik::PIRATrc_s t;
    t.port = c.e.port;
    t.address = c.e.address;
    t.type = c.e.type;
    t.code = c.e.code;
    for (int i = 0; i < 4; ++i) t.data[i] = c.e.data[i];
    morvik::doit(f.s, t);
    EXPECT_EQ(f.out.str(), c.line);
  }
}

TEST(Serial, TraceFromTheOldestEntry) {
  struct Case {
    int16_t index;
    std::vector<int> ports;
  } cases[] = {{5, {}}, {0, {}}, {31, {}}, {40, {}}, {-1, {}}};
  for (int p = 5; p < 32; ++p) cases[0].ports.push_back(p);
  for (int p = 0; p < 5; ++p) cases[0].ports.push_back(p);
  for (int p = 0; p < 32; ++p) cases[1].ports.push_back(p);
  cases[2].ports.push_back(31);
  for (int p = 0; p < 31; ++p) cases[2].ports.push_back(p);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    Serial m;
    m.dev.add_serial(numbered_ring(c.index));
    m.session();
    std::string lines;
    for (int p : c.ports) lines += timer_line(p);
    EXPECT_EQ(m.run(), std::string(kHeading) + idle_units(0) + "\nFormatting PIRATrace  (oldest to newest):\n" + lines + "\n");
  }
}

TEST(Serial, EachInstanceOnce) {
  Serial m;
  SerialSpec first = numbered_ring(31);
  testkit::SerialInstance one = m.dev.add_serial(first);
  m.dev.add_driver("omkpir1", 0, one.lpb);  // the same parameter block again
  m.dev.add_driver("omkpir1", 0, 0);        // none at all
  SerialSpec empty;                         // an empty ring, though a later slot is set
  empty.trace.resize(3);
  empty.trace[2].type = 4;
  empty.trace[2].port = 7;
  empty.name = "omkpir2";
  m.dev.add_serial(empty);
  m.dev.add_serial(numbered_ring(40));
  m.session(false);
  std::string note = "\n  Note:  optional symbol \"PIRATRtime\" is not present in " + m.f->s.serialBSXfile + "\n";
  std::string ring31 = "\nFormatting PIRATrace  (oldest to newest):\n" + timer_line(31);
  for (int p = 0; p < 31; ++p) ring31 += timer_line(p);
  EXPECT_EQ(m.run(), std::string(kHeading) + note + idle_units(0) + ring31 + "\n" + idle_units(0) +
                         "\n\tThe serial driver trace buffer is empty\n\n" + idle_units(0) +
                         "\nFormatting PIRATrace  (oldest to newest):\n\n");
}

TEST(Serial, InstanceWithoutItsData) {
  // A parameter block that names no data: the instance is named as
  // missing, nothing is read in its place, and the next one follows.
  Serial m;
  testkit::SerialInstance a = m.dev.add_serial(numbered_ring(40));
  m.b.put_system32(a.lpb + 12, 0);
  m.dev.add_serial(numbered_ring(40));
  m.session();
  EXPECT_EQ(m.run(), std::string(kHeading) + "\n  *** The driver's data at 00000000 is not in the dump.\n" + idle_units(0) +
                         "\nFormatting PIRATrace  (oldest to newest):\n\n");
}

TEST(Serial, DriverListGuards) {
  // 151 other entries before the driver are a long list; 152 end the run.
  for (int others : {151, 152}) {
    SCOPED_TRACE(others);
    Serial m(DumpVariant::PagedController);
    for (int i = 0; i < others; ++i) m.dev.add_driver("omkpia");
    m.dev.add_serial(numbered_ring(40));
    Fixture& f = m.session();
    int status = f.status_of([&] { m.run(); });
    std::string shown = std::string(kHeading) + idle_units(0) + "\nFormatting PIRATrace  (oldest to newest):\n\n";
    if (others == 151) {
      EXPECT_EQ(status, Fixture::kReturned);
      EXPECT_EQ(f.out.str(), shown);
    } else {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(f.out.str(), std::string(kHeading) + "The driver list is exorbitantly long!!\n");
    }
  }

  // A list that loops through two instances shows each once.
  Serial m;
  testkit::SerialInstance a = m.dev.add_serial(numbered_ring(40));
  m.dev.add_serial(numbered_ring(40));
  m.dev.set_next(m.dev.drivers().back(), a.entry);
  m.session();
  std::string one = idle_units(0) + "\nFormatting PIRATrace  (oldest to newest):\n\n";
  EXPECT_EQ(m.run(), std::string(kHeading) + one + one + "*** Driver list: the descriptor at " + hex8(a.entry) +
                         " comes round again; the walk stops here.\n");
}

TEST(Serial, TheQuestion) {
  struct Case {
    const char* what;
    std::string input;
    std::string answer;  // the file asked for ("" when the question is declined)
    int result;
  } cases[] = {
      {"declined", "n\n", "", 0},
      {"the end of the input", "", "", 0},
      {"the default", "y\n\n", "%dir/omkpir1l.bsx", 0},
      {"the default, CR LF", "Y\r\n\r\n", "%dir/omkpir1l.bsx", 0},
      {"a file that is not there", "y\nnosuch.bsx\n", "nosuch.bsx", -1},
      {"a name longer than its field", "y\n" + std::string(100, 'n') + "\n", std::string(79, 'n'), -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Serial m;
    m.dev.add_serial(numbered_ring(40));
    Fixture& f = m.session();
    f.s.serialBSXfile = "missing.bsx";  // not there: the question is asked
    f.s.prefix = f.dir.file("omk");
    f.in.str(c.input);
    std::string answer = c.answer;
    if (answer.rfind("%dir/", 0) == 0) answer = f.dir.file(answer.substr(5));
    std::string out = m.run();
    EXPECT_EQ(m.result, c.result);
    if (c.answer.empty()) {
      EXPECT_EQ(f.err.str(), std::string(kQuestion) + "    OK!\n");
      EXPECT_EQ(out, " \n SUB RS-485 Serial Driver Trace:  this option was not selected\n\n");
      continue;
    }
    std::string asked = std::string(kQuestion) + "\n    Name of serial device driver bsx file\n\t(default " +
                        f.dir.file("omkpir1l.bsx") + "):  ";
    if (c.result == 0) {
      EXPECT_EQ(f.err.str(), asked);
      EXPECT_EQ(out, std::string(kHeading) + idle_units(0) + "\nFormatting PIRATrace  (oldest to newest):\n\n");
    } else {
      EXPECT_EQ(f.err.str(), asked + "\n\tCannot open " + answer + "\n");
      EXPECT_EQ(out, "\n SUB RS-485 serial driver:  Cannot open " + answer + "\n");
    }
  }
}
