// The SVC trace, the SVC the application is blocked in, and the file
// numbers of the application.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "morvik/state/session.h"

namespace morvik {

// The SVC trace section and the last-SVC summary line.
void svctrace(Session& s);
// The SVC the application is blocked in, written after its process line.
// `args` are the 10 bytes of its arguments on the application's stack: the
// SVC number (u16), the selector:offset of its parameter block (u32) and
// one more u32.
void showSVC(Session& s, const unsigned char* args);
// The open-files section (and the file operations trace).
void showfnums(Session& s);

// Names of an SVC number: padded to 9 characters for the trace, unpadded
// for the summary lines; "????" past the table.
const char* svc_name(uint16_t func);
const char* svc_name_unpadded(uint16_t func);

// The application process's name without its padding (APPL_NAME before
// the process is known).
std::string appl_process_name(const Session& s);

// A file function's name, padded to 7 characters ("????" for others).
const char* getFunction(int16_t funcnum);
// The file manager of a file id, padded to 5 characters (blanks for others).
const char* getfid(int16_t rfid);
// The device a driver name stands for; any other name unchanged.
std::string devname(const std::string& buf);
// The open-files heading.
void headers(Session& s);
// The file operations trace of the file system's common data at `sym`.
void formatFSFCCOMD(Session& s, const sym_s& sym);

// Writes `name` into the blank field the blocked SVC's line reserved for
// the name of its file, cut to the field, and clears fnumForSVC. A report
// on the screen has no positions to go back to: nothing is written there.
void fill_svc_name(Session& s, std::string_view name);

}  // namespace morvik
