// Builds .286 modules in the linker's form: header, SRTL table group, groups
// and fixup lists, for the VANTERIK tests and benchmark.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "testkit/tempdir.h"

namespace testkit {

struct LinkGroup {
  uint8_t type = 0;
  Bytes data;           // padded with zeros to whole paragraphs
  uint16_t base = 0;
  int minimum = -1;     // -1: the length
  uint16_t maximum = 0;
};

// A group of `paras` zero paragraphs.
LinkGroup link_group(uint8_t type, uint16_t paras);

struct LinkFixup {
  uint8_t kind = 0;     // location bucket << 4 | target
  uint16_t para = 0;
  uint8_t off = 0;
};
inline LinkFixup link_fixup(unsigned loc, unsigned target, uint16_t para, uint8_t off) {
  return LinkFixup{static_cast<uint8_t>(loc << 4 | target), para, off};
}

struct LinkSrtl {
  std::string name;     // blank-padded to 8
  uint8_t flags = 0;    // byte 14
  std::vector<LinkFixup> fixups;
};

struct LinkModule {
  bool zero_prefix = false;
  std::vector<LinkGroup> groups;      // descriptors 0, 1, ... in order
  std::vector<LinkFixup> fixups;      // the module's own list
  std::vector<LinkSrtl> srtls;        // a table group is written when there are any
  int srtl_paras = -1;                // -1: just enough for the table
  uint8_t fixup_flag = 0x80;
  std::map<size_t, uint8_t> header_bytes;  // further header bytes (96, 110, ...)

  Bytes build() const;
};

void poke16(Bytes& data, size_t offset, uint16_t value);

}  // namespace testkit
