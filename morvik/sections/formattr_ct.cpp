// The CBASIC call count report: the runtime's tree of called functions with
// their call counts, and the functions that were never called.
#include <algorithm>
#include <numeric>
#include <set>
#include <span>
#include <unordered_map>
#include <vector>

#include "common/console.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/records/trace.h"
#include "morvik/sections/formattr.h"
#include "morvik/sections/formattr_read.h"
#include "morvik/symbols/dumpfunc_code.h"
#include "morvik/symbols/dumpfunc_symfile.h"

namespace morvik {

namespace {

constexpr int16_t kCallCountLevel = 58;

unsigned long ul(uint32_t v) { return static_cast<unsigned long>(v); }
// The system's "%ld" of a 32-bit value.
long sl(uint32_t v) { return static_cast<long>(static_cast<int32_t>(v)); }

// The callable-function table: addresses and sizes, and which are struck.
struct Callable {
  uint32_t addr = 0;
  uint16_t size = 0;
};

struct CallCount {
  Session& s;
  std::vector<TREE> nodes;  // as far as they lie in the tree's segment
  size_t count = 0;         // nodes the runtime says it has
  std::vector<Callable> table;
  std::unordered_map<uint32_t, std::vector<size_t>> by_addr;  // table positions not yet struck
  std::vector<bool> struck;
  std::vector<bool> visited;
  uint16_t max_depth = 0;
  uint32_t total_calls = 0;

  void print_leaf(const TREE& tree, size_t /*index*/) {
    s.outfile.print("%8ld  %04lX:%04lX  ", sl(tree.useCount), ul(tree.addr >> 16), ul(tree.addr & 0xFFFF));
    total_calls += tree.useCount;
    findname(s, tree.addr, 1);
    s.outfile.write("\n");
    auto it = by_addr.find(tree.addr);
    if (it != by_addr.end() && !it->second.empty()) {
      struck[it->second.front()] = true;
      it->second.erase(it->second.begin());
    }
  }

  // A node is entered once: one reached twice (a cycle) or outside the
  // tree ends the walk with one line.
  bool enter(size_t element, uint16_t at_depth) {
    if (element >= nodes.size() || visited[element]) {
      s.outfile.print("*** The call count tree is damaged at entry %ld; its listing ends here.\n",
                      static_cast<long>(element));
      return false;
    }
    visited[element] = true;
    max_depth = std::max(max_depth, at_depth);
    return true;
  }

  // In address order: left subtree, the node, right subtree (children of
  // index 0 are none). The walk keeps its own stack: a tree built from
  // calls in address order is one long chain.
  void print_tree(size_t element) {
    std::vector<std::pair<size_t, uint16_t>> stack;  // node and depth
    size_t at = element;
    uint16_t depth = 0;
    bool descend = true;
    while (descend || !stack.empty()) {
      while (descend) {
        if (!enter(at, depth)) return;
        stack.push_back({at, depth});
        if (nodes[at].pLeft == 0) break;
        at = nodes[at].pLeft;
        ++depth;
      }
      descend = false;
      const auto [n, d] = stack.back();
      stack.pop_back();
      print_leaf(nodes[n], n);
      if (nodes[n].pRight != 0) {
        at = nodes[n].pRight;
        depth = static_cast<uint16_t>(d + 1);
        descend = true;
      }
    }
  }
};

// The tree's nodes, read in one piece as far as they lie in its segment.
std::vector<TREE> read_tree(Session& s, uint32_t base, size_t count) {
  const uint32_t off = base & 0xFFFF;
  const uint32_t limit = getlimit(s, base);
  if (isSelector(s, static_cast<uint16_t>(base >> 16)) != kLdtData || off > limit) return {};
  const size_t room = (size_t{limit} + 1 - off) / TREE::kSize;
  const size_t n = std::min(count, room);
  std::vector<unsigned char> bytes(n * TREE::kSize);
  std::vector<TREE> nodes;
  if (n == 0) return nodes;
  for (size_t at = 0; at < bytes.size(); at += 0xFFF0) {  // reads of at most a segment's length
    const size_t len = std::min<size_t>(0xFFF0, bytes.size() - at);
    if (!read_app(s, std::span<unsigned char>(bytes.data() + at, len), base + static_cast<uint32_t>(at))) return {};
  }
  for (size_t i = 0; i < n; ++i) nodes.push_back(decode_tree(bytes.data() + i * TREE::kSize));
  return nodes;
}

}  // namespace

void report_ct_trace(Session& s) {
  if (s.cbrt < kCallCountLevel) return;
  const AppSymbols& sym = s.symbols;
  std::vector<Callable> table;
  if (s.symfile.is_open() && !s.cdvfile.is_open()) {
    for (const symNode& n : sym.CodeHead) {
      if (table.size() >= AppSymbols::max_callable_addresses) break;
      table.push_back({getCodeAddress(s, n.offset), 0});
    }
  } else {
    for (size_t i = 0; i < sym.callable_addresses.size(); ++i)
      table.push_back({sym.callable_addresses[i], i < sym.callable_lengths.size() ? sym.callable_lengths[i] : uint16_t{0}});
  }

  const uint32_t root_at = get_symbol_address(s, "ct_tree_root");
  const uint32_t count_at = get_symbol_address(s, "ct_num_entries");
  unsigned char rb[4] = {}, cb[2] = {};
  const bool read = root_at != 0 && count_at != 0 && read_app(s, rb, root_at) && read_app(s, cb, count_at);
  const int32_t tree_root = static_cast<int32_t>(vt::le32(rb));
  const int16_t entries = static_cast<int16_t>(vt::le16(cb));
  CallCount ct{s, {}, 0, {}, {}, {}, {}, 0, 0};
  if (read && tree_root > 0 && entries > 0) ct.nodes = read_tree(s, static_cast<uint32_t>(tree_root), static_cast<size_t>(entries));
  if (ct.nodes.empty()) {
    s.outfile.write(" The CBASIC call count (ct_tree_root) is not available.\n\n");
    return;
  }
  ct.count = static_cast<size_t>(entries);
  s.outfile.print(" There are %ld entries in the CBASIC call count buffer.  They are:\n", static_cast<long>(entries));

  if (s.debugmode) {
    s.outfile.write("   count  -address-  left right count\n");
    for (size_t i = 0; i < ct.nodes.size(); ++i) {
      const TREE& t = ct.nodes[i];
      s.outfile.print("%8ld  %04lX:%04lX ", static_cast<long>(i), ul(t.addr >> 16), ul(t.addr & 0xFFFF));
      s.outfile.print(" %04lX %04lX  %04lX\n", ul(t.pLeft), ul(t.pRight), ul(t.useCount));
    }
    s.outfile.write("\n\n");
    s.outfile.write("The callable addresses and sizes are:\n");
    for (const Callable& c : table) s.outfile.print("%08lX %04lX\n", ul(c.addr), ul(c.size));
  }

  ct.table = std::move(table);
  ct.struck.assign(ct.table.size(), false);
  for (size_t i = 0; i < ct.table.size(); ++i) ct.by_addr[ct.table[i].addr].push_back(i);
  ct.visited.assign(ct.nodes.size(), false);
  s.outfile.write("   Count  -address-   Name\n");
  ct.print_tree(0);
  s.outfile.print("--------\n%8ld total calls.  ", sl(ct.total_calls));
  s.outfile.print("The maximum search depth is %u\n\n", static_cast<unsigned>(ct.max_depth));

  std::vector<Callable> never;
  for (size_t i = 0; i < ct.table.size(); ++i)
    if (!ct.struck[i]) never.push_back(ct.table[i]);
  std::stable_sort(never.begin(), never.end(), [](const Callable& a, const Callable& b) { return a.addr < b.addr; });
  uint16_t largest = 0;
  for (const Callable& c : never) largest = std::max(largest, c.size);
  if (largest == 0)
    s.outfile.write(
        "NOTE:  The following list, generated from a SYM file, contains PUBLIC\n"
        "routines from both the application as well as the CBASIC Runtimes.  \n"
        "The SYM file does not indicate whether the routine is from the      \n"
        "application or the Runtimes.  Because there is no tracing mechanism \n"
        "implemented to determine if any Runtimes function was not called,   \n"
        "all PUBLIC Runtimes functions are listed below.  To obtain a more   \n"
        "usable list, please use a CDV file rather that a SYM file.          \n"
        "A CDV file also provides the size of each routine and contains      \n"
        "information that will also add non-public functions to this list.\n\n");
  s.outfile.print("%ld functions were never called during this run:\n", static_cast<long>(never.size()));
  s.outfile.write("Sequence#  -address-    Size    Name\n");
  for (size_t i = 0; i < never.size(); ++i) {
    const Callable& c = never[i];
    s.outfile.print("%8ld   %04lX:%04lX  ", static_cast<long>(i + 1), ul(c.addr >> 16), ul(c.addr & 0xFFFF));
    if (c.size == 0)
      s.outfile.write("        ");
    else if (uint32_t{c.size} * 4 >= largest)
      s.outfile.print(">>%04X<<", static_cast<unsigned>(c.size));
    else
      s.outfile.print("  %04X  ", static_cast<unsigned>(c.size));
    findname(s, c.addr, 1);
    s.outfile.write("\n");
  }
  if (largest != 0) s.outfile.print("The largest size (above) is %04lX\n", ul(largest));
  s.outfile.write("\n");

  // Only the functions of segments none of whose functions was called.
  std::set<uint16_t> called;
  for (const TREE& t : ct.nodes) called.insert(static_cast<uint16_t>(t.addr >> 16));
  s.outfile.write("\nThe following list of file names shows files in which EVERY function");
  s.outfile.write("\nwas NEVER called.  Only the first function in each file is shown.   ");
  s.outfile.write("\nEach listed file might be a good candidate for removal from your INP file.\n");
  uint16_t previous = 0;
  for (const Callable& c : never) {
    const uint16_t selector = static_cast<uint16_t>(c.addr >> 16);
    const bool gone = called.count(selector) != 0;
    if (!gone && selector != previous) {
      s.outfile.print("  %04lX:%04lX  ", ul(selector), ul(c.addr & 0xFFFF));
      findname(s, c.addr, 1);
      s.outfile.write("\n");
    }
    previous = gone ? 0 : selector;
  }
}

}  // namespace morvik
