// Builds synthetic system dumps of all five variants, with the kernel's BSX
// symbol file to go with them.
//
// The builder keeps the dump as a sparse set of 4 KB pages (only pages that
// were written are stored), so a large dump is written as a sparse file and
// never needs its size in memory.
//
// Memory layout by variant:
//  - paged (terminal 0xEEEE, controller 0xCCCC): the file is physical memory;
//    kernel data in [0x1000, 0x100000); page frames from 0x100000. System
//    linear addresses from 0x80000000 go through the system page directory
//    ("p_syspd"); process linear addresses from 0x00400000 through the
//    process page directory (cr3). Pages of one mapping are given frames in
//    reverse order, so consecutive pages never lie next to each other.
//  - EL (terminal "VT", controller "VC"): the file is indexed by linear
//    address; the kernel image lies at kernel_offset() (0x100000), system
//    memory from 0x200000, process memory from 0x400000.
//  - MARRA (0xFFFF): unpaged; linear L lies at file offset
//    L - (L >> 20) * 0x80000, so only the low 512 KB of each megabyte are
//    used; kernel data in [0x1000, 0x40000), system memory from 0x40000,
//    process memory from 0x300000.
//
// The GDT is found through "gdt_desc" (and, paged and EL, "p_syspd"); each
// process has an LDT object (header, 8 bytes more unless MARRA, descriptors)
// starting a page of a GDT segment that holds up to 16 of them, and
// application slots start at 12.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "testkit/tempdir.h"

namespace testkit {

enum class DumpVariant { MarraTerminal, PagedTerminal, PagedController, ELTerminal, ELController };
inline constexpr DumpVariant kAllDumpVariants[] = {DumpVariant::MarraTerminal, DumpVariant::PagedTerminal,
                                                   DumpVariant::PagedController, DumpVariant::ELTerminal,
                                                   DumpVariant::ELController};

// Little-endian byte helpers for building records.
Bytes le16_bytes(uint16_t v);
Bytes le32_bytes(uint32_t v);

class DumpBuilder {
 public:
  explicit DumpBuilder(DumpVariant v);
  DumpVariant variant() const { return variant_; }
  bool paged() const;
  bool el() const;
  bool marra() const;
  bool terminal() const;

  // --- the file image -----------------------------------------------------
  void put_phys(uint32_t offset, const Bytes& data);
  void put_phys16(uint32_t offset, uint16_t v) { put_phys(offset, le16_bytes(v)); }
  void put_phys32(uint32_t offset, uint32_t v) { put_phys(offset, le32_bytes(v)); }
  Bytes get_phys(uint32_t offset, size_t len) const;
  // Makes the dump at least `size` bytes long (the rest reads as zeros).
  void set_size(uint64_t size);
  // Paged: frames allocated from now on start at this dump offset (a 4 KB
  // multiple), so that memory can lie far into a large file.
  void set_next_frame(uint32_t offset);
  uint64_t size() const { return size_; }
  Bytes image() const;
  void write(const std::string& path) const;  // sparse where the file system allows

  // --- kernel symbols -----------------------------------------------------
  uint32_t kernel_offset() const { return kernal_offset_; }  // EL only, else 0
  uint32_t gdt_desc_offset() const { return gdt_desc_off_; }  // dump offset of "gdt_desc"
  // Places `datum` in the kernel image and adds a BSX record for it;
  // returns the datum's dump offset.
  uint32_t add_kernel_symbol(const std::string& name, const Bytes& datum);
  // A raw BSX record.
  void add_bsx_record(const std::string& name, uint32_t segment, uint16_t offset);
  // Leaves one of the standard records ("gdt_desc", "p_syspd", "pagearea")
  // out of the BSX file.
  void omit_symbol(const std::string& name) { omitted_.insert(name); }
  Bytes bsx() const;
  void write_bsx(const std::string& path) const;

  // --- system memory ------------------------------------------------------
  // Zeroed system memory inside a 64 KB GDT data segment; returns its
  // system selector:offset.
  uint32_t alloc_system(uint32_t size);
  void put_system(uint32_t far, const Bytes& data);
  void put_system32(uint32_t far, uint32_t v) { put_system(far, le32_bytes(v)); }
  uint32_t system_dump_offset(uint32_t far) const;
  // A GDT descriptor for a system linear base; returns slot * 8 | rpl.
  uint16_t add_gdt_segment(uint32_t linear_base, uint16_t limit, bool code, uint16_t rpl = 0);
  // A second GDT selector for the memory of `selector`: its descriptor is
  // copied into `slot`; returns slot * 8.
  uint16_t alias_gdt_segment(uint16_t selector, int slot);
  // A code selector (next free GDT slot) for the memory of `selector`, as
  // a shared runtime's code is; returns slot * 8 | rpl.
  uint16_t code_alias_gdt_segment(uint16_t selector, uint16_t rpl = 3);
  // Places the system memory allocated from now on (segments, LDT objects)
  // from `linear` on, e.g. under another page-directory entry than the GDT.
  void move_system_memory(uint32_t linear);
  // Rewrites the limit in "gdt_desc" (the copy's size is limit + 1).
  void set_gdt_limit(uint16_t limit);
  // Raises the limit (never lowers it) so that every slot given out so far
  // lies below it.
  void fit_gdt_limit();
  uint16_t gdt_limit() const { return gdt_limit_; }
  uint32_t gdt_linear() const { return gdt_linear_; }
  uint32_t ptd_addr() const { return ptd_; }  // system page directory (paged)

  // --- processes ----------------------------------------------------------
  // A process with an LDT object of `slots` slots (0 .. slots-1).
  int add_process(int slots = 64);
  // A segment in the next free application slot (from 12); returns its selector.
  uint16_t add_segment(int proc, uint32_t size, bool code);
  uint16_t add_segment_at(int proc, uint32_t linear_base, uint32_t size, bool code);
  // Writes one descriptor without mapping any memory.
  void set_slot(int proc, int slot, uint32_t base, uint16_t len, uint8_t access);
  void put(int proc, uint32_t far, const Bytes& data);
  uint32_t process_dump_offset(int proc, uint32_t far) const;
  uint32_t process_linear(int proc, uint32_t far) const;
  uint32_t ldt_addr(int proc) const;    // p_ldt: system selector:offset of the LDT object
  uint32_t ldt_offset(int proc) const;  // the LDT object's dump offset
  uint32_t cr3(int proc) const;         // process page directory (paged), else 0
  void set_ldt_header(int proc, int16_t numldt, int16_t top, int16_t base);
  // Dump offsets of the process's page-directory and page-table entries for
  // a linear address (paged).
  uint32_t pde_offset(int proc, uint32_t linear) const;
  uint32_t pte_offset(int proc, uint32_t linear) const;

 private:
  struct Process {
    uint32_t ldt_far = 0;     // system selector:offset of the LDT object
    uint32_t desc_far = 0;    // where slot 0's descriptor lies
    int slots = 0;
    int next_slot = 12;
    int16_t top = 0;
    uint32_t pd = 0;          // page directory frame (paged)
    uint32_t next_linear = 0;
    std::map<int, std::pair<uint32_t, uint32_t>> segs;  // slot -> (base, size)
  };
  uint32_t alloc_frames(uint32_t count);
  void map_range(uint32_t pd, uint32_t linear, uint32_t size);
  uint32_t walk(uint32_t pd, uint32_t linear) const;  // paged translation
  uint32_t linear_to_dump(uint32_t pd, uint32_t linear) const;
  // Linear memory from `cursor`; `grow` makes an unpaged dump hold it.
  uint32_t alloc_linear(uint32_t& cursor, uint32_t size, uint32_t align, bool grow = true);
  void grow_to(uint32_t linear, uint32_t size);
  uint32_t alloc_kernel(uint32_t size);
  uint32_t gdt_slot_offset(int slot) const;
  uint32_t system_linear(uint32_t far) const;
  void write_linear(uint32_t pd, uint32_t linear, const Bytes& data, bool process_marra_base, uint32_t base);
  void write_gdt_desc();
  void write_ldt_header(const Process& p);
  static uint32_t marra_offset(uint32_t linear) { return linear - (linear >> 20) * 0x80000u; }

  DumpVariant variant_;
  std::map<uint32_t, std::vector<unsigned char>> pages_;
  uint64_t size_ = 0;
  uint32_t kernal_offset_ = 0;
  uint32_t next_frame_ = 0x100000;
  uint32_t kernel_next_ = 0x1000;
  uint32_t kernel_end_ = 0;
  uint32_t sys_next_ = 0;
  uint32_t proc_next_ = 0;  // EL and MARRA process memory
  uint32_t ptd_ = 0;
  uint32_t gdt_linear_ = 0;
  uint16_t gdt_limit_ = 0x03FF;
  int gdt_next_slot_ = 8;
  uint32_t gdt_desc_off_ = 0;
  uint32_t sysseg_far_ = 0;   // current system data segment
  uint32_t sysseg_used_ = 0x10000;
  uint32_t ldtseg_far_ = 0;  // current segment of LDT objects
  uint32_t ldtseg_base_ = 0;
  uint32_t ldtseg_used_ = 0x10000;
  struct Record {
    std::string name;
    uint32_t segment;
    uint16_t offset;
  };
  std::vector<Record> records_;
  std::set<std::string> omitted_;
  std::vector<Process> procs_;
};

}  // namespace testkit
