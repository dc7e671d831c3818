// The kernel's SVC trace ring, file-number tables with the control blocks
// of every kind of open file, and the file system's operations trace, in a
// built dump. Everything but the symbols' data lives in system memory.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "testkit/dumpbuilder.h"

namespace testkit {

// One SVC trace entry; `pd` is the caller's process descriptor.
struct SvcEntry {
  uint32_t pd = 0;
  uint16_t func = 0;
  uint32_t stuff = 0;  // milliseconds
  uint16_t type = 4;
};

// One open file. Manager types: 1 pipe, 2 disk, 3 console, 5 NFS, 6 network,
// 7 misc; `olist` makes it a remote file's OLIST instead.
struct FileSpec {
  int table = 0, entry = 0;
  uint16_t unique = 1;
  uint8_t mod = 2;
  bool olist = false;
  bool device = false;  // an OLIST device
  std::string name;     // disk file name, misc or network name, OLIST name
  uint32_t pipe = 0;    // a pipe's pipestruct
  uint16_t rnid = 0, rpid = 0, rfid = 0;
  uint16_t fnt_rnid = 0;
  uint32_t fnt_rpid = 0;
};

// One slot of the file operations trace.
struct FsOp {
  uint16_t func = 0;
  int32_t rc = 0;
  uint32_t rpid = 0;
  uint16_t rnid = 0;
  int32_t time = 0;          // milliseconds
  std::string name;          // up to 16 bytes; 0xEE ends a shorter one
  uint32_t offset = 0;
  std::string data;          // up to 16 bytes
};

class SvcBuilder {
 public:
  explicit SvcBuilder(DumpBuilder& b) : b_(b) {}

  // "act_table", "act_last" and "act_next": a ring of `slots` entries (the
  // entries from slot 0, the rest empty) whose oldest is `next`.
  void svc_trace(const std::vector<SvcEntry>& entries, size_t slots, size_t next);
  // Rewrites the ring's next index as stored (to damage it).
  void set_svc_next(uint16_t raw);
  // The value act_next holds for slot `slot`.
  uint16_t svc_next_value(size_t slot) const;

  // "fn_tab", "fn_table", "fn_allotment", "fn_shifttabl", "fn_mtables":
  // `tables` tables of `allotment` entries (each made on its first file).
  void file_tables(uint16_t tables, uint16_t allotment, uint16_t shift);
  // An entry with its control block; returns the entry's address.
  uint32_t add_file(const FileSpec& f);
  // Points table `t` at another table's memory (to damage the tables).
  void alias_table(int t, int other);

  // "FSFCCOMD" with its 200-slot trace, the slots from 0; `next` is the
  // oldest slot.
  void fs_trace(const std::vector<FsOp>& ops, size_t next);
  // Rewrites FSF2tptr (to damage it).
  void set_fs_tptr(uint32_t tptr);
  uint32_t fs_trace_addr() const { return fstrace_; }

 private:
  DumpBuilder& b_;
  uint32_t table_off_ = 0, next_off_ = 0;
  uint32_t fn_tab_off_ = 0;
  uint16_t allotment_ = 0;
  std::vector<uint32_t> tables_;
  uint32_t fsfccomd_off_ = 0, fstrace_ = 0;
};

}  // namespace testkit
