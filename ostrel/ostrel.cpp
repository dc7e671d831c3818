#include "ostrel/ostrel.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <istream>
#include <ostream>

#include "common/le.h"
#include "common/patchfile.h"

namespace {

// The runtime's data around its trace-size word.
constexpr unsigned char Tpatchstring[12] = {0x00, 0x50, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x50};
constexpr unsigned char Cpatchstring[12] = {0x00, 0x50, 0x41, 0x00, 0x00, 0x40, 0x99, 0x92, 0x50, 0x58, 0x02, 0x23};

constexpr size_t kBlock = 256;
constexpr size_t kMarker = 7;  // "CBRT" and three digits
constexpr long kSmallest = 10;
constexpr long kLargest = 5200;

const char kBanner[] =
    "\n\t##############################################################\n"
    "\t#                                                            #\n"
    "\t#   OSTREL                                    Apr 16, 2010   #\n"
    "\t#                                                            #\n"
    "\t##############################################################\n";

const char kHelp[] =
    "\n\tThis tool patches a BASIC application to increase the size of"
    "\n\tthe application call trace in a controller or terminal big"
    "\n\tmemory model application.  Usage:\n"
    "\t  OSTREL  environ  filename  size\n"
    "\tWhere:\n"
    "\t  'environ'  is either 'C' for controller, or 'T' for terminal."
    "\n\t  'filename' is the name of the application executable. "
    "\n\t  'size'     is the desired number of trace entries to preserve."
    "\n\t             This number may not exceed 5200."
    "\n\n\tFor example,"
    "\n\t\t   OSTREL T pvnts10l.286 400"
    "\n\t   will modify terminal application pvnts10l.286 such that the"
    "\n\t   trace buffer accommodates up to 400 entries before it wraps.\n";

struct DormantOption {
  unsigned bit;
  const char* line;
};
constexpr DormantOption kDormantOptions[] = {
    {1, " - VELA Enhanced V6 Timer Resolution.\n"},
    {2, " - SCANFREEHEAPBLOCKS in _cb_prolog and _cb_epilog.\n"},
    {8, " - Tracing of LOCKDEV and UNLOCKDEV.\n"},
    {16, " - Tracing of heap allocates and frees.\n"},
};

class Ostrel {
 public:
  Ostrel(int argc, char** argv, vt::Console& con) : argc_(argc), argv_(argv), con_(con) {}

  void run() {
    if (argc_ < 4 || argv_[1][0] == '?') {
      con_.out << kBanner << kHelp;
      vt::end_run(con_, 0);
    }
    environment = argv_[1][0];
    if (environment == 'c' || environment == 't') environment = static_cast<char>(environment - 'a' + 'A');
    if (environment != 'C' && environment != 'T') {
      vt::print(con_.err, "Invalid environment:  %c\n", environment);
      vt::end_run(con_, -1);
    }
    pstring = environment == 'C' ? Cpatchstring : Tpatchstring;
    vt::refuse_long_arguments(argc_, argv_, con_);
    tracesize = read_size(argv_[3]);
    if (!infile.open(argv_[2], true)) {
      con_.err << "Cannot open input file.\n";
      vt::end_run(con_, -1);
    }
    vt::ModuleHeader header = vt::read_module_header(infile);
    if (!header.complete || !scan(header.base + 128 + 128 + header.ldt_bytes())) {
      con_.err << "Sorry, couldn't find it.  Please check your runtime level.\n";
      vt::end_run(con_, 1);
    }
    confirm();
    patch();
    vt::end_run(con_, 0);
  }

 private:
  // A decimal number, optionally signed; one outside 10 to 5200 becomes 5200.
  long read_size(const char* text) {
    const char* p = text + (*text == '-' || *text == '+');
    bool ok = *p != '\0';
    long value = 0;
    for (; ok && *p; ++p) {
      ok = *p >= '0' && *p <= '9';
      if (value <= kLargest) value = value * 10 + (*p - '0');
    }
    if (!ok) {
      vt::print(con_.err, "The size must be a decimal number of trace entries: %s\n", text);
      vt::end_run(con_, 1);
    }
    if (*text == '-') value = -value;
    return value < kSmallest || value > kLargest ? kLargest : value;
  }

  // Blocks of 256 bytes that follow each other; a 00 50 too close to a
  // block's end starts the next block at it. The block that reaches the end
  // of the file has no next one: a signature in it is compared where it lies.
  bool scan(int64_t pos) {
    for (;;) {
      size_t got = 0;
      // The bytes just past the block let a marker or a pair that starts in
      // its last bytes be seen whole.
      const unsigned char* buffer = infile.view(pos, kBlock + kMarker - 1, got);
      bytes = std::min(got, kBlock);
      if (bytes == 0) return false;
      const bool last = bytes < kBlock || pos + static_cast<int64_t>(bytes) >= infile.length();
      int64_t next = pos + static_cast<int64_t>(bytes);
      const size_t level_limit = got >= kMarker ? std::min(bytes, got - kMarker + 1) : 0;
      const size_t pair_limit = std::min(bytes, got - 1);
      size_t at_level = vt::next_byte(buffer, 0, level_limit, 'C');
      size_t at_pair = vt::next_pair(buffer, 0, pair_limit, pstring[0], pstring[1]);
      while (at_level < level_limit || at_pair < pair_limit) {
        if (at_level < level_limit && (at_pair >= pair_limit || at_level < at_pair)) {
          int level = 0;
          if (vt::cbrt_level(buffer + at_level, got - at_level, level)) {
            vt::print(con_.out, "CBRT=%d\n", level);
            cbrt = level;
          }
          at_level = vt::next_byte(buffer, at_level + 1, level_limit, 'C');
          continue;
        }
        size_t j = at_pair;
        if (!last && j + 20 > bytes) {
          next = pos + static_cast<int64_t>(j);
          break;
        }
        if (matches(pos + static_cast<int64_t>(j), buffer + j, got - j)) return true;
        at_pair = vt::next_pair(buffer, j + 1, pair_limit, pstring[0], pstring[1]);
      }
      if (last) return false;
      pos = next;
    }
  }

  // Compares the signature at file position S and reads the trace-size word
  // it points to.
  bool matches(int64_t S, const unsigned char* p, size_t avail) {
    if (avail < 12 || std::memcmp(p, pstring, 12) != 0) return false;
    int64_t at = environment == 'T' ? S + 12 : S - 6;
    unsigned char word[2];
    if (infile.read(at, word, 2) != 2) return false;
    where = at;
    old_tracesize = vt::le16(word);
    return true;
  }

  void confirm() {
    vt::print(con_.err, "Found it!  The old trace size was %d.\n\n", old_tracesize);
    con_.err << "Are you sure you want this file modified (Y/N)? ";
    con_.err.flush();
    int answer = con_.in.get();
    con_.err << "\n  OK";
    if (answer != 'y' && answer != 'Y') {
      con_.err << ", bailing out.\n";
      vt::end_run(con_, 0);
    }
  }

  void patch() {
    unsigned char word[2];
    vt::put16(word, static_cast<uint16_t>(tracesize));
    // A write that fails after its first byte puts that byte back, so that
    // the word holds the old size or the new one, never half of each.
    vt::PatchStep step(infile);
    if (!step.write(where, word, 2)) {
      vt::print(con_.err, "\nWRITE ERROR at file position %lld\n", static_cast<long long>(where));
      if (!step.undo()) con_.err << "The file could not be put back as it was and may be damaged.\n";
      vt::end_run(con_, 1);
    }
    if (!infile.close()) {
      vt::print(con_.err, "\nWRITE ERROR at file position %lld\n", static_cast<long long>(where));
      vt::end_run(con_, 1);
    }
    vt::print(con_.err, ", done!  Tracesize is now %ld\n", tracesize);
    if (cbrt >= 64 && cbrt <= 99 && tracesize > 0x1200 && tracesize <= 0x12FF) {
      con_.err << "The following dormant options are now enabled:\n";
      for (const DormantOption& option : kDormantOptions)
        if (tracesize & option.bit) con_.err << option.line;
    }
  }

  const int argc_;
  char** const argv_;
  vt::Console& con_;
  vt::PatchFile infile;
  char environment = 0;  // 'T' or 'C' (not `environ`: a C runtime may define that as a macro)
  const unsigned char* pstring = nullptr;
  int64_t where = 0;
  size_t bytes = 0;
  long tracesize = 0;
  int old_tracesize = 0;
  int cbrt = -1;  // no level marker seen: no dormant options to report
};

}  // namespace

int ostrel_main(int argc, char** argv, vt::Console& con) {
  try {
    Ostrel(argc, argv, con).run();
  } catch (const vt::RunEnd& end) {
    return end.status;
  }
  return 0;
}
