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
