// The valid inputs the fuzz targets start from, built by testkit: a dump of
// each variant with its BSX file, linked and vanteriked modules, and modules
// with the runtime's patch sites.
#pragma once
#include <string>
#include <vector>

#include "testkit/demo.h"
#include "testkit/dumpbuilder.h"
#include "testkit/tempdir.h"

namespace fuzz {

using testkit::Bytes;

constexpr int kVariants = 5;
testkit::DumpVariant variant(int n);  // n taken modulo kVariants

// A dump with two processes, code and data segments, a console, pipes, an
// RS-485 driver instance and a few kernel symbols beside the standard ones.
testkit::DumpBuilder dump_base(testkit::DumpVariant v);
// The MORVIK bases: dump_base of each variant (0 to 4), where the
// application is not found, and the demo dump of each variant (5 to 9),
// whose report goes through every section.
constexpr int kMorvikBases = 2 * kVariants;
testkit::DumpBuilder morvik_base(int n);
// The RS-485 driver's BSX file the runs name; it stays in the working folder.
constexpr const char* kSerialBsx = "pir1l.bsx";
Bytes serial_bsx();
// The demo's SYM file, which the runs on the demo bases name (with "/dh",
// so that they walk the heap whole); it stays in the working folder.
constexpr const char* kDemoSym = "demo.sym";
std::string demo_sym();
// The answers that make MORVIK read the dump without asking anything; `sym`
// names the SYM or CDV file ("0" for none), `heap_trace` adds "/dh".
std::vector<std::string> morvik_args(testkit::DumpVariant v, const std::string& dump, const std::string& bsx,
                                     const std::string& sym = "0", bool heap_trace = false);

// The demo dump of a variant (its application runs to the symbol sections),
// the SYM file that names its code and data, and a CDV file of every
// record kind for the same code.
testkit::DumpBuilder demo_base(testkit::DumpVariant v, testkit::DemoDump& d);
Bytes demo_sym_file();
Bytes demo_cdv_file(const testkit::DemoDump& d);

// Linked modules: 0 without SRTLs, 1 behind the zero prefix, 2 with two
// SRTLs and their fixup lists.
constexpr int kLinkModules = 3;
Bytes link_module(int n);
// The SYM file that goes with them.
std::string link_sym();

// Modules with the error-trap site, the missing-RESUME data (holding the
// trace-size word) and a level marker, for 'T' and 'C'.
Bytes patch_module(char env);

}  // namespace fuzz
