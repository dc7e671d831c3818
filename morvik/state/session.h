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
#include "morvik/state/dumpimage.h"
#include "morvik/records/mypd.h"
#include "morvik/records/omkccomd.h"
#include "morvik/records/omktcomd.h"
#include "morvik/records/struc.h"

namespace morvik {

// The dump's address space: how the dump maps memory, and the tables
// loaded from it to translate addresses into dump offsets.
struct AddressSpace {
  // Mode flags, fixed when the dump file is opened (flags hold 0 or 1).
  int16_t page = 0;       // translation through page tables
  int16_t ELVELA = 0;     // EL dump: kernel at kernal_offset inside the file
  int16_t termMARRA = 0;  // MARRA terminal: unpaged 24-bit memory
  int16_t termdump = 0;   // a terminal dump (not a controller dump)
  int16_t termappl = 0;   // the application uses the terminal runtime layout
  uint32_t kernal_offset = 0;
  std::string bsx_name;  // "RT8GL" or "CT8SL" for EL dumps, else empty

  // GDT (loaded by getGDT).
  uint32_t OS_Data = 0;  // dump offset of the "gdt_desc" datum
  uint32_t GDT_base = 0;  // MARRA: a dump offset; otherwise a system linear address
  uint16_t GDT_lim = 0;   // descriptor limit with the low three bits cleared
  std::vector<unsigned char> gdtptr;  // the GDT copy, limit + 1 bytes
  bool gdt_loaded = false;

  // System page directory (paged dumps).
  uint32_t PTD_addr = 0;
  std::array<uint32_t, 1024> PTDbuffer{};

  // The application's LDT and page directory (loaded by page_get_LDT or get_LDT).
  ldth_s ldth;
  uint16_t ldttop = 0;
  std::vector<unsigned char> ldtptr;  // numldt * 8 bytes; slot k is selector k * 8 + 7
  std::vector<uint32_t> pagedir;      // 1024 entries once loaded
  uint32_t CR3 = 0;         // dump offset of the process page directory
  uint32_t LDT_addr = 0;    // system selector:offset of the LDT object
  uint32_t LDT_offset = 0;  // its dump offset
  uint32_t code_min = 0xFFFFFFFFu;  // span of the application's code, dump offsets
  uint32_t code_max = 0;

  // Process page-table cache: the last process page table read (5,120 bytes).
  std::vector<uint32_t> pagetable;
  uint32_t oldPTaddr = 0;   // its frame address; 0 = nothing cached
  size_t pagetblptr = 0;    // index of the first non-zero entry of pagetable
  int16_t PDindex = 0;
  uint32_t PTindex = 0;
  // System page-table cache.
  std::array<uint32_t, 1024> syspagetable{};
  uint32_t oldsysPTaddr = 0;
  bool ldtptr_shown = false;  // the debug line "ldtptr=" is printed once per run

  // Bounds-checked views of the copies (a slot outside a copy reads as zero).
  size_t gdt_slots() const { return gdtptr.size() / GDT_entry::kSize; }
  GDT_entry gdt_entry(size_t slot) const;
  size_t ldt_slots() const { return ldtptr.size() / ldt_s::kSize; }
  ldt_s ldt_entry(size_t slot) const;
};

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

  // The report's summary area: output position of the next free summary line.
  int32_t summaryPos = 0;
  // Position of the box's bottom line + 4: no summary line is written there
  // or beyond (0 until the summary area exists).
  int32_t summaryEnd = 0;

  // Left by one section of the report for a later one.
  uint16_t rtdsvOffset = 0;  // SYM data symbols: offset of the runtime label "rtdsv"
  int16_t Csources = 0;      // CDV reader: the application has C sources
  int32_t heapScanFrom = -1;  // runtime data: data-segment offset just past the
                              // _crt/_crt2 record; -1 when it was not found

  // File names of the CDV source-file table, by file index (the CDV reader
  // fills them; the array printer names an array's source file with them).
  std::vector<std::string> filelist_names;
};

}  // namespace morvik
