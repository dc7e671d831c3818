// The SYM file that a postprocessed module carries behind its last code
// group: found at the end of the dumped code, written out and used.
#include "morvik/symbols/doarray_symdump.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/console.h"
#include "common/le.h"
#include "common/platform.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/dumpfunc_sysmem.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/report/doarray.h"

namespace morvik {

namespace {

constexpr char kMarker[8] = {'V', 'a', 'n', 't', 'e', 'r', 'i', 'k'};
constexpr uint32_t kWindow = 256;
constexpr uint32_t kStep = 240;
constexpr int kWindows = 20;
constexpr uint32_t kTrailerFields = 16;  // marker, size word, time word

// The code memory, addressed by its offset x from the start: within the
// first segment each page is translated (paged dumps need not hold the
// pages in order); beyond it the memory is taken to follow on in the dump.
struct CodeMemory {
  Session& s;
  uint32_t start;  // selector:offset
  uint32_t len;
  uint32_t first_dump = 0;

  uint32_t dump_offset(uint32_t x) const {
    uint32_t off = (start & 0xFFFF) + x;
    if (off <= 0xFFFF && isValidSelector(s, (start & 0xFFFF0000u) | off) == kLdtCode)
      return getphysoffset(s, (start & 0xFFFF0000u) | off);
    return first_dump == kNoDumpOffset ? kNoDumpOffset : first_dump + x;
  }
  // Reads `n` bytes at x (never past the code's end); returns bytes got.
  size_t read(uint32_t x, unsigned char* buf, size_t n) const {
    if (x >= len) return 0;
    n = std::min<size_t>(n, len - x);
    size_t done = 0;
    while (done < n) {
      uint32_t at = dump_offset(x + static_cast<uint32_t>(done));
      if (at == kNoDumpOffset) break;
      size_t chunk = std::min<size_t>(n - done, 0x1000 - (at & 0xFFF));
      size_t got = s.dumpfile.read_at(at, buf + done, chunk);
      done += got;
      if (got != chunk) break;
    }
    return done;
  }
};

// The standard C text of a broken-down time, from the trailer's fields.
std::string time_text(uint32_t t, unsigned year_since_1900) {
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  unsigned sec = t % 60;
  t /= 60;
  unsigned wday = t % 7;
  t /= 7;
  unsigned mon = t % 12;
  t /= 12;
  unsigned mday = t % 32;
  t /= 32;
  unsigned hour = t % 24;
  unsigned min = t / 24;
  return vt::format("%.3s %.3s%3u %.2u:%.2u:%.2u %u\n", days[wday], months[mon], mday, hour, min, sec,
                    1900 + year_since_1900);
}

}  // namespace

void locate_SYM_in_dump(Session& s, uint32_t p_mem) {
  DumpSym& d = s.dumpsym;
  d.appl_code_start = 0;
  d.appl_code_len = 0;
  if (p_mem == 0) return;
  unsigned char m[16];
  if (read_system(s, p_mem, 0, m, sizeof m) != sizeof m) return;
  d.appl_code_len = vt::le32(m + 8);
  d.appl_code_start = vt::le32(m + 12);
}

void validate_SYM_in_dump(Session& s) {
  DumpSym& d = s.dumpsym;
  if (d.appl_code_start == 0 || d.appl_code_len == 0 || isValidSelector(s, d.appl_code_start) != kLdtCode) return;
  vt::ReportSink& o = s.outfile;
  const uint64_t saved = s.dumpfile.tell();
  CodeMemory code{s, d.appl_code_start, d.appl_code_len};
  code.first_dump = getphysoffset(s, d.appl_code_start);

  // Backwards from the last byte E, in overlapping windows; the marker and
  // its fields are read from the dump, never past the code's end.
  const int64_t E = int64_t{d.appl_code_len} - 1;
  int64_t found = -1;
  uint32_t sizeword = 0;
  unsigned char buf[kWindow + kTrailerFields];
  for (int n = 0; n < kWindows && found < 0; ++n) {
    int64_t from = E - kWindow - int64_t{kStep} * n;
    int64_t lo = std::max<int64_t>(from, 0);
    if (from + int64_t{kWindow} <= 0) break;
    size_t got = code.read(static_cast<uint32_t>(lo), buf, static_cast<size_t>(from + kWindow + kTrailerFields - lo));
    for (int64_t p = lo; p < from + int64_t{kWindow}; ++p) {
      size_t i = static_cast<size_t>(p - lo);
      if (i + kTrailerFields > got) break;
      if (std::memcmp(buf + i, kMarker, sizeof kMarker) != 0) continue;
      found = p;
      sizeword = vt::le32(buf + i + 8);
      d.sym_timestamp = vt::le32(buf + i + 12);
      break;
    }
  }
  if (found < 0) {
    o.write("\nThe SYM file is NOT in the dump.\n");
    s.dumpfile.seek(saved);
    return;
  }
  const uint32_t M = static_cast<uint32_t>(found);
  const uint32_t size = sizeword & 0xFFFFFF;
  o.write("\nThe SYM file IS in the dump.");
  if (d.sym_timestamp != 0) o.print("  It is dated %s", time_text(d.sym_timestamp, sizeword >> 25).c_str());
  o.write("\n");
  // The CDV file names more than a SYM file: it stays the run's symbols.
  if (s.cdvfile.is_open()) {
    s.dumpfile.seek(saved);
    return;
  }

  // The copy goes to a scratch file that replaces the named one only once
  // it is complete; a failed copy leaves nothing behind.
  const std::string& name = d.dump_sym_name;
  const std::string scratch = name + ".$$$";
  std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
  if (!out) {
    s.dumpfile.seek(saved);
    return;
  }
  const uint32_t symstart = size <= M ? M - size : 0;
  o.print("Writing SYM file \"%s\" from dump offset %08lX to %08lX\n", name.c_str(),
          static_cast<unsigned long>(size <= M ? code.dump_offset(symstart) : code.dump_offset(M) - size),
          static_cast<unsigned long>(code.dump_offset(M)));
  bool good = size <= M;
  unsigned char doa_work[1024];
  for (uint32_t x = symstart; good && x < M;) {
    size_t want = std::min<uint32_t>(sizeof doa_work, M - x);
    size_t got = code.read(x, doa_work, want);
    if (got != want) good = false;
    out.write(reinterpret_cast<const char*>(doa_work), static_cast<std::streamsize>(got));
    if (!out) good = false;
    x += static_cast<uint32_t>(want);
  }
  out.close();
  if (!out) good = false;
  std::error_code ec;
  if (good) good = vt::replace_file(scratch, name);
  if (!good) {
    std::filesystem::remove(scratch, ec);
    s.dumpfile.seek(saved);
    return;
  }
  s.symfile.close();
  s.symfile.open(name);
  s.symbols.sym_extracted_from_dump = 1;
  add_summary_line(s, " SYM file %s was extracted from the dump.", name.c_str());
  s.symfilename = name;
  s.dumpfile.seek(saved);
}

}  // namespace morvik
