// Builds an application's CDV file from a short description: the "NS00"
// header, subsections of every kind (modules, publics, symbols with
// procedure, local and static records, line numbers) and the directory
// behind them.
//
//   CdvFile f;
//   f.module(1, 0x0067, 0x0000, 0x0400, "MAIN.BAS");
//   f.symbols(1, {cdv_procedure(0x0010, 0x201, 0x40, "MAINPROC"), cdv_static(0x006F0010, 0x84, "COUNT")});
//   f.lines(1, "MAIN.BAS", {{10, 0x0010}, {20, 0x0020}});
//   write_file(path, f.bytes());
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "testkit/tempdir.h"

namespace testkit {

// Records of a symbols subsection, each with its length byte.
Bytes cdv_procedure(uint16_t segoff, uint16_t type, uint16_t length, const std::string& name);
Bytes cdv_local(int16_t frame_offset, uint16_t type, const std::string& name);
Bytes cdv_static(uint32_t addr, uint16_t type, const std::string& name);
// A record of another type: the type byte and the bytes after it.
Bytes cdv_record(uint8_t rectype, const Bytes& body);

struct CdvPublic {
  uint32_t addr = 0;  // offset low, selector high
  uint16_t type = 0;
  std::string name;
};

class CdvFile {
 public:
  std::string tag = "NS00";

  // A module subsection (id 1).
  CdvFile& module(uint16_t nfile, uint16_t seg, uint16_t offset, uint32_t length, const std::string& name);
  // A publics subsection (id 2).
  CdvFile& publics(uint16_t nfile, const std::vector<CdvPublic>& records);
  // A symbols subsection (id 4) of the records given.
  CdvFile& symbols(uint16_t nfile, const std::vector<Bytes>& records);
  // A line-number subsection (id 5): the module name, then (line, offset)
  // entries.
  CdvFile& lines(uint16_t nfile, const std::string& name, const std::vector<std::pair<uint16_t, uint16_t>>& entries);
  // Any subsection as it stands; `len` overrides the directory's length.
  CdvFile& subsection(uint8_t id, uint16_t nfile, const Bytes& content, std::optional<uint16_t> len = std::nullopt);

  // The directory says it has this many entries (more than it has: a
  // short directory).
  std::optional<uint16_t> directory_count;

  Bytes bytes() const;

 private:
  struct Sub {
    uint8_t id;
    uint16_t nfile;
    Bytes content;
    std::optional<uint16_t> len;
  };
  std::vector<Sub> subs_;
};

}  // namespace testkit
