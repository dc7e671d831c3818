#include "kivra/kivra.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <istream>
#include <ostream>
#include <vector>

#include "common/le.h"
#include "common/platform.h"

namespace kivra {
namespace {

// Error-trap sites of the runtime's code.
constexpr unsigned char Tpatchstring[13] = {0x7E, 0x02, 0x33, 0xC0, 0xC1, 0xE0, 0x04,
                                            0x8B, 0xD8, 0xB8, 0x40, 0x40, 0x89};
constexpr unsigned char Cpatchstring[13] = {0x03, 0xD8, 0x2E, 0x8B, 0x0F, 0x81, 0xF9,
                                            0x78, 0x78, 0x75, 0x16, 0x53, 0xBB};
// The runtime's data around its missing-RESUME flag.
constexpr unsigned char TMRpatchstring[12] = {0x00, 0x50, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x50};
constexpr unsigned char CMRpatchstring[12] = {0x00, 0x50, 0x41, 0x00, 0x00, 0x40, 0x99, 0x92, 0x50, 0x58, 0x02, 0x23};

constexpr size_t kBlock = 256;
constexpr int64_t kOverlap = 16;
constexpr int64_t kMrStep = 228;
constexpr size_t kMrOffsets = 240;

const char kHelp[] =
    "      This tool patches a BASIC controller or terminal big memory model"
    "\n      application to cause it to dump on a given error.  Up to 5 errors"
    "\n      may be specified for a terminal application, or a single error for"
    "\n      a controller application.  A session number is optional."
    "\n\n      Usage:    KIVRA environ filename errorcodes(s) session"
    "\n\t  environ:     'T' for a terminal app, 'C' for a controller app."
    "\n\t  filename:\tName of the executable file. "
    "\n\t  errorcode(s): Error(s) on which the application is to dump."
    "\n\t  session:      Session number associated with the above error(s)."
    "\n\n      For example,    KIVRA  T  pvnts10l.286  DO EF FU 22"
    "\n\t  modifies pvnts10l.286 such that the terminal will dump on the"
    "\n\t  first DO, EF or FU error which occurs on session 22."
    "\n\n      Notes:  \n\t  A controller application must be linked with the NOSH option."
    "\n\t  A controller application may be patched one time only.\n";

class Kivra {
 public:
  Kivra(int argc, char** argv, vt::Console& con, const ModuleOpener& open_module)
      : argc_(argc), argv_(argv), con_(con), open_module_(open_module) {}

  void run() {
    banner();
    if (argc_ < 4 || argv_[1][0] == '?') help();
    environment = static_cast<char>(std::toupper(static_cast<unsigned char>(argv_[1][0])));
    if (environment != 'T' && environment != 'C') help();
    vt::refuse_long_arguments(argc_, argv_, con_);
    module_ = argv_[2];
    take_arguments();
    find_site();
    check_room();
    confirm();
    patch();
    for (int i = 1; i < argc_; ++i)
      if (std::strcmp(argv_[i], "mr") == 0 || std::strcmp(argv_[i], "MR") == 0) toggle_missing_resumes();
    vt::end_run(con_, 0);
  }

 private:
  void banner() {
    const std::string rule = "    " + std::string(70, '#') + "\n";
    const std::string blank = "    #" + std::string(68, ' ') + "#\n";
    con_.out << "\n\n" << rule << blank
             << "    #   KIVRA:    Patch an appl to trap on specific errors   02/20/2009  #\n" << blank << rule;
    con_.out.flush();
  }

  [[noreturn]] void help() {
    con_.out << kHelp;
    vt::end_run(con_, 0);
  }

  // Error codes up to the first argument that starts with something else,
  // which is the session number.
  void take_arguments() {
    for (int i = 3; i < argc_; ++i) {
      unsigned char c = static_cast<unsigned char>(argv_[i][0]);
      if (c == '*' || c >= 'A') {
        codes_.push_back(argv_[i]);
        continue;
      }
      session_ = read_session(argv_[i]);
      break;
    }
  }

  // The terminal runtime keeps one byte of the session, the controller's two.
  long read_session(const char* text) {
    const long highest = environment == 'T' ? 0xFF : 0xFFFF;
    long value = 0;
    bool ok = *text != '\0';
    for (const char* p = text; ok && *p; ++p) {
      ok = *p >= '0' && *p <= '9';
      value = value * 10 + (*p - '0');
      ok = ok && value <= highest;
    }
    if (!ok) {
      vt::print(con_.err, "\tThe session must be a decimal number from 0 to %ld: %s\n", highest, text);
      vt::end_run(con_, 1);
    }
    return value;
  }

  bool open(vt::PatchFile& file, bool update) { return open_module_(file, module_, update); }

  void find_site() {
    vt::PatchFile infile;
    if (!open(infile, false)) {
      vt::print(con_.out, "Cannot open input file %s.\n", module_.c_str());
      vt::end_run(con_, -1);
    }
    vt::ModuleHeader header = vt::read_module_header(infile);
    if (header.complete) {
      if (environment == 'C' && header.uses_shared_runtimes()) {
        con_.err << "\n\t   Please re-link the applicaton with the NOSH option.\n";
        vt::end_run(con_, -1);
      }
      endofcode = infile.length();
      scan(infile, header.base + 128 + header.ldt_bytes());
    }
    infile.close();
    if (!site_found_) {
      con_.err << "\tSorry, couldn't find it.  Please check your runtime level.\n";
      vt::end_run(con_, 1);
    }
  }

  // 256-byte blocks that overlap by 16 bytes; a signature that starts too
  // close to a block's end moves the next block to 16 bytes before it.
  void scan(vt::PatchFile& infile, int64_t pos) {
    const unsigned char* sig = environment == 'T' ? Tpatchstring : Cpatchstring;
    for (bool first = true;; first = false) {
      size_t bytes = 0;
      const unsigned char* buffer = infile.view(pos, kBlock, bytes);
      if (first && environment == 'T' && bytes >= 10 && std::memcmp(buffer + 2, "OMKACRBW", 8) == 0) {
        con_.err << "\n\tThis is a controller app.  Please specify environ 'c' and link\n\t with the NOSH option.\n";
        vt::end_run(con_, 0);
      }
      if (bytes < kBlock) return;
      int64_t next = pos + static_cast<int64_t>(bytes);
      const size_t limit = bytes - 7;
      size_t at_level = vt::next_byte(buffer, 0, limit, 'C');
      size_t at_site = vt::next_pair(buffer, 0, limit, sig[0], sig[1]);
      while (at_level < limit || (!site_found_ && at_site < limit)) {
        if (at_level < at_site || site_found_) {
          check_level(buffer + at_level, bytes - at_level);
          at_level = vt::next_byte(buffer, at_level + 1, limit, 'C');
          continue;
        }
        size_t j = at_site;
        if (j >= bytes - 12) {
          next = pos + static_cast<int64_t>(j);
          break;
        }
        if (site_matches(buffer + j)) {
          site_found_ = true;
          S_ = pos + static_cast<int64_t>(j);
          P_ = S_ + (environment == 'T' ? 42 : 7);
        }
        at_site = vt::next_pair(buffer, j + 1, limit, sig[0], sig[1]);
      }
      if ((site_found_ && level_found_) || next >= endofcode) return;
      pos = next - kOverlap;
    }
  }

  // The controller's signature leaves out the four bytes of its error slot,
  // which hold whatever code an earlier patch put there.
  bool site_matches(const unsigned char* p) const {
    if (environment == 'T') return std::memcmp(p, Tpatchstring, 13) == 0;
    return std::memcmp(p, Cpatchstring, 7) == 0 && std::memcmp(p + 11, Cpatchstring + 11, 2) == 0;
  }

  void check_level(const unsigned char* p, size_t avail) {
    int cbrt = 0;
    if (!vt::cbrt_level(p, avail, cbrt)) return;
    vt::print(con_.out, "CBRT=%d\n", cbrt);
    level_found_ = true;
    if (environment == 'T' && cbrt > 500) {
      vt::print(con_.err,
                "\n       This is not a big model terminal application - the runtimes do\n"
                "\t not support error trapping (CBRT %d)\n",
                cbrt);
    } else if (environment == 'T' && cbrt < 48) {
      vt::print(con_.err,
                "\n\t  Sorry - these runtimes are backlevel (CBRT %d).  Please\n"
                " \t  re-link the application with runtimes of May04 or later.\n",
                cbrt);
    } else if (environment == 'C' && cbrt < 100) {
      con_.err << "\n\t   Please specify environ 't' for a terminal application\n";
    } else if (environment == 'C' && cbrt <= 635) {
      vt::print(con_.err,
                "\n\t  Sorry - these runtimes are backlevel (CBRT %d).  Please\n"
                " \t  re-link the application with runtimes of April03 or later.\n",
                cbrt);
    } else {
      return;
    }
    vt::end_run(con_, 0);
  }

  // Every byte to write lies inside the module, or nothing is asked and
  // written: a site at the very end of a cut-off module has no room for its
  // slots.
  void check_room() {
    int64_t end = P_ + (environment == 'T' ? 4 * 6 + 2 : 2);
    if (session_ != 0) end = std::max(end, environment == 'T' ? S_ + 89 : S_ + 32);
    if (end <= endofcode) return;
    vt::print(con_.err,
              "\n\tThe error-trap site at file position %lld is cut off by the end of the file.\n"
              "\tThe file was NOT modified\n",
              static_cast<long long>(S_));
    vt::end_run(con_, 1);
  }

  void confirm() {
    con_.err << "\n\tFound it!  Are you sure you want the file modified (Y/N)?  ";
    con_.err.flush();
    int answer = con_.in.get();
    con_.err << "  ok...\n";
    if (answer != 'y' && answer != 'Y') {
      con_.err << "\n\tThe file was NOT modified\n";
      vt::end_run(con_, 0);
    }
  }

  // A failed write puts back what the step wrote before it, so that the
  // module is either patched completely or left as it was.
  void write(vt::PatchStep& step, int64_t pos, const unsigned char* bytes, size_t n) {
    if (step.write(pos, bytes, n)) return;
    vt::print(con_.out, "WRITE ERROR at file position %lld\n", static_cast<long long>(pos));
    if (!step.undo()) con_.err << "\n\tThe file could not be put back as it was and may be damaged.\n";
    vt::end_run(con_, 1);
  }

  void patch() {
    const size_t slots = environment == 'T' ? 5 : 1;
    const size_t patched = std::min(codes_.size(), slots);
    const bool session_written = session_ != 0;
    vt::PatchFile outfile;
    if (!open(outfile, true)) {
      vt::print(con_.err, "open failed : %s\n", vt::error_text(outfile.error()).c_str());
      vt::end_run(con_, 1);
    }
    vt::PatchStep step(outfile);
    int64_t pos = P_;
    for (size_t i = 0; i < patched; ++i, pos += 6) {
      const char* code = codes_[i];
      vt::print(con_.out, "\tPatching [%s]... ", code);
      unsigned char first = static_cast<unsigned char>(code[0]);
      if (first != '*') first = static_cast<unsigned char>(std::toupper(first));
      const unsigned char slot[2] = {static_cast<unsigned char>(code[1] & ~0x20), first};
      write(step, pos, slot, 2);
      con_.out << "OK\n";
    }
    const unsigned char unused[2] = {'y', 'y'};
    for (size_t i = patched; environment == 'T' && i < slots; ++i, pos += 6) write(step, pos, unused, 2);
    if (session_written) {
      // The controller's session word follows its one slot.
      unsigned char word[2];
      vt::put16(word, static_cast<uint16_t>(session_));
      if (environment == 'T')
        write(step, S_ + 88, word, 1);
      else
        write(step, S_ + 30, word, 2);
    }
    if (!outfile.close()) {
      vt::print(con_.err, "\n\tThe file could not be closed: %s\n", vt::error_text(outfile.error()).c_str());
      vt::end_run(con_, 1);
    }
    con_.err << "\n\tDone!  ";
    if (patched)
      vt::print(con_.err, "Trap code added for %u %s", static_cast<unsigned>(patched),
                patched == 1 ? "error" : "errors");
    if (session_written) con_.err << " and an associated session";
    con_.err << ".\n";
  }

  void toggle_missing_resumes() {
    vt::PatchFile outfile;
    if (!open(outfile, true)) {
      vt::print(con_.out, "The MR patch was NOT applied (cannot reopen %s: %s)\n", module_.c_str(),
                vt::error_text(outfile.error()).c_str());
      vt::end_run(con_, 1);
    }
    bool toggled = trap_missing_resumes(outfile);
    if (!outfile.close()) {
      vt::print(con_.out, "The MR patch may NOT be applied (closing %s failed: %s)\n", module_.c_str(),
                vt::error_text(outfile.error()).c_str());
      vt::end_run(con_, 1);
    }
    if (!toggled) vt::end_run(con_, 1);
  }

  // Blocks every 228 bytes; a signature is looked for at the first 240
  // offsets of each.
  bool trap_missing_resumes(vt::PatchFile& outfile) {
    const unsigned char* sig = environment == 'T' ? TMRpatchstring : CMRpatchstring;
    for (int64_t pos = 0; pos < endofcode; pos += kMrStep) {
      size_t bytes = 0;
      const unsigned char* buffer = outfile.view(pos, kBlock, bytes);
      if (bytes < kBlock) {
        if (pos + static_cast<int64_t>(bytes) >= outfile.length())
          con_.out << "The MR patch was NOT applied (signature was not found)\n";
        else
          vt::print(con_.out, "READ ERROR at file position %lld\n", static_cast<long long>(pos));
        return false;
      }
      for (size_t j = vt::next_pair(buffer, 0, kMrOffsets, sig[0], sig[1]); j < kMrOffsets;
           j = vt::next_pair(buffer, j + 1, kMrOffsets, sig[0], sig[1])) {
        if (std::memcmp(buffer + j, sig, 12) == 0) return toggle_flag(outfile, pos + static_cast<int64_t>(j));
      }
    }
    con_.out << "The MR patch was NOT applied (signature was not found)\n";
    return false;
  }

  bool toggle_flag(vt::PatchFile& outfile, int64_t M) {
    const int64_t where = environment == 'T' ? M + 168 : M - 22;
    unsigned char flag[3];
    if (outfile.read(where, flag, 3) != 3) {
      vt::print(con_.out, "READ ERROR at file position %lld\n", static_cast<long long>(where));
      return false;
    }
    if (flag[0] != 0xC3 || flag[1] != 0x00 || flag[2] > 1) {
      vt::print(con_.out, "The MR patch was NOT applied (unexpected bytes at file position %lld)\n",
                static_cast<long long>(where));
      return false;
    }
    flag[2] ^= 1;
    vt::PatchStep step(outfile);
    if (!step.write(where, flag, 3)) {
      vt::print(con_.out, "WRITE ERROR at file position %lld\n", static_cast<long long>(where));
      if (!step.undo()) con_.out << "The file could not be put back as it was and may be damaged.\n";
      return false;
    }
    con_.out << (flag[2] ? "\n\tMissing RESUME checking is activated.\n" : "\n\tMissing RESUME checking is DE-activated.\n");
    return true;
  }

  const int argc_;
  char** const argv_;
  vt::Console& con_;
  const ModuleOpener& open_module_;
  std::string module_;
  char environment = 0;  // 'T' or 'C' (not `environ`: a C runtime may define that as a macro)
  int64_t endofcode = 0;
  std::vector<const char*> codes_;
  long session_ = 0;
  bool site_found_ = false;
  bool level_found_ = false;
  int64_t S_ = 0;  // where the error-trap signature starts
  int64_t P_ = 0;  // the first error slot
};

}  // namespace

int run(int argc, char** argv, vt::Console& con, const ModuleOpener& open_module) {
  try {
    Kivra(argc, argv, con, open_module).run();
  } catch (const vt::RunEnd& end) {
    return end.status;
  }
  return 0;
}

}  // namespace kivra

int kivra_main(int argc, char** argv, vt::Console& con) {
  const kivra::ModuleOpener open_module = [](vt::PatchFile& file, const std::string& path, bool update) {
    return file.open(path, update);
  };
  return kivra::run(argc, argv, con, open_module);
}
