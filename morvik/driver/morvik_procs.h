// Process discovery: the kernel's process list, the memory each process
// owns, the choice of the application process and its details.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <string>

#include "common/le.h"
#include "morvik/state/session.h"

namespace morvik {

// Register save area of 32-bit kernels, 100 bytes (4 bytes a register).
struct regsav386 {
  static constexpr int kSize = 100;
  uint32_t r_ip = 0, r_flags = 0, r_ax = 0, r_cx = 0, r_dx = 0, r_bx = 0, r_sp = 0, r_bp = 0, r_si = 0, r_di = 0;
  uint32_t r_es = 0, r_cs = 0, r_ss = 0, r_ds = 0, r_fs = 0, r_gs = 0, r_errcode = 0;
  uint32_t r_pblk = 0;
};

inline regsav386 decode_regsav386(const unsigned char* p) {
  regsav386 r;
  uint32_t* f[] = {&r.r_ip, &r.r_flags, &r.r_ax, &r.r_cx, &r.r_dx, &r.r_bx, &r.r_sp, &r.r_bp, &r.r_si,
                   &r.r_di, &r.r_es,    &r.r_cs, &r.r_ss, &r.r_ds, &r.r_fs, &r.r_gs, &r.r_errcode};
  for (size_t i = 0; i < std::size(f); ++i) *f[i] = vt::le32(p + 4 * i);
  r.r_pblk = vt::le32(p + 68);
  return r;
}

// Register save area of the MARRA kernel, 30 bytes (2 bytes a register).
struct regsav286 {
  static constexpr int kSize = 30;
  uint16_t r_ip = 0, r_flags = 0, r_ax = 0, r_cx = 0, r_dx = 0, r_bx = 0, r_sp = 0, r_bp = 0, r_si = 0, r_di = 0;
  uint16_t r_es = 0, r_cs = 0, r_ss = 0, r_ds = 0, r_errcode = 0;
};

inline regsav286 decode_regsav286(const unsigned char* p) {
  regsav286 r;
  uint16_t* f[] = {&r.r_ip, &r.r_flags, &r.r_ax, &r.r_cx, &r.r_dx, &r.r_bx, &r.r_sp, &r.r_bp,
                   &r.r_si, &r.r_di,    &r.r_es, &r.r_cs, &r.r_ss, &r.r_ds, &r.r_errcode};
  for (size_t i = 0; i < std::size(f); ++i) *f[i] = vt::le16(p + 2 * i);
  return r;
}

// Prints the process list and the memory usage section and selects the
// application process.
void getprocesslist(Session& s);
// Prints the details of the selected process; 0, or -1 when the process is
// not completely loaded.
int processdetails(Session& s);
// The operator's name for a driver's device name ("screwy name!" for none).
const char* device_name(const char* name);

// The runtime level line of the details, given the level the runtime level
// search found (0 for none) and the runtimes' date.
void runtime_level_line(Session& s, int16_t level, const std::string& verdate);

// The process name of a descriptor: up to its first NUL, trailing blanks off.
std::string pd_name(const _pd& pd);

}  // namespace morvik
