// The BASIC runtimes' own records in an application of a built dump:
//  - the version records in code ("CBRT", the level's digits and the date);
//  - the terminal runtime's data in the data segment: the error history
//    after its marker "net==>" (the ring of the last errors in either entry
//    form), the runtime data "CRTDATA" (_crt or _crt2) with the session
//    table, its fileinfo records, names and buffers, the runtime registers
//    "RTDATA", the saved-error chain and the SWI enable/disable trace.
// Each structure is placed at an offset the caller gives, so that a test
// states its errors and sessions and the builder places the bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "testkit/dumpbuilder.h"

namespace testkit {

// "CBRT" and the level's digits, blanks up to the date 21 bytes after the
// "C" (8 characters), a NUL: 30 bytes.
Bytes version_record(int level, const std::string& date);
// The shared runtime's form: the date (9 characters) 18 bytes after the "C".
Bytes shared_version_record(int level, const std::string& date);

}  // namespace testkit

namespace testkit {

// One slot of the error ring: an errnum of 0 is an empty slot. Levels
// below 50 keep four two-character time fields (date then time); from 50 on
// two (the date) and the time of day in milliseconds.
struct RingError {
  std::string code = "  ";
  uint32_t errnum = 0;
  uint8_t repeat = 0;
  std::string date = "0314";  // month, day
  std::string time = "1432";  // hour, minute (levels below 50)
  uint32_t msec = 0;          // levels 50 and up
  uint8_t session = 0;
};

// An error whose ON ERROR routine did not resume (the list after the ring).
struct UnresumedError {
  std::string code = "  ";
  uint8_t session = 0;
  uint32_t errnum = 0;
  uint32_t on_error = 0;
  uint32_t msec = 0;
};

struct RuntimeSession {
  int number = 1;
  std::string name;  // a device session's name (devnum non-zero) or the file's
  uint32_t fnum = 0;
  uint8_t devnum = 0;
  uint16_t buffsize = 0;
  Bytes buffer;      // the buffer's first bytes; a buffer is placed when buffsize > 0
  uint32_t ifend = 0;        // IF END routine (code selector:offset), 0 for none
  uint16_t ifend_sp = 0;     // its stack pointer in the runtime registers
  uint32_t pointer = 0;      // non-zero: the session table entry as given (a damaged one)
  uint32_t buffer_ptr = 0;   // non-zero: the fileinfo's buffer pointer as given
};

RuntimeSession runtime_session(int number, const std::string& name, uint32_t fnum, uint8_t devnum, uint16_t buffsize,
                               Bytes buffer = {});

// A block of the data saved before an ON ERROR routine.
struct SavedError {
  uint16_t savesp1 = 0;
  std::string errc = "  ";
  uint32_t errn = 0;
  int16_t errio = 0;
};

struct TerminalRuntimeSpec {
  int level = 64;
  // Offsets in the data segment: the marker "net==>" (the error history
  // follows it), the runtime data "CRTDATA", the registers "RTDATA" and the
  // space for the sessions' records, names, buffers and saved blocks.
  uint16_t net_at = 0x0100;
  uint16_t crt_at = 0x0400;
  uint16_t rtdata_at = 0x0A00;
  uint16_t spare_at = 0x0C00;
  int16_t arnnet = 0;
  int16_t next = 0;  // the ring slot written next
  RingError ring[16];
  uint16_t unresumed_count = 0;  // at 316 of the error history
  std::vector<UnresumedError> unresumed;  // up to three
  std::vector<RuntimeSession> sessions;
  int16_t last_session = 0, accessing = 0, event = 0, swi_count = 0, pelton = 0;
  uint32_t async_routine = 0;
  uint32_t on_error = 0;   // ON ERROR routine (code selector:offset)
  bool new_layout = true;  // registers of the newer layout (on_error's selector at 99)
  int16_t elnum = 0, debug_line = 0;
  std::vector<SavedError> saved;  // newest first
  bool loop_saved = false;        // the last block links back to the first
};

// Places the runtime's data in the data segment `data` of process `proc`.
void add_terminal_runtime(DumpBuilder& b, int proc, uint16_t data, const TerminalRuntimeSpec& cfg);

// The SWI enable/disable trace at `at` of the data segment: the two
// signatures around 30 entries (0xFFFFFFFF the wrap point).
void put_swi_trace(DumpBuilder& b, int proc, uint16_t data, uint16_t at, const std::vector<uint32_t>& events);

// The controller runtime (not shared). The data block's offset is the one
// the runtime keeps it at (0x232); the registers are found by their
// signatures in the segment's first 4 KB, the marker there too.
struct ControllerRuntimeSpec {
  uint16_t marker_at = 0x0010;
  uint16_t crt_at = 0x0232;
  uint16_t rtdata_at = 0x0900;
  uint16_t table_at = 0x3000;   // the session table: 1,025 far pointers
  uint16_t spare_at = 0x1100;   // sessions' records, names, buffers, saved blocks
  std::vector<RuntimeSession> sessions;  // number, name, devnum, buffsize, buffer, pointer, buffer_ptr
  int16_t last_session = 0;
  bool referencing = false;  // the last session is the one being referenced
  uint32_t async_routine = 0;
  int16_t swi_count = 0;
  SavedError latest;       // the registers' error; errn 0: no outstanding error
  uint32_t on_error = 0;   // ON ERROR routine (code selector:offset)
  int16_t debug_line = 0;
  std::vector<SavedError> saved;  // newest first, chained from the data block
};

void add_controller_runtime(DumpBuilder& b, int proc, uint16_t data, const ControllerRuntimeSpec& cfg);

}  // namespace testkit
