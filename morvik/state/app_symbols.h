// The application's symbols as the symbol layer loads them from the SYM or
// CDV file, for every section that names code or data. Built once a run;
// the sections that follow only read it.
//
// The lists are kept in the order the system's linked lists had (names in
// byte order, equal names in file order; labels by offset, equal offsets in
// file order), sorted once after reading; the lookups are binary searches.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvik {

// One data symbol of the SYM file's variables section.
struct dataNode {
  int32_t offset = 0;  // in the application's data space
  std::string name;    // at most 48 characters
  int16_t size = 0;    // assumed size in bytes (see makeDataList)
};

// One data segment of the application.
struct dataseg {
  uint16_t selector = 0;      // LDT index * 8 + 7
  uint16_t pageDirIndex = 0;  // left by the translation of the base
  uint16_t limit = 0;
  uint32_t base = 0;            // physical base in the dump (getbase)
  uint32_t offset_in_appl = 0;  // where it begins in the data space
  // False when its pages were not found in the page table: it then has no
  // place in the data space and no offset is translated through it.
  bool placed = true;
};

// One code label (of the application, or of the shared runtime's string
// vector).
struct symNode {
  uint32_t offset = 0;  // in the application's code image
  std::string name;     // at most 15 characters
};

// One code segment of the application, in code-image order.
struct codeseg {
  uint16_t selector = 0;
  uint16_t pageDirIndex = 0;
  uint16_t pageTabIndex = 0;
  uint16_t limit = 0;
  uint32_t base = 0;
  uint32_t offset_in_appl = 0;
  uint16_t chunk = 0;
  uint32_t segsize = 0;
};

// One symbol of the CDV file.
struct listitem {
  int32_t addr = 0;  // far address; a local's frame offset
  uint16_t type = 0;  // 1 and 0x201 mark procedures
  uint16_t stack = 0;  // 1 for a local variable
  uint16_t file = 0;   // module index, 0 for none
  uint16_t length = 0;  // a procedure record's size in bytes, else 0
  std::string name;
};

// One entry of a CDV module's line table.
struct cdvline {
  uint16_t line = 0;
  uint16_t offset = 0;  // in the module's code segment
};

// One entry of the CDV module table `filelist`.
struct cdvmodule {
  uint32_t addr = 0;  // module start: selector in the high half
  uint32_t length = 0;
  std::string name;                 // source file name
  std::vector<cdvline> LineOffset;  // empty when the module has none
};

struct AppSymbols {
  // --- SYM data symbols ---------------------------------------------------
  uint16_t rtdsvOffset = 0;  // data offset of the runtime label "rtdsv"; 0 = not found
  int16_t BASICsym = 0;      // the SYM file is a BASIC application's
  int16_t sym_extracted_from_dump = 0;
  std::vector<dataNode> DataList;  // by name
  std::vector<dataseg> dlisthead;  // in data-space order

  // --- code symbols -------------------------------------------------------
  std::vector<symNode> CodeHead;  // by offset
  std::vector<symNode> VectHead;  // by offset
  std::vector<uint32_t> code_paragraphs;  // paragraphs of the CODE entries, at most 1,000
  static constexpr size_t kMaxCodeParagraphs = 1000;
  std::vector<codeseg> clisthead;
  uint16_t trvect_selector = 0;  // 0: not known
  uint16_t strvect_selector = 0;

  // --- CDV symbols --------------------------------------------------------
  std::vector<listitem> listhead;  // by address
  std::vector<uint32_t> alphaHead;  // positions in listhead, by name
  std::vector<cdvmodule> filelist;  // by module index, topfile + 2 entries
  uint16_t topfile = 0;
  static constexpr size_t max_callable_addresses = 7000;
  std::vector<uint32_t> callable_addresses;  // procedures (CDV) for the call counts
  std::vector<uint16_t> callable_lengths;
  int16_t Csources = 0;  // the application has C sources (CDV file)

  // --- lookups --------------------------------------------------------------
  // Builds the offset index of DataList; called once the list is complete.
  void index_data();
  // The first data symbol in name order whose offset is `offset`.
  const dataNode* data_at(uint16_t offset) const;
  // A data-space offset as selector:offset; 0 before the first segment.
  uint32_t data_address(uint32_t offset) const;

  // The first code segment of that selector, or null.
  const codeseg* code_segment(uint16_t selector) const;
  // addr's offset in the code image; 0 when no segment has its selector.
  uint32_t offset_in_appl(uint32_t addr) const;
  // An offset in the code image as selector:offset, or 0.
  uint32_t code_address(uint32_t offset) const;
  // Number of labels of CodeHead at or below `limit`.
  size_t labels_up_to(uint64_t limit) const;
  // The first string-vector label at `offset`, or null.
  const symNode* vector_label(uint32_t offset) const;

  // The first item in address order named `name`, or null.
  const listitem* cdv_item(std::string_view name) const;
  // Position in listhead of the first item whose address is not below `addr`.
  size_t cdv_from(int32_t addr) const;
  // The module of a file index, or null (0 and indexes outside the table).
  const cdvmodule* module(int file) const;
  // The line of `addr` in item's module; 0 when unknown.
  int cdv_line(const listitem& item, uint32_t addr) const;

 private:
  std::vector<uint32_t> data_by_offset_;  // DataList positions by offset, then name order
};

}  // namespace morvik
