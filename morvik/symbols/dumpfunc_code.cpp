// Code symbols and the naming of code addresses.
#include "morvik/symbols/dumpfunc_code.h"

#include <algorithm>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/report/doarray.h"
#include "morvik/symbols/dumpfunc_symfile.h"
#include "morvik/symbols/readcdv.h"
#include "morvik/symbols/trvect.h"

namespace morvik {

namespace {

constexpr size_t kValueChars = 15;
constexpr size_t kNameChars = 79;  // the 80-byte name buffer
constexpr size_t kLabelChars = 15;
constexpr size_t kPageTableEntries = 1280;  // the page-table cache
constexpr uint32_t kFrame = 0xFFFFF000u;

constexpr int16_t kEnd = -1;
constexpr int16_t kLabels = 1;
constexpr int16_t kVariables = 2;
constexpr int16_t kSharedLabels = 22;  // the shared runtime's string-vector labels

// The label reader of the SYM file (the system's getNextCodeSym).
struct CodeSymReader {
  SymTokens symfile;
  bool shared;
  int16_t state = 0;
  uint32_t number = 0;
  std::string_view name;  // until the next pair is read

  void getNextCodeSym() {
    while (state != kEnd) {
      std::string_view t;
      if (!symfile.next(t, kValueChars)) {
        state = kEnd;
        return;
      }
      char value[kValueChars + 1] = {};  // the value, until the name is read
      std::copy(t.begin(), t.end(), value);
      if (!symfile.next(name, kNameChars)) {
        state = kEnd;
        return;
      }
      if (name == "LABELS") {
        if (state != kSharedLabels) state = kLabels;
        continue;  // the pair after the keyword
      }
      if (name == "VARIABLES") {
        state = kVariables;
        return;
      }
      if (state == kLabels) {
        if (name == "_inc1_s32" && shared) state = kSharedLabels;
        number = Hex_to_Decimal(value);
      } else if (state == kSharedLabels) {
        if (name == "_retpop10") {
          state = kEnd;
          return;
        }
        number = Hex_to_Decimal(value);
      }
      return;
    }
  }
};

std::vector<symNode> by_offset(std::deque<symNode>& read) {
  return in_order(read, [](const symNode& n) { return uint64_t{n.offset}; });
}

// Debug listing of the sorted segments and of the data segment.
void show_code_segments(Session& s, const std::vector<codeseg>& list) {
  AddressSpace& a = s.space;
  const AppSymbols& sym = s.symbols;
  auto ul = [](uint64_t v) { return static_cast<unsigned long>(v); };
  auto sl = [](int64_t v) { return static_cast<long>(v); };
  auto linear24 = [&](const codeseg& c) { return a.ldt_entry(c.selector >> 3).ld_base; };
  s.outfile.write("Sorted code segments:\n");
  s.outfile.write("  sel  base  limit pageDir pageTab ApplParagraph\n");
  for (const codeseg& c : list) {
    s.outfile.print(" %4X %lX %4X %3X      %3X  ", static_cast<unsigned>(c.selector), ul(c.base),
                    static_cast<unsigned>(c.limit), static_cast<unsigned>(c.pageDirIndex),
                    static_cast<unsigned>(c.pageTabIndex));
    uint32_t paragraph = (linear24(c) - linear24(list.front())) / 16;
    s.outfile.print("    %05lX", ul(paragraph));
    if (!sym.code_paragraphs.empty() &&
        std::find(sym.code_paragraphs.begin(), sym.code_paragraphs.end(), paragraph) == sym.code_paragraphs.end())
      s.outfile.write(" ** ERROR ** SYM file might not match!");
    s.outfile.write("\n");
  }
  uint32_t size = list.empty() ? 0 : list.back().base + list.back().limit + 1 - list.front().base;
  s.outfile.print("\nTotal code size is %06lX (hex), %ld (decimal)\n", ul(size), sl(size));
  const uint32_t ds = uint32_t{s.DS_selector} << 16;
  const uint16_t limit = getlimit(s, ds);
  s.outfile.print("DS Selector = %04lX (hex), ", ul(s.DS_selector));
  s.outfile.print("limit = %04lX (hex).", ul(limit));
  s.outfile.print(" %ld (decimal) bytes remain unused.\n", sl(0xFFF0 - int64_t{limit}));
  uint64_t w = uint64_t{size} * 100 / 209713;
  s.outfile.print("Code is at %ld.%ld%% of 2 MB, ", sl(static_cast<int64_t>(w / 10)), sl(static_cast<int64_t>(w % 10)));
  w = uint64_t{limit} * 1000 / 65520;
  s.outfile.print("and data is at %ld.%ld%% of 64 KB.\n\n", sl(static_cast<int64_t>(w / 10)),
                  sl(static_cast<int64_t>(w % 10)));
  s.outfile.write("The contents of the Data Segment is:\n");
  int16_t cls = isSelector(s, s.DS_selector);
  if (cls != kLdtData && cls != kLdtCode) return;
  const uint32_t last = limit == 0xFFFF ? 0xFFFE : limit;
  std::vector<unsigned char> seg = read_segment(s, s.DS_selector, size_t{last} + 1);
  long same = 0;
  for (size_t at = 0; at < seg.size(); at += 16) {
    size_t n = std::min<size_t>(16, seg.size() - at);
    if (at != 0 && n == 16 && std::equal(seg.begin() + static_cast<long>(at), seg.begin() + static_cast<long>(at + 16),
                                         seg.begin() + static_cast<long>(at - 16))) {
      ++same;
      continue;
    }
    if (same) s.outfile.print("                (%ld lines same as above)\n", same);
    same = 0;
    s.outfile.print("%04lX:%04lX  ", ul(s.DS_selector), ul(at));
    pdump(s, std::span<const unsigned char>(seg.data() + at, n));
  }
}

// Code chunks (MARRA code blocks): the list in chunk order 0, 1, ...
void order_chunks(Session& s, std::vector<codeseg>& list) {
  uint16_t chunk = 0;
  for (codeseg& c : list) {
    auto k = std::find(s.code_block_286.begin(), s.code_block_286.end(), c.selector);
    if (k != s.code_block_286.end()) chunk = static_cast<uint16_t>(k - s.code_block_286.begin());
    c.chunk = chunk;
  }
  for (int k = s.numchunks - 1; k >= 0; --k) {
    auto first = std::find_if(list.begin(), list.end(), [&](const codeseg& c) { return c.chunk == k; });
    if (first == list.end()) continue;
    auto end = std::find_if(first, list.end(), [&](const codeseg& c) { return c.chunk != k; });
    std::rotate(list.begin(), first, end);
  }
}

// Offsets in the code image of a paged dump: the segments' pages counted
// through the page table of the lowest-based segment.
void number_pages(Session& s, std::vector<codeseg>& list, int lowest) {
  AddressSpace& a = s.space;
  getbase(s, static_cast<int16_t>(lowest), 0);  // caches its page table
  const std::vector<uint32_t>& table = a.pagetable;
  const size_t end = std::min(table.size(), kPageTableEntries);
  size_t p = 0;
  while (p < end && table[p] == 0) ++p;
  const uint32_t head = list.front().base & kFrame;
  while (p < end && (table[p] & kFrame) != head) ++p;
  uint32_t counter = 0;
  for (codeseg& c : list) {
    const uint32_t page = c.base & kFrame;
    for (size_t passed = 0; p < end && table[p] != 0 && (table[p] & kFrame) != page && passed < kPageTableEntries;
         ++passed) {
      ++p;
      ++counter;
    }
    c.offset_in_appl = counter * 4096 + (c.base & 0xFFF);
  }
}

// Offsets in the code image of an unpaged dump, from the segments' bases
// and limits.
void number_bases(Session& s, std::vector<codeseg>& list) {
  list.front().offset_in_appl = 0;
  for (size_t i = 1; i < list.size(); ++i) {
    const codeseg& p = list[i - 1];
    codeseg& n = list[i];
    const uint32_t prev = p.offset_in_appl;
    if (n.base > p.base)
      n.offset_in_appl = n.base > p.base + p.limit ? p.limit + prev + 1 : n.base - p.base + prev;
    else
      n.offset_in_appl = s.space.ELVELA ? n.base - p.base + prev : p.limit + prev + 1;
  }
  s.CS_selector = list.front().selector;
}

void sizes(std::vector<codeseg>& list) {
  for (size_t i = 0; i < list.size(); ++i) {
    codeseg& p = list[i];
    if (i + 1 == list.size()) {
      p.segsize = uint32_t{p.limit} + 1;
      break;
    }
    const codeseg& n = list[i + 1];
    if (n.base == p.base && i + 2 < list.size())
      p.segsize = list[i + 2].offset_in_appl - p.offset_in_appl;
    else if (n.pageDirIndex != 0 || p.pageDirIndex != 0)
      p.segsize = uint32_t{p.limit} + 1;
    else
      p.segsize = n.offset_in_appl - p.offset_in_appl;
  }
}

}  // namespace

void makelist(Session& s) {
  AppSymbols& sym = s.symbols;
  sym.CodeHead.clear();
  sym.VectHead.clear();
  sym.code_paragraphs.clear();
  CodeSymReader r{SymTokens(s.symfile, 2), s.shared != 0, 0, 0, {}};  // from byte 2 of the file
  std::deque<symNode> labels, vector_labels;  // in file order
  uint32_t base = 0;
  uint64_t steps = 0;
  while (r.state != kEnd) {
    if (s.outfile.is_file() && ++steps % 200 == 0) {
      s.con.err << ".";
      s.con.err.flush();
    }
    r.getNextCodeSym();
    if (r.state == kLabels) {
      if (r.name == "CODE") {
        base = r.number * 16;
        if (sym.code_paragraphs.size() < AppSymbols::kMaxCodeParagraphs) sym.code_paragraphs.push_back(r.number);
      } else {
        labels.push_back(symNode{base + r.number, std::string(r.name.substr(0, kLabelChars))});
      }
    } else if (r.state == kSharedLabels && r.name != "CODE") {
      vector_labels.push_back(symNode{base + r.number, std::string(r.name.substr(0, kLabelChars))});
    }
  }
  sym.CodeHead = by_offset(labels);
  sym.VectHead = by_offset(vector_labels);
}

void sort_code_segments(Session& s) {
  AddressSpace& a = s.space;
  AppSymbols& sym = s.symbols;
  std::vector<codeseg> list;
  int lowest = -1;
  uint32_t lowest_base = 0;
  for (int i = a.ldth.ldt_base; i < a.ldttop; ++i) {
    ldt_s d = a.ldt_entry(static_cast<size_t>(i));
    if (!d.is_code()) continue;
    codeseg c;
    c.selector = static_cast<uint16_t>(i * 8 + 7);
    c.limit = d.ld_len;
    c.base = getbase(s, static_cast<int16_t>(i), 0);
    if (a.page) {
      c.pageDirIndex = static_cast<uint16_t>(a.PDindex);
      c.pageTabIndex = static_cast<uint16_t>(a.PTindex);
    }
    if (lowest < 0 || c.base < lowest_base) {
      lowest = i;
      lowest_base = c.base;
    }
    if (s.shared && a.PDindex != 0) sym.strvect_selector = c.selector;
    list.push_back(c);
  }
  std::stable_sort(list.begin(), list.end(), [](const codeseg& x, const codeseg& y) {
    uint32_t kx = uint32_t{x.pageDirIndex} * 1024 + x.pageTabIndex;
    uint32_t ky = uint32_t{y.pageDirIndex} * 1024 + y.pageTabIndex;
    return kx != ky ? kx < ky : x.base < y.base;
  });
  if (s.BASIC && !a.termappl) sym.trvect_selector = s.CS_selector;
  if (s.debugmode) show_code_segments(s, list);
  if (s.numchunks > 1) order_chunks(s, list);
  if (!list.empty()) {
    if (a.page)
      number_pages(s, list, lowest);
    else
      number_bases(s, list);
    sizes(list);
  }
  sym.clisthead = std::move(list);
}

uint32_t getCodeAddress(Session& s, uint32_t offset) { return s.symbols.code_address(offset); }

uint32_t get_offset_in_appl(Session& s, uint32_t addr) { return s.symbols.offset_in_appl(addr); }

void findname(Session& s, uint32_t addr, int16_t /*flag*/) {
  const AppSymbols& sym = s.symbols;
  const uint16_t selector = static_cast<uint16_t>(addr >> 16);
  const uint16_t offset = static_cast<uint16_t>(addr & 0xFFFF);
  // Calls into the runtimes' vectors are named by the vector's entry (a
  // selector of 0 is one that was not found).
  if (sym.trvect_selector != 0 && selector == sym.trvect_selector) {
    if (const char* n = rtname(offset)) {
      s.outfile.print(" %s", n);
      return;
    }
  }
  if (sym.strvect_selector != 0 && selector == sym.strvect_selector) {
    if (const char* n = strvectName(offset)) {
      s.outfile.print(" %s", n);
      return;
    }
  }
  if (s.cdvfile.is_open()) {
    findCDVaddr2(s, addr);
    return;
  }
  if (sym.CodeHead.empty()) return;
  if (sym.strvect_selector != 0 && selector == sym.strvect_selector) {
    const symNode* v = sym.vector_label(static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(offset))));
    if (v)
      s.outfile.print(" %s", v->name.c_str());
    else
      s.outfile.write(" can't find it!");
    return;
  }
  const codeseg* seg = sym.code_segment(selector);
  if (!seg) return;
  const uint32_t off = get_offset_in_appl(s, addr);
  const std::vector<symNode>& labels = sym.CodeHead;
  if (labels.front().offset > off) {
    // Before the first label: the distance from the image's start alone.
    s.outfile.print(" appl + %hx", static_cast<unsigned short>(off));
    return;
  }
  // The last label at or below off (or off + 5: older runtimes return
  // behind a 5-byte call) is the best; the one after it the next.
  const uint64_t limit = s.cbrt >= 54 ? uint64_t{off} : uint64_t{off} + 5;
  const size_t accepted = sym.labels_up_to(limit);
  const symNode& best = labels[accepted - 1];
  const symNode* next = accepted < labels.size() ? &labels[accepted] : nullptr;
  const int32_t d = static_cast<int32_t>(off - best.offset);
  if (d == 0)
    s.outfile.print(" %s", best.name.c_str());
  else if (next && best.offset < seg->offset_in_appl)  // best lies in an earlier segment
    s.outfile.print(" %s-%hx", next->name.c_str(), static_cast<unsigned short>(next->offset - off));
  else if (d == -5)
    s.outfile.print(" %s", best.name.c_str());
  else
    s.outfile.print(" %s + %hx", best.name.c_str(), static_cast<unsigned short>(d));
}

uint32_t calledaddr(Session& s, uint32_t addr) {
  const uint16_t selector = static_cast<uint16_t>(addr >> 16);
  const uint16_t offset = static_cast<uint16_t>(addr & 0xFFFF);
  const int16_t cls = isSelector(s, selector);
  if (cls != kGdtCode && cls != kLdtCode) return 0;
  // The five bytes of a far call must lie in the segment before addr.
  if (offset < 5 || (cls == kLdtCode && offset > uint32_t{getlimit(s, addr)} + 1)) return 0;
  const uint64_t pos = s.dumpfile.tell();
  unsigned char b[5] = {};
  const int16_t ok = readstuff(s, b, addr - 5, 1, 5, cls == kGdtCode ? 's' : 'a');
  s.dumpfile.seek(pos);
  if (!ok || b[0] != 0x9A) return 0;
  const uint32_t target = vt::le32(b + 1);
  return isSelector(s, static_cast<uint16_t>(target >> 16)) == cls ? target : 0;
}

int16_t isSRTLaddr(Session& s, uint32_t addr) {
  const uint16_t selector = static_cast<uint16_t>(addr >> 16);
  if (isSelector(s, selector) != kGdtCode) return 0;
  return (addr & 0xFFFF) < s.space.gdt_entry(selector >> 3).lim ? 1 : 0;
}

void show_function_prolog_code(Session& s) {
  s.outfile.write("\n\nCode Symbols in the Application are:\n -offset- -protect-  name------------  Code Bytes------\n");
  uint16_t previous = 0;
  for (const symNode& label : s.symbols.CodeHead) {
    const uint32_t at = getCodeAddress(s, label.offset);
    if (at == 0) continue;
    const uint16_t selector = static_cast<uint16_t>(at >> 16);
    if (selector != previous) s.outfile.write("\n");
    previous = selector;
    s.outfile.print(" %08lX %04lX:%04lX  %-16s  ", static_cast<unsigned long>(label.offset),
                    static_cast<unsigned long>(selector), static_cast<unsigned long>(at & 0xFFFF), label.name.c_str());
    unsigned char code[8] = {};
    readstuff(s, code, at, 1, sizeof code, 'a');
    for (unsigned char b : code) s.outfile.print("%02X", b);
    switch (code[0]) {
      case 0x1E: s.outfile.write("  push ds"); break;
      case 0xC8: s.outfile.write("  enter"); break;
      case 0x55: s.outfile.write("  push bp"); break;
      case 0xE8: s.outfile.write("  call"); break;
      default:
        if (label.name[0] >= 'A' && label.name[0] <= 'Z' && label.name.compare(0, 3, "OMK") != 0)
          s.outfile.write("    **WARNING** Unrecognized Opcode");
        break;
    }
    s.outfile.write("\n");
  }
}

}  // namespace morvik
