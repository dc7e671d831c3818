// The state of one VANTERIK run and the steps that share it.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/console.h"
#include "vanterik/module286.h"

namespace vanterik {

struct Vanterik {
  explicit Vanterik(vt::Console& c) : con(c) {}
  vt::Console& con;
  std::tm runtime{};  // the one time value of the run

  // Switches.
  bool appendflag = true;
  bool mergeflag = true;
  bool dumpflag = false;
  bool iflag = false;
  bool sflag = false;
  bool xflag = false;
  long reqindex = 0;

  std::string modname;
  std::string pstname;  // scratch file beside the module
  std::string symname;

  // The module as read; fixups are applied to these bytes, never to the file.
  Bytes module;
  size_t hdrbase = 0;
  unsigned char header[HDR_SIZE] = {};
  Layout lay;
  uint16_t tgtbound[NBUCKETS] = {};  // highest paragraph value a fixup may name

  // Selector table, position n = LDT index n + 12.
  std::vector<uint16_t> saveseg = std::vector<uint16_t>(TABLE_SIZE, 0);
  std::vector<uint16_t> savetype = std::vector<uint16_t>(TABLE_SIZE, 0);
  int firstpos = 0;
  int nextfree = 0;
  std::unordered_map<uint32_t, int> seen;  // (target << 16 | paragraph) -> latest position
  std::vector<ldt_s> ldtent = std::vector<ldt_s>(LDT_RESERVED + TABLE_SIZE);

  // SRTL table in vanteriked form.
  int srtlcount = 0;
  Bytes srtltab;
  int srtlnum = 128;
  bool srtlmode = false;
  int sections = 0;

  // SYM merge.
  Bytes sym;
  bool symopen = false;
  int mergetarget = -1;  // header descriptor, or -1

  bool scratch_made = false;
};

// Fatal error: message on standard error, scratch file removed, status 1.
[[noreturn]] void fatal(Vanterik& v, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void out(Vanterik& v, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

void assign_selectors(Vanterik& v);
void size_selectors(Vanterik& v);
void finish_ldt(Vanterik& v);

void list_ldt(Vanterik& v);

void prepare_merge(Vanterik& v);
void choose_merge_target(Vanterik& v, unsigned char* header);
// Writes the vanteriked module to the scratch file and returns its bytes.
Bytes write_output(Vanterik& v);
void replace_module(Vanterik& v);
void stamp_and_append(Vanterik& v, const Bytes& written);

}  // namespace vanterik
