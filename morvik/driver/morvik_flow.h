// The report flow after the dialogue: its pieces that are worth calling on
// their own (run_report itself is declared with the entry in morvik.h).
#pragma once
#include <cstdint>
#include <string>

#include "morvik/state/session.h"

namespace morvik {

// What the first 20 bytes of an application's code say about it.
enum class CodeStart { Unknown, TerminalBasic, Basic };

// The code signatures of the BASIC runtimes, tried in order; `shared` is
// the process's SRTL flag.
CodeStart basic_signature(const unsigned char* code, bool shared);

// The BASIC test of the selected process: sets BASIC, termappl and the
// C interface library flags, and reports an application that is not BASIC.
void basic_test(Session& s);

// The heap: a controller application's lists through "_usedlist", or a
// terminal application's heap control block, whose far address follows the
// text "NewHeap" in the data segment past the runtime's own data
// (runtime.heapScanFrom).
void heap_report(Session& s);

// The batch file that formats the RPOST process, built from the saved
// answers; empty when the answers are not complete enough for it.
std::string rpost_batch(const std::string& appargs);

}  // namespace morvik
