// The SYM file's data symbols: the reader of the variables section, the
// application's data segments in the data space, and the spot check that
// the SYM file belongs to the dump.
#include "morvik/symbols/sortsym.h"

#include <algorithm>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "common/console.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/report/doarray.h"
#include "morvik/symbols/dumpfunc_symfile.h"
#include "morvik/symbols/readcdv.h"

namespace morvik {

namespace {

constexpr size_t kValueChars = 8;
constexpr size_t kNameChars = 159;
constexpr size_t kNodeNameChars = 48;
constexpr size_t kPageTableEntries = 1280;  // the page-table cache
constexpr uint32_t kFrame = 0xFFFFF000u;

// The SYM file read two tokens at a time (the system's getnextsym).
struct SymPairs {
  SymTokens infile;
  AppSymbols& sym;
  int16_t state = 0;  // 0 before a keyword, 1 labels, 2 variables, -1 the end
  std::string_view name;  // until the next pair is read
  uint32_t number = 0;

  void getnextsym() {
    while (state != -1) {
      std::string_view t;
      if (!infile.next(t, kValueChars)) {
        state = -1;
        return;
      }
      char value[kValueChars];  // the value's characters, until the name is read
      const size_t length = t.size();
      std::copy(t.begin(), t.end(), value);
      if (!infile.next(name, kNameChars)) {
        state = -1;
        return;
      }
      if (name == "_rtdata" || name == "_crt") sym.BASICsym = 1;
      if (name == "LABELS") {
        state = 1;
        return;
      }
      if (name == "VARIABLES") {
        state = 2;
        continue;  // the pair after the keyword
      }
      if (state == 2) {
        number = 0;
        for (size_t i = 0; i < length; ++i) {
          unsigned char c = static_cast<unsigned char>(value[i]);
          number = number * 16 + (c < 'A' ? (c & 0x0Fu) : c - 55u);
        }
      }
      return;
    }
  }
};

bool lower_or_underscore(std::string_view n) { return !n.empty() && (n[0] == '_' || (n[0] >= 'a' && n[0] <= 'z')); }

// The size of a data symbol from the one that follows it in the file.
int16_t size_before(const dataNode& prev, int32_t next_offset) {
  if (prev.offset & 1) return 1;
  int16_t d = static_cast<int16_t>(static_cast<uint32_t>(next_offset) - static_cast<uint32_t>(prev.offset));
  return d > 4 ? int16_t{4} : d;
}

// The data list in name order (byte order), equal names in file order.
// The sort compares the names' first 8 bytes as one number and looks at
// the rest only when those are equal.
std::vector<dataNode> by_name(std::deque<dataNode>& read) {
  struct Key {
    uint64_t prefix;
    uint32_t index;
  };
  std::vector<Key> keys(read.size());
  for (uint32_t i = 0; i < keys.size(); ++i) {
    uint64_t p = 0;
    const std::string& n = read[i].name;
    for (size_t k = 0; k < 8; ++k) p = p << 8 | (k < n.size() ? static_cast<unsigned char>(n[k]) : 0u);
    keys[i] = {p, i};
  }
  std::stable_sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    return read[a.index].name < read[b.index].name;
  });
  std::vector<dataNode> sorted;
  sorted.reserve(read.size());
  for (const Key& k : keys) sorted.push_back(std::move(read[k.index]));
  return sorted;
}

// Four bytes of the segment at `at`, when they lie inside it.
bool segment_bytes(Session& s, uint16_t selector, uint16_t limit, uint16_t at, unsigned char (&out)[4]) {
  if (uint32_t{at} + 3 > limit) return false;
  return readstuff(s, out, (uint32_t{selector} << 16) | at, 1, 4, 'a') != 0;
}

// A controller's first data entry may be code seen through a data alias.
bool looks_like_code(Session& s, uint16_t selector, uint16_t limit) {
  static constexpr unsigned char kAt14[4] = {0xB8, 0x2A, 0x00, 0x50};
  static constexpr unsigned char kAt30[4] = {0x8C, 0xD3, 0x8B, 0xC4};
  unsigned char b[4] = {};
  if (segment_bytes(s, selector, limit, 14, b) && std::equal(b, b + 4, kAt14)) return true;
  unsigned char c[4] = {};
  return segment_bytes(s, selector, limit, 30, c) && std::equal(c, c + 4, kAt30);
}

// Numbers the segments in the data space: the pages of the segments as they
// stand in the process's page table, counted from the head segment's page.
void place_in_data_space(Session& s, int first_index) {
  AddressSpace& a = s.space;
  std::vector<dataseg>& list = s.symbols.dlisthead;
  getbase(s, static_cast<int16_t>(first_index), 0);  // its page table becomes the current one
  const std::vector<uint32_t>& table = a.pagetable;
  size_t end = std::min(table.size(), kPageTableEntries);
  size_t p = 0;
  while (p < end && table[p] == 0) ++p;
  uint32_t head = list.front().base & kFrame;
  while (p < end && (table[p] & kFrame) != head) ++p;
  if (p == end) {
    // The head's page is not in the table: nothing can be placed.
    for (dataseg& d : list) d.placed = false;
    return;
  }
  uint32_t counter = 0;
  for (dataseg& d : list) {
    uint32_t frame = d.base & kFrame;
    while (p < end && table[p] != 0 && (table[p] & kFrame) != frame) {
      ++p;
      ++counter;
    }
    if (p == end) {
      d.placed = false;  // the table ended before its page
      continue;
    }
    d.offset_in_appl = counter * 4096 + (d.base & 0xFFF);
  }
}

}  // namespace

void makeDataList(Session& s) {
  AppSymbols& sym = s.symbols;
  sym.DataList.clear();
  SymPairs pairs{SymTokens(s.symfile), sym, 0, {}, 0};
  uint32_t base = 0;
  std::deque<dataNode> nodes;  // in file order
  for (;;) {
    pairs.getnextsym();
    if (pairs.state == -1) break;
    if (pairs.state != 2) continue;
    const std::string_view n = pairs.name;
    if (lower_or_underscore(n)) {
      // Lower-case and "_" names are the runtimes'; only rtdsv is kept.
      if (n.compare(0, 5, "rtdsv") != 0) continue;
      sym.rtdsvOffset = static_cast<uint16_t>(base + pairs.number);
    }
    if (n == "DATA") {
      base = pairs.number * 16;
      continue;
    }
    int32_t offset = static_cast<int32_t>(base + pairs.number);
    if (!nodes.empty()) nodes.back().size = size_before(nodes.back(), offset);
    nodes.push_back(dataNode{offset, std::string(n.substr(0, kNodeNameChars)), 0});
  }
  if (!nodes.empty()) nodes.back().size = (nodes.back().offset & 1) ? 1 : 4;
  sym.DataList = by_name(nodes);
  sym.index_data();
  if (s.BASIC && sym.rtdsvOffset == 0) s.outfile.write("\n\t Cannot find runtime label 'rtdsv' in SYM file.\n");
}

void sort_data_segments(Session& s) {
  AddressSpace& a = s.space;
  std::vector<dataseg>& list = s.symbols.dlisthead;
  list.clear();
  int first_index = -1;
  bool tested = false;
  for (int i = a.ldth.ldt_base; i < a.ldth.ldt_top; ++i) {
    ldt_s d = a.ldt_entry(static_cast<size_t>(i));
    if (d.is_code() || d.ld_len == 0) continue;
    if (a.termappl && d.ld_len == 0x41) break;
    uint32_t base = getbase(s, static_cast<int16_t>(i), 0);
    if (base == getbase(s, static_cast<int16_t>(s.SS_selector >> 3), 0)) continue;
    uint16_t selector = static_cast<uint16_t>(i * 8 + 7);
    if (!a.termappl && !tested) {
      tested = true;
      if (looks_like_code(s, selector, d.ld_len)) continue;
    }
    dataseg seg;
    seg.selector = selector;
    seg.limit = d.ld_len;
    seg.base = getbase(s, static_cast<int16_t>(i), 0);
    seg.pageDirIndex = static_cast<uint16_t>(a.PDindex);
    if (first_index < 0) {
      first_index = i;
      list.push_back(seg);
    } else if (seg.pageDirIndex != 0) {
      list.push_back(seg);
    } else {
      auto at = std::find_if(list.begin(), list.end(), [&](const dataseg& x) {
        return static_cast<int32_t>(x.base) > static_cast<int32_t>(seg.base);
      });
      list.insert(at, seg);
    }
  }
  if (first_index >= 0 && !a.termMARRA && !a.ELVELA) place_in_data_space(s, first_index);
  s.con.out.flush();
}

uint32_t getAddress(Session& s, uint32_t offset) { return s.symbols.data_address(offset); }

void findDataname(Session& s, uint32_t addr, int16_t /*flag*/) {
  if (s.cdvfile.is_open()) {
    printCDVname(s, addr);
    return;
  }
  const dataNode* n = s.symbols.data_at(static_cast<uint16_t>(addr & 0xFFFF));
  if (n)
    s.outfile.print("%s", n->name.c_str());
  else
    s.outfile.write("(Not Found)");
}

int16_t bad_sym(Session& s) {
  const AppSymbols& sym = s.symbols;
  const uint16_t ds = s.DS_selector;
  uint16_t word = 0;
  int16_t cls = isSelector(s, ds);
  // The translation ends the run when the address is not valid; a word it
  // finds outside the dump gives no verdict either way.
  uint32_t at = getphysoffset(s, (uint32_t{ds} << 16) | sym.rtdsvOffset);
  if (!s.dumpfile.read_u16_at(at, word)) {
    s.outfile.print("\n\tThe word at rtdsv (%04X:%04X) is not in the dump: the SYM file is not checked.\n",
                    static_cast<unsigned>(ds), static_cast<unsigned>(sym.rtdsvOffset));
    return 0;
  }
  bool pass = isSelector(s, word) == kLdtData && (!s.space.termappl || word == ds);
  if (pass) {
    if (!sym.sym_extracted_from_dump) add_summary_line(s, " A spot check of SYM file matching is inconclusive.");
    return 0;
  }
  s.outfile.write("\n\t\t**************************************\n");
  s.outfile.write("\t       *                                      *\n");
  s.outfile.write("\t      *    The SYM file is NOT a good match    *\n");
  s.outfile.write("\t       *                                      *\n");
  s.outfile.write("\t\t**************************************\n");
  add_summary_line(s, " The SYM file is NOT a good match.");
  if (s.outfile.is_file()) s.con.err << "\t\t>>>> The SYM file is not a good match <<<<\n\n";
  s.outfile.print("rtdsv=%04X, its value=%04X, DS=%04X\n", static_cast<unsigned>(sym.rtdsvOffset),
                  static_cast<unsigned>(word), static_cast<unsigned>(ds));

  // Where the right SYM file would have rtdsv: the words equal to DS
  // around it, within the segment.
  if (cls == kLdtData || cls == kLdtCode) {
    uint32_t from = sym.rtdsvOffset >= 512 ? sym.rtdsvOffset - 512u : 0u;
    uint32_t to = std::min<uint32_t>(sym.rtdsvOffset + 512u, uint32_t{getlimit(s, uint32_t{ds} << 16)} + 1);
    std::vector<unsigned char> window(to > from ? to - from : 0, 0);
    if (!window.empty() &&
        readstuff(s, window, (uint32_t{ds} << 16) | from, 1, static_cast<int16_t>(window.size()), 'a')) {
      bool first = true;
      for (size_t p = 0; p + 1 < window.size(); ++p) {
        if ((window[p] | window[p + 1] << 8) != ds) continue;
        if (first) s.outfile.write("The correct SYM file probably has a value for rtdsv\n  of ");
        s.outfile.print(first ? " %04X" : " or %04X", static_cast<unsigned>(from + p));
        first = false;
      }
    }
  }
  s.outfile.write("\n\n");
  return 0;
}

}  // namespace morvik
