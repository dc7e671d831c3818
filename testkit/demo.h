// A realistic dump for trying MORVIK out and for end-to-end runs: kernel
// areas with the reason and time of the dump, a process list with system
// processes, helper applications and the BASIC application, their memory
// chains, the application's heap, the driver list with two consoles and the
// RS-485 driver, a few pipes, the BSX files and a SYM file for the
// application.
#pragma once
#include <cstdint>
#include <string>

#include "testkit/dumpbuilder.h"
#include "testkit/kernelbuilder.h"

namespace testkit {

struct DemoSpec {
  DumpVariant variant = DumpVariant::PagedTerminal;
  int processes = 12;  // in the list, the application among them
  std::string appl;    // "" for the variant's default (mpostapl or pvncsmll)
  // The first bytes of the application's code; empty for the signature of
  // the variant's BASIC runtime (terminal or controller layout).
  Bytes code;
  uint64_t size = 0;  // the dump file's size (the rest stays sparse); 0: as built
  int consoles = 2;   // console drivers, each with screens of text
  int pipes = 4;      // in the pipe chain, a semaphore among them
  // The application's heap (terminal or controller runtime, by its code
  // start): 0 blocks for a small heap with one corrupt block, else that
  // many blocks in `heap_segments` segments of 64 KB.
  int heap_blocks = 0;
  int heap_segments = 0;
  // Paged: the dump offset at which the application's page frames (and all
  // allocated after them) begin; 0: next in line.
  uint32_t appl_frames = 0;
  int files = 6;  // open files (the application's and others'), 6 at least
  // Non-zero: the application's SYM file merged behind its code, as the
  // postprocessor leaves it (MORVIK then takes it from the dump).
  int sym_in_code = 0;
  uint32_t stack_size = 0x2000;  // the application's stack segment (at most 64 KiB)
};

struct DemoDump {
  int appl_proc = 0;  // the builder's process number of the application
  uint32_t appl_pd = 0;
  uint16_t code = 0, data = 0, stack = 0;  // the application's selectors
};

// The application's name and first code bytes for the description.
std::string demo_appl(const DemoSpec& cfg);
Bytes demo_code(const DemoSpec& cfg);

// Code starts of the BASIC runtimes.
extern const Bytes kTerminalBasicCode;    // 81 E4 FE FF ...
extern const Bytes kControllerBasicCode;  // far call, then pushes of constants
// Builds the demo into `b`.
DemoDump build_demo(DumpBuilder& b, KernelBuilder& k, const DemoSpec& cfg);
// The application's SYM file: three labels around the crash address
// (0x0123, 0x33 into PROCESS.SALE), four variables and the runtime's names.
std::string demo_sym();
// The RS-485 driver's BSX file.
Bytes demo_serial_bsx();

// Writes "omkcsltf.dat" (terminals) or "omkcslcf.dat" (controllers), the
// BSX file MORVIK takes by default for it, "omkts10l.sym" or
// "omkcsmll.sym", and the RS-485 driver's "omkpir1l.bsx" into `folder`.
struct DemoFiles {
  std::string dump, bsx, sym, serial_bsx;
};
DemoFiles write_demo(const std::string& folder, const DemoSpec& cfg);

}  // namespace testkit
