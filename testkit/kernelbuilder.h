// Kernel structures in a built dump: the system communication areas
// (CCOMD with its processor state, loadable-comm area and millisecond
// counter; TCOMD), the process list ("thrdrt", "rlr"), memory descriptor
// chains, command environments and register save areas.
//
// Everything lives in system memory allocated from the DumpBuilder, so the
// same calls build all five variants; addresses are system selector:offset.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "testkit/dumpbuilder.h"

namespace testkit {

// CCD_date as stored: the year in bytes 0-1, then month and day.
constexpr uint32_t ccd_date(int month, int day, int year) {
  return static_cast<uint32_t>(year) | static_cast<uint32_t>(month) << 16 | static_cast<uint32_t>(day) << 24;
}
constexpr uint32_t msecs(int h, int m, int s) { return static_cast<uint32_t>(((h * 60 + m) * 60 + s) * 1000); }

struct CcomdSpec {
  uint16_t term = 0;        // CCD_BOOTSTRAP_TERM_ADDR
  uint16_t store = 0;       // CCD_BOOTSTRAP_STORE_ID (terminals)
  uint16_t ccdu_store = 0;  // the store number in CCDU (controllers)
  std::string node = "CC";  // the controller id, CCD_node's first two characters
  uint8_t reason = 31;      // CCD_dumreason
  uint32_t time = 0;        // milliseconds since midnight, in the CCD_msecm counter
  uint32_t date = 0;        // CCD_date
  uint32_t totalmem = 0;
  uint16_t tcc_type = 0;  // CCD_tcc_terminal_type
  uint8_t sbi0 = 0;       // first byte of CCD_sbi
  std::string base_level = "0410";  // loadable-comm bytes 77-80
  std::string cd_level = "B2";      // loadable-comm text from byte 81
  // The processor state (mcpc) at CCD_mreg.
  uint8_t vec = 0;
  uint16_t cs = 0;
  uint32_t eip = 0;
};

struct TcomdSpec {
  uint16_t term = 0, store = 0, mod2 = 0;
  uint8_t reason = 31;
  uint32_t time = 0, date = 0;
  // tmcpc
  uint8_t vec = 0;
  uint16_t ax = 0, cx = 0, dx = 0, bx = 0, sp = 0, bp = 0, si = 0, di = 0, cs = 0, ds = 0, es = 0, ss = 0;
  uint32_t totalmem = 0;
  uint32_t mfail = 0;  // failing CS:IP
};

// A register save area; regsav286 keeps the low 16 bits of each (no fs, gs).
struct Regs {
  uint32_t ip = 0, flags = 0, ax = 0, cx = 0, dx = 0, bx = 0, sp = 0, bp = 0, si = 0, di = 0;
  uint32_t es = 0, cs = 0, ss = 0, ds = 0, fs = 0, gs = 0, errcode = 0;
};

// One memory descriptor; m_lbase is the far address of the area.
struct MdSpec {
  uint32_t length = 0;
  uint32_t lbase = 0;
  uint16_t flags = 0;
  uint32_t start = 0;  // m_start: the block's linear start (read in MARRA dumps)
};

// A process descriptor (the fields MORVIK reads; the rest stay zero).
struct ProcSpec {
  std::string name;  // blank padded to 10
  uint32_t pid = 0;
  uint8_t stat = 0;
  uint8_t prior = 100;
  uint16_t flag = 0;
  uint32_t evbits = 0;
  uint32_t regsav = 0, uda = 0, cmdenv = 0, srtl = 0, ldt = 0, cr3 = 0;
  uint32_t mem[4] = {};  // chain heads: code, static data, other data, stack
};

// A process descriptor with the usual fields set.
ProcSpec proc_spec(const std::string& name, uint32_t pid, uint8_t stat = 0, uint8_t prior = 100, uint16_t flag = 0);

class KernelBuilder {
 public:
  explicit KernelBuilder(DumpBuilder& b) : b_(b) {}

  // "VCSM_machine".
  void machine_type(uint16_t type);
  // "OMKCCOMD" and the areas it points to; returns the CCOMD's address.
  uint32_t ccomd(const CcomdSpec& cfg);
  // The TCOMD: at dump offset 1024 in a MARRA dump, else through "OMKTCOMD".
  void tcomd(const TcomdSpec& cfg);

  // A command environment holding the program file name 2 bytes in.
  uint32_t cmdenv(const std::string& filename);
  // A chain of memory descriptors; returns its head (0 for none).
  uint32_t md_chain(const std::vector<MdSpec>& chain);
  uint32_t regsav386(const Regs& r);
  uint32_t regsav286(const Regs& r);
  // A user data area: the application's SP at offset 12, SS at 16.
  uint32_t uda(uint16_t ss, uint16_t sp);

  // A descriptor filled with process `proc`'s LDT and page directory (a
  // 32-bit kernel's EL process gets a non-zero p_cr3 of its own).
  ProcSpec for_process(int proc) const;
  // Appends a descriptor to the process list "thrdrt" starts; returns its
  // address.
  uint32_t add_pd(const ProcSpec& cfg);
  // The descriptor "rlr" names as the current process.
  void set_current(uint32_t pd);
  // Rewrites a descriptor's p_thread (to damage the list).
  void set_thread(uint32_t pd, uint32_t next) { b_.put_system32(pd + 4, next); }
  const std::vector<uint32_t>& pds() const { return pds_; }

  static Bytes pd_bytes(const ProcSpec& cfg);

 private:
  DumpBuilder& b_;
  std::vector<uint32_t> pds_;
  uint32_t rlr_at_ = 0;
};

}  // namespace testkit
