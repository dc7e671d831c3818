// The state of one VANTERIK run and the steps that share it.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "common/console.h"
#include "vanterik/module286.h"

namespace vanterik {

// (target, paragraph) -> the latest position assigned for it. Open
// addressing; there are never more than TABLE_SIZE keys.
class SeenIndex {
 public:
  int find(uint32_t key) const {
    for (size_t s = slot(key);; s = (s + 1) % SLOTS) {
      if (keys_[s] == 0) return -1;
      if (keys_[s] == key + 1) return pos_[s];
    }
  }
  void put(uint32_t key, int position) {
    size_t s = slot(key);
    while (keys_[s] != 0 && keys_[s] != key + 1) s = (s + 1) % SLOTS;
    keys_[s] = key + 1;
    pos_[s] = position;
  }

 private:
  static constexpr size_t SLOTS = 4096;
  static size_t slot(uint32_t key) { return (key * 2654435761u) >> 20; }
  std::vector<uint32_t> keys_ = std::vector<uint32_t>(SLOTS, 0);  // key + 1; 0 = empty
  std::vector<int> pos_ = std::vector<int>(SLOTS, 0);
};

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
  SeenIndex seen;  // ordinary targets, key target << 16 | paragraph
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
[[noreturn]] void fatal(Vanterik& v, const char* fmt, ...) VT_PRINTF_FORMAT(2, 3);
void out(Vanterik& v, const char* fmt, ...) VT_PRINTF_FORMAT(2, 3);

void assign_selectors(Vanterik& v);
void size_selectors(Vanterik& v);
void finish_ldt(Vanterik& v);

void list_ldt(Vanterik& v);

void prepare_merge(Vanterik& v);
void choose_merge_target(Vanterik& v, unsigned char* header);
// A stretch of the output file, the message a failed write of it gives,
// and the text printed once it is written.
struct Span {
  const unsigned char* data;
  size_t len;
  const char* error;
  std::string note;
};
// The vanteriked module: the groups are written straight from the patched
// module bytes, the rest from these buffers. Not to be moved once filled.
struct Output {
  Bytes head;     // prefix record, header, SRTL table, LDT
  Bytes symtail;  // merged SYM and its trailer
  std::string stamp;
  std::vector<Span> spans;
};
// Writes the vanteriked module to the scratch file.
void write_output(Vanterik& v, Output& o);
void replace_module(Vanterik& v);
void stamp_and_append(Vanterik& v, const Output& written);

}  // namespace vanterik
