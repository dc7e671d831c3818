// The state of one MORVIK run: the session (open files, answers, flags) and
// the address space of the dump it holds (mode flags, descriptor tables,
// page-table caches). One Session is owned by one run and passed by
// reference; members keep the system's names.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/binary_file.h"
#include "common/console.h"
#include "common/report_sink.h"
#include "morvik/records/mypd.h"
#include "morvik/records/omkccomd.h"
#include "morvik/records/omktcomd.h"
#include "morvik/records/struc.h"
#include "morvik/state/address_space.h"
#include "morvik/state/app_symbols.h"
#include "morvik/state/dump_sym.h"
#include "morvik/state/dumpimage.h"
#include "morvik/state/open_files.h"
#include "morvik/state/runtime_findings.h"

namespace morvik {

// One entry of the process list (newest first).
struct plistItem {
  uint32_t rpid = 0;
  std::string name;  // up to 10 characters
};

struct Session {
  explicit Session(vt::Console& console) : con(console) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  vt::Console& con;  // standard input, output (banner, debug) and error (prompts)

  // Open files of the run.
  DumpImage dumpfile;
  vt::BinaryFile bsxfile;
  vt::BinaryFile symfile;  // never open together with cdvfile
  vt::BinaryFile cdvfile;
  vt::ReportSink outfile;  // the screen or a report file

  // Switches.
  int16_t debugmode = 0;
  int16_t heap_debugmode = 0;

  // Answers of the dialogue.
  std::string prefix;         // dump name up to "cslcf"/"csltf"
  std::string applname;       // lower-cased; "0" for none
  std::string APPL_NAME;      // upper-cased
  std::string symfilename;    // lower-cased
  std::string outfilename;    // as opened ("SCREEN" for the screen)
  uint16_t userArrayLimit = 25;
  uint16_t userStringLimit = 512;
  std::string serialBSXfile;  // optional eighth answer
  static constexpr const char* program_date = "05/26/2010";

  AddressSpace space;

  // The application process and what is learnt about it.
  std::optional<_pd> applprocess;
  int16_t applflat = 0;
  int16_t shared = 0;
  int16_t sharedCodeHolder = 0;
  int16_t rpostActive = 0;
  int16_t BASIC = 0;
  int16_t CAPITMED = 0;
  int16_t CAPITLRG = 0;
  uint32_t currentPID = 0;
  uint32_t thispd = 0;
  std::vector<plistItem> plist;  // process list, newest first
  bool process_list_cut = false;  // its walk ended early at a damaged descriptor
  std::string applfilename;      // up to 29 bytes
  uint16_t DS_selector = 0;
  uint32_t DS_offset = 0;
  uint16_t CS_selector = 0;
  uint32_t CS_offset = 0;
  uint16_t SS_selector = 0;
  uint16_t SP = 0, BP = 0, CS = 0, CX = 0;
  int16_t regsOK = 1;
  std::array<uint16_t, 6> code_block_286{};
  int16_t numchunks = 0;
  int16_t MetaWare = 0;
  int16_t cbrt = 0;
  int16_t MAXFN = 99;

  // The dump's circumstances (system communication areas).
  CCOMD_s ccomd;
  TCOMD_s tcomd;
  morvik::mcpc mcpc;
  uint32_t diedat = 0;
  int64_t failingpos = 0;  // output position for " in process %s."; 0 for none
  int16_t SYSTEM = 0;
  std::string termnum;
  uint16_t machine_type = 0;

  // Set once a failed write has been named on the error stream: only the
  // first failure of a run is.
  bool write_failure_shown = false;

  // The report's summary area: output position of the next free summary line.
  int32_t summaryPos = 0;
  // Position of the box's bottom line + 4: no summary line is written there
  // or beyond (0 until the summary area exists).
  int32_t summaryEnd = 0;

  // What the symbol layer loads and the runtime sections learn, for the
  // sections that follow.
  AppSymbols symbols;
  RuntimeFindings runtime;
  OpenFiles openfiles;
  DumpSym dumpsym;  // the SYM file carried in the dumped code
};

// The debug checkpoint: in debug mode writes the location number to the
// standard error stream.
void report(Session& s, int location);

// A write that failed: the first of the run names the output and the
// system's reason in one line on the standard error stream.
void write_failure(Session& s, const std::string& name, const std::string& reason);
// Flushes standard output; false (after naming the failure) when a write to
// it has failed.
bool stdout_ok(Session& s);

// Flushes the report and the console and ends the run with `status`; a
// report or standard output that could not be written ends it with 1.
[[noreturn]] void end_run(Session& s, int status);

}  // namespace morvik
