// The report helpers shared by the sections: section labels and summary area,
// hex dumps, time of day, REAL values and type names.
#include "morvik/report/doarray.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/ldt.h"

namespace morvik {

namespace {

constexpr int kSummaryLines = 14;
constexpr int kBoxLineBytes = 80;  // 78 characters and CR LF
// Room for a summary text: from just after "\t** " up to the closing "**".
constexpr size_t kSummaryRoom = 72;

}  // namespace

const char* type(uint8_t code) {
  switch (code) {
    case kInt1:
      return "INT1";
    case kInt2:
      return "INT2";
    case kInt4:
      return "INT4";
    case kReal:
      return "REAL";
    case kString:
      return "STRING";
    default:
      return "????";
  }
}

int16_t showreal(Session& s, const unsigned char* real) {
  if (real[0] == 0) {
    s.outfile.write("0.0\n");
    return 0;
  }
  if (real[0] & 0x80) s.outfile.write("-");
  int e = (real[0] & 0x7F) - 0x40;
  if (e <= 0) {
    s.outfile.write(".");
    for (int z = 0; z < -e; ++z) s.outfile.write("0");
  }
  int count = 0;
  for (int b = 9; b >= 1; --b) {
    for (int digit : {real[b] >> 4, real[b] & 0x0F}) {
      s.outfile.print("%d", digit);
      if (++count == e) s.outfile.write(".");
    }
  }
  s.outfile.write("\n");
  return 0;
}

void section_headers(Session& s) {
  report(s, 12);
  if (!s.outfile.is_file()) return;
  vt::ReportSink& o = s.outfile;
  o.write("\nSection Labels: SUB Process List\n");
  o.write("\t\tSUB Application Memory Usage\n");
  o.write("\t\tSUB SVC (Supervisor Call) Trace\n");
  o.print("\t\tSUB Details of %s\n", s.APPL_NAME.c_str());
  if (s.symfile.is_open() || s.cdvfile.is_open()) {
    o.write("\t\tSUB Application Call Trace\n");
    o.write("\t\tSUB Application Variables\n");
    o.write("\t\tSUB Application Stack\n");
  }
  if (!s.space.termdump) {
    o.write("\t\tSUB File Operations Trace\n");
    o.write("\t\tSUB Open Files and Pipes\n");
  }
  o.write("\t\tSUB Pipe Dump\n");
  o.write("\t\tSUB RS-485 Serial Driver Data\n");
  if (!s.space.termdump) o.write("\t\tSUB Consoles\n");
  o.write("\n\t********************************** SUMMARY **********************************\n");
  s.summaryPos = static_cast<int32_t>(o.tell() + 4);
  s.summaryEnd = s.summaryPos + kSummaryLines * kBoxLineBytes;
  for (int i = 0; i < kSummaryLines; ++i)
    o.write("\t**                                                                         **\n");
  o.write("\t*****************************************************************************\n");
}

void seek_summary(Session& s, int64_t pos) {
  if (!s.outfile.is_file()) return;
  s.outfile.seek(pos);
  if (s.summaryEnd == 0) return;  // no summary area was laid out
  int64_t first = s.summaryEnd - int64_t{kSummaryLines} * kBoxLineBytes;
  int64_t limit = pos;
  if (pos >= first && pos < s.summaryEnd) {
    int64_t room_end = first + (pos - first) / kBoxLineBytes * kBoxLineBytes + static_cast<int64_t>(kSummaryRoom);
    limit = std::max(pos, room_end);
  }
  s.outfile.set_write_limit(limit);
}

void add_summary_line(Session& s, const char* fmt, ...) {
  if (!s.outfile.is_file() || s.summaryEnd == 0 || s.summaryPos >= s.summaryEnd) return;
  va_list ap;
  va_start(ap, fmt);
  std::string text = vt::vformat(fmt, ap);
  va_end(ap);
  // The text stays inside its box line: a line end would become two bytes
  // and a long text would run over the closing "**" and the next line.
  text = text.substr(0, std::min(text.find_first_of("\r\n"), kSummaryRoom));
  s.outfile.seek(s.summaryPos);
  s.outfile.write(text);
  s.summaryPos += kBoxLineBytes;
  s.outfile.seek_end();
}

void pdump(Session& s, std::span<const unsigned char> buf) {
  // "%02X" by hand: heap listings dump tens of thousands of lines.
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string line;
  for (size_t run = 0; run < buf.size(); run += 16) {
    size_t n = std::min<size_t>(16, buf.size() - run);
    line.clear();
    for (size_t p = 0; p < 16; ++p) {
      if (p < n) {
        line += kHex[buf[run + p] >> 4];
        line += kHex[buf[run + p] & 0xF];
      } else {
        line += "  ";
      }
      if (p % 4 == 3) line += ' ';
    }
    line += " *";
    for (size_t p = 0; p < n; ++p) {
      unsigned char c = buf[run + p];
      line += (c >= 0x20 && c <= 0x7F) ? static_cast<char>(c) : '.';
    }
    line += "*\n";
    s.outfile.write(line);
  }
}

void showbuf(Session& s, uint32_t iobuf, uint16_t len) {
  std::vector<unsigned char> buf(len, 0);
  size_t shown = 0;
  // A failed read is not shown: the memory content is then unknown. (A
  // selector that is not the application's ends the run in the translation.)
  if (len > 0 && readstuff(s, buf, iobuf, 1, static_cast<int16_t>(len), 'a')) {
    size_t last = len - 1u;
    while (last > 0 && buf[last] == 0) --last;
    shown = std::min<size_t>(last + 2, len);
  }
  for (size_t run = 0; run < shown; run += 16) {
    size_t n = std::min<size_t>(16, shown - run);
    std::string line = "\t     ";
    for (size_t p = 0; p < n; ++p) line += vt::format("%02x ", buf[run + p]);
    for (size_t p = n; p < 16; ++p) line += "   ";
    line += ' ';
    for (size_t p = 0; p < n; ++p) line += handle_unprintable_character(static_cast<char>(buf[run + p]));
    line += '\n';
    s.outfile.write(line);
  }
  s.outfile.write("\n");
}

int16_t print_timestamp(Session& s, uint32_t msec) {
  s.outfile.print("%02d:%02d:%02d.%03d", static_cast<int>(msec / 3600000), static_cast<int>(msec / 60000 % 60),
                  static_cast<int>(msec / 1000 % 60), static_cast<int>(msec % 1000));
  return 0;
}

char handle_unprintable_character(char c) {
  switch (static_cast<unsigned char>(c)) {
    case 0:
    case 3:
    case 6:
    case 7:
    case 8:
    case 9:
    case 10:
    case 13:
    case 17:
    case 26:
    case 255:
      return '.';
    default:
      return c;
  }
}

char* strupr(char* text) {
  for (; *text; ++text)
    if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
  return text;
}

}  // namespace morvik
