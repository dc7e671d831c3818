// The heap walk: the terminal runtime's heap (segments, items, the big free
// list, homogeneous free lists), the controller runtime's lists and
// segments, and the heap trace, on heaps built by testkit.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/console.h"
#include "morvik/sections/heapwalk.h"
#include "testkit/heapbuilder.h"
#include "tests/morvik/fixture.h"

using morvik_test::SessionFixture;
using testkit::DumpBuilder;
using testkit::DumpVariant;
using testkit::HeapBlock;
using testkit::HeapBuilder;
using testkit::HeapSegment;
using testkit::TerminalHeapSpec;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A process with a code and a data segment (selectors 67 and 6F); the
// heap's segments follow (the terminal heap's control block in 77, its
// segments from 7F on).
struct HeapDump {
  explicit HeapDump(DumpVariant v = DumpVariant::PagedTerminal) : b(v) {}
  DumpBuilder b;
  int proc = b.add_process();
  uint16_t code = b.add_segment(proc, 0x400, true);
  uint16_t data = b.add_segment(proc, 0x1000, false);
  HeapBuilder hb{b, proc};
};

// A session over the dump with the process's LDT loaded; "/dh" when `dh`.
std::unique_ptr<SessionFixture> session(const HeapDump& d, bool dh) {
  auto f = std::make_unique<SessionFixture>(d.b);
  morvik_test::load_ldt(*f, d.b, d.proc);
  f->s.heap_debugmode = dh ? 1 : 0;
  f->s.DS_selector = d.data;
  f->out.str("");
  return f;
}

// The report of heapwalk on the heap.
std::string walk(const HeapDump& d, uint32_t hcb, bool dh) {
  auto f = session(d, dh);
  morvik::heapwalk(f->s, hcb);
  EXPECT_EQ(f->err.str(), "");
  return f->out.str();
}

HeapSegment segment(uint32_t size, std::vector<testkit::HeapItem> items, bool fill = true) {
  HeapSegment s;
  s.size = size;
  s.items = std::move(items);
  s.fill = fill;
  return s;
}

// What the walk reports between the free space and the largest free item:
// the messages of the big free list's walk.
std::string free_list_messages(const std::string& out) {
  size_t from = out.find(" bytes\n", out.find("Total free space"));
  size_t to = out.find("\t The largest item");
  if (from == std::string::npos || to == std::string::npos) return "?";
  return out.substr(from + 7, to - from - 7);
}

}  // namespace

TEST(TerminalHeap, WithoutDhTheSegmentsTheFreeSpaceAndTheLargestItem) {
  for (auto v : {DumpVariant::PagedTerminal, DumpVariant::ELTerminal, DumpVariant::MarraTerminal,
                 DumpVariant::PagedController}) {
    SCOPED_TRACE(static_cast<int>(v));
    HeapDump d(v);
    TerminalHeapSpec h;
    h.segments = {segment(0x100, {testkit::used_item(16), testkit::free_item(32)}),
                  segment(0x80, {testkit::free_item(24)}), segment(0x40, {testkit::used_item(8)})};
    testkit::TerminalHeap t = d.hb.add_terminal_heap(h);
    EXPECT_EQ(walk(d, t.hcb, false),
              "\n\t There are 3 segments in the application heap:\n"
              "\t      007f:0000 (0100h bytes)\n"
              "\t      0087:0000 (0080h bytes)\n"
              "\t      008f:0000 (0040h bytes)\n"
              "\n\t Total free space in the application heap:  30h bytes\n"
              "\t The largest item on the free lists is 20h bytes\n");
  }
}

// A 64 KB segment is 10000h bytes long, the first as every other.
TEST(TerminalHeap, OneSegmentOf64K) {
  HeapDump d;
  TerminalHeapSpec h;
  h.segments = {segment(0x10000, {testkit::free_item(0x100)})};
  testkit::TerminalHeap t = d.hb.add_terminal_heap(h);
  EXPECT_EQ(walk(d, t.hcb, false),
            "\n\t There is 1 segment in the application heap:\n"
            "\t      007f:0000 (10000h bytes)\n"
            "\n\t Total free space in the application heap:  100h bytes\n"
            "\t The largest item on the free lists is 100h bytes\n");
}

TEST(TerminalHeap, DhListsEveryItemAndCountsTheCorruptOnes) {
  HeapDump d;
  TerminalHeapSpec h;
  h.homogeneous_lists = 1;
  h.segments = {segment(0x80,
                        {testkit::used_item(8, {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}), testkit::free_item(8),
                         testkit::corrupt_item(8, 0x0001), testkit::free_item(12, 0), testkit::used_item(7)},
                        false)};
  testkit::TerminalHeap t = d.hb.add_terminal_heap(h);
  d.hb.set_free_links(t.items[0][1], 0x12340000, 0);  // a back pointer that is no address of the application
  EXPECT_EQ(walk(d, t.hcb, true),
            "\n    The heap control block is in segment 77\n"
            "size = 31\n"
            "\tnum_segments_allocated:  1\n"
            "\tgranularity:  16\n"
            "\tnum_homogeneous_freelists:  1\n"
            "\tmax_homogeneous:  64\n"
            "\ttotal_avail:  1H\n"
            "\tnum_free_items:  2\n"
            "\tcoalesce_strategy:  1\n"
            "\tos_malloc_limit:  8000\n"
            "\tfirst_seg:  007F0000\n"
            "selector:  7f\n"
            "\n\t There is 1 segment in the application heap:\n"
            "\t      007f:0000 (0080h bytes)\n"
            "\nAddress 007F0000, size=00000080\n"
            "\nHere are the heap items in this memory block:\n"
            "007F0018 len=0008  41424344 45464748                    *ABCDEFGH*\n"
            "007F0024 len=0008  00003412 00000000 F8FF0800 00000000  *..4.............*\n"
            "                   The block above is NOT USED.\n"
            " * * * ERROR * * *   The back pointer in this block is corrupt!\n\n"
            "007F0030 len=0008  00000000 00000000 01000C00 00000000  *................*\n"
            "      *** HEAP CORRUPTION in the above block!!! ***\n\n"
            "007F003C len=000C  00000000 00000000 00000000 F4FF0700  *................*\n"
            "                   The block above is NOT USED.\n"
            // An item shorter than 8 bytes ends the listing.
            "007F004C len=0007  \n"
            "\n"
            "\n\t Total free space in the application heap:  10h bytes\n"
            "2 in-use blocks were found to be corrupt\n\n"
            "\t  There are 2 items on the free lists\n"
            "end big list:  007F0024\n\n"
            "Free block at 007F0024:  len=0008, prev=00000000, next=12340000\n"
            "\t The largest item on the free lists is 8h bytes\n"
            "\tend_big_list:  7f0024\n"
            "\thomogeneous freelist roots:\n"
            "\t    007F003C\n"
            "\n"
            "\nHere is the search path for the homogeneous free list pointers\n"
            "\n"
            "At 007F003C:   00000000\n\n");
}

TEST(TerminalHeap, TheBigFreeListEndsAtItsFirstBadLink) {
  // Free items at 007F0018 (16 bytes), 007F002C (48) and 007F0060 (32); the
  // walk starts at the last and goes back along 'prev'.
  const uint32_t f0 = 0x007F0018, f1 = 0x007F002C, f2 = 0x007F0060;
  struct Case {
    const char* what;
    uint32_t size;  // of the segment
    uint32_t item, next, prev;  // the damage: new links of `item` (none when 0)
    std::string messages;
  } cases[] = {
      {"intact", 0x400, 0, 0, 0, ""},
      // A 'prev' that repeats the one before ends the walk without a word.
      {"repeated prev", 0x400, f1, f2, f1, ""},
      {"a loop", 0x400, f0, f1, f2,
       "\t *** Heap free list: the item at 007F0060 comes round again; the walk stops here.\n"},
      {"prev beyond the segment", 0x400, f1, f2, 0x007F0F00, "ERROR - pointer 007F0EFE to next free block is bad!\n"},
      {"prev in no LDT slot, no room for the dump around it", 0x100, f1, f2, 0x0FFF0010,
       "\nWARNING -- the 'prev' pointer in the free block at 007F002C is invalid.\n"
       "The free memory chain may be corrupt.  Here is the memory around it:\n\n"
       "st=007F0000, en=007F012C\n"
       "Cannot provide dump around error point. Invalid start or end.\n\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HeapDump d;
    TerminalHeapSpec h;
    h.segments = {segment(c.size, {testkit::free_item(16), testkit::free_item(48), testkit::free_item(32)})};
    testkit::TerminalHeap t = d.hb.add_terminal_heap(h);
    ASSERT_EQ(t.free_list, (std::vector<uint32_t>{f0, f1, f2}));
    if (c.item) d.hb.set_free_links(c.item, c.next, c.prev);
    std::string out = walk(d, t.hcb, false);
    EXPECT_EQ(free_list_messages(out), c.messages) << out;
    EXPECT_TRUE(has(out, "\t The largest item on the free lists is 30h bytes\n")) << out;
  }
}

TEST(TerminalHeap, AnInvalidPrevShowsTheMemoryAroundTheItem) {
  HeapDump d;
  TerminalHeapSpec h;
  h.segments = {segment(0x400, {testkit::free_item(16), testkit::free_item(48), testkit::free_item(32)})};
  testkit::TerminalHeap t = d.hb.add_terminal_heap(h);
  d.hb.set_free_links(0x007F002C, 0x007F0060, 0x12340000);
  std::string out = free_list_messages(walk(d, t.hcb, false));
  // From the segment's start (the item lies less than 512 bytes in) to 256
  // bytes past the item, 16 bytes a line.
  EXPECT_EQ(out.rfind("\nWARNING -- the 'prev' pointer in the free block at 007F002C is invalid.\n"
                      "The free memory chain may be corrupt.  Here is the memory around it:\n\n"
                      "007F0000  00000100 00044000 10000000 00000000  *......@.........*\n",
                      0),
            0u)
      << out;
  EXPECT_TRUE(has(out, "007F0020  00000000 00000000 F0FF3000 60007F00  *..........0.`.\x7F.*\n")) << out;
  EXPECT_TRUE(has(out, "\n007F0120  00000000 00000000 00000000 00000000  *................*\n\n")) << out;
  EXPECT_EQ(out.find("007F0130"), std::string::npos);
}

TEST(TerminalHeap, TheSegmentChainEndsAtABadLink) {
  struct Case {
    const char* what;
    int from, to;  // segment `from` links to segment `to` (-1: a bad address)
    std::string note;
  } cases[] = {
      {"a loop", 2, 0, "\t *** Heap segment chain: the segment at 007F0000 comes round again; the walk stops here.\n"},
      {"no address of the application", 1, -1,
       "\t *** Heap segment chain: the link 12340000 is not an address of the application's data; the walk stops "
       "here.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HeapDump d;
    TerminalHeapSpec h;
    h.segments = {segment(0x40, {}), segment(0x40, {}), segment(0x40, {})};
    testkit::TerminalHeap t = d.hb.add_terminal_heap(h);
    d.hb.set_next_seg(t.segments[static_cast<size_t>(c.from)], c.to < 0 ? 0x12340000 : t.segments[0]);
    std::string out = walk(d, t.hcb, false);
    std::string lines = "\t      007f:0000 (0040h bytes)\n\t      0087:0000 (0040h bytes)\n";
    if (c.from == 2) lines += "\t      008f:0000 (0040h bytes)\n";
    EXPECT_TRUE(has(out, "application heap:\n" + lines + c.note + "\n\t Total free space")) << out;
  }
}

TEST(TerminalHeap, HomogeneousListsEightAddressesALineToTheirFirstBadLink) {
  HeapDump d;
  TerminalHeapSpec h;
  h.homogeneous_lists = 3;
  std::vector<testkit::HeapItem> items;
  for (int i = 0; i < 10; ++i) items.push_back(testkit::free_item(8, 0));
  for (int list : {1, 1, 2, 2}) items.push_back(testkit::free_item(8, list));
  h.segments = {segment(0x200, items)};
  testkit::TerminalHeap t = d.hb.add_terminal_heap(h);
  // Items are 12 bytes apart from 007F0018; the second list's second item
  // names an address that is not the application's, the third list's
  // second item leads back to its first.
  d.hb.set_free_links(0x007F009C, 0x12340000, 0);
  d.hb.set_free_links(0x007F00B4, 0x007F00A8, 0);
  std::string out = walk(d, t.hcb, true);
  size_t at = out.find("\nHere is the search path");
  ASSERT_NE(at, std::string::npos) << out;
  EXPECT_EQ(out.substr(at),
            "\nHere is the search path for the homogeneous free list pointers\n"
            "\n"
            "At 007F0018:   007F0024 007F0030 007F003C 007F0048 007F0054 007F0060 007F006C 007F0078\n"
            "               007F0084 00000000"
            "\n"
            "At 007F0090:   007F009C 12340000 **Error**\n\n"
            " **Error**  the last address shown is invalid!\n\n"
            "\n"
            "At 007F00A8:   007F00B4 007F00A8\n"
            "\t *** Homogeneous free list 2: the item at 007F00A8 comes round again; the walk stops here.\n"
            "\n\n");
}

TEST(TerminalHeap, AControlBlockNotInTheDumpIsNotLocated) {
  HeapDump d;
  TerminalHeapSpec h;
  h.segments = {segment(0x40, {})};
  testkit::TerminalHeap t = d.hb.add_terminal_heap(h);
  d.b.put_phys32(d.b.pte_offset(d.proc, d.b.process_linear(d.proc, t.hcb)), 0);
  auto f = session(d, true);
  morvik_test::SessionFixture& g = *f;
  g.s.outfile.open_file(g.dir.file("report.txt"));
  morvik::heapwalk(g.s, t.hcb);
  g.s.outfile.flush();
  EXPECT_EQ(g.err.str(), "Cannot locate heap control block\n");
  EXPECT_EQ(testkit::read_text(g.dir.file("report.txt")), "");

  // A located one is announced on the error stream when the report is a file.
  HeapDump e;
  t = e.hb.add_terminal_heap(h);
  auto k = session(e, false);
  k->s.outfile.open_file(k->dir.file("report.txt"));
  morvik::heapwalk(k->s, t.hcb);
  EXPECT_EQ(k->err.str(), "  Checking the application heap...\n");
}

namespace {

// A controller heap in one segment (selector 77) of 96 bytes: a free-base
// block, two free blocks (the second with a bad check word) and blocks in
// use; "_usedlist" at 6F:0100 names the list head at 6F:0110.
struct ControllerDump : HeapDump {
  ControllerDump() : HeapDump(DumpVariant::PagedController) {
    auto block = [](HeapBlock::Kind kind, uint16_t len, bool bad = false) {
      HeapBlock k;
      k.kind = kind;
      k.len = len;
      k.bad_check = bad;
      return k;
    };
    testkit::ControllerSegment seg;
    seg.size = 0x60;
    seg.blocks = {block(HeapBlock::Kind::Base, 8), block(HeapBlock::Kind::Free, 16), block(HeapBlock::Kind::Used, 8),
                  block(HeapBlock::Kind::Free, 8, true)};
    heap = hb.add_controller_heap(data, 0x0100, 0x0110, {seg});
  }
  std::string walk(bool dh) {
    auto f = session(*this, dh);
    morvik::heapwalk_c(f->s, heap.usedlist);
    return f->out.str();
  }
  testkit::ControllerHeap heap;
};

}  // namespace

TEST(ControllerHeap, WithoutDhAnEmptyLine) {
  ControllerDump d;
  EXPECT_EQ(d.walk(false), "\n");
}

TEST(ControllerHeap, DhListsTheRingsAndTheSegment) {
  ControllerDump d;
  ASSERT_EQ(d.heap.flist, (std::vector<uint32_t>{0x00770010, 0x00770038}));
  EXPECT_EQ(d.walk(true),
            "\nusedlist=006F0100, *usedlist=006F0110\n"
            "ul=006F0110, freebase=00770000, flistptr=00770010\n"
            "\nThe freebase blocks are:\n"
            "0077:0000  len=0008\n"
            "\nThe flist blocks are:\n"
            "   1 0077:0010  len=0010\n"
            "   2 0077:0038  len=0008\nERROR - the size checksum is bad\n"
            "F8F01000 77000800                    *....w...*\n"
            "\n"
            "Total free space= 0 K-bytes\n"
            "Limit for selector 0077 is 005F\n"
            "0008  00770000  F7FF1001 6F000800                    *....o...*\n"
            "0010  00770010  EFFF3800 77001000                    *..8.w...*\n"
            "0008  00770028  F7FF0000 00000800                    *........*\n"
            "0008  00770038  F8F01000 77000800                    *....w...*\n"
            // The block's length cannot be trusted: it is shown once.
            "\t *** Heap segment 0077: the check word of the block at 00770038 does not match its length; the "
            "listing stops here.\n"
            "\n"
            "\n");
}

TEST(ControllerHeap, DamagedListHeadAndLoopingFreeList) {
  ControllerDump head;
  head.b.put(head.proc, head.heap.head + 6, {0x01});
  std::string out = head.walk(true);
  EXPECT_TRUE(has(out,
                  "\nusedlist=006F0100, *usedlist=006F0110\n"
                  "ERROR - the heap afreebase and aflistptr appear to be wrong.\n"
                  "FFFF0000 77000100 FFFF1000 77000000  *....w.......w...*\n"
                  "Limit for selector 0077 is 005F\n"))
      << out;
  EXPECT_FALSE(has(out, "freebase blocks"));

  ControllerDump loop;
  loop.hb.set_block_next(0x00770038, 0x00770038);
  out = loop.walk(true);
  EXPECT_TRUE(has(out,
                  "   2 0077:0038  len=0008\nERROR - the size checksum is bad\n"
                  "F8F03800 77000800                    *..8.w...*\n"
                  "\n"
                  "\t *** Heap free list: the block at 00770038 comes round again; the walk stops here.\n"
                  "Total free space= 0 K-bytes\n"))
      << out;
}

TEST(HeapTrc, EntriesOnlyWhenThereAreSixteen) {
  for (uint16_t count : {16, 15, 17}) {
    SCOPED_TRACE(count);
    HeapDump d;
    std::vector<uint32_t> addresses = {0x00770010, 0x00770039, 0xFFFFFFFF};
    testkit::HeapTrace t = d.hb.put_heap_trace(d.data, 0x0300, count, addresses, {1, 2, 0x1F});
    auto f = session(d, true);
    testkit::write_text(f->dir.file("appl.sym"), vt::format("%04X HeapTrc_malloc_entries\n%04X HeapTrc_malloc_addresses\n"
                                                            "%04X HeapTrc_malloc_nestlevel\n",
                                                            t.entries, t.addresses, t.nestlevel));
    ASSERT_TRUE(f->s.symfile.open(f->dir.file("appl.sym")));
    morvik::HeapTrc(f->s);
    std::string expect = vt::format("\nHeapTrc addr of entries=006F0300\nNum entries=%d\n", count);
    if (count == 16) {
      expect +=
          "  Entry    0:  Nest=01   Allocate 00770010\n"
          "  Entry    1:  Nest=02       Free          00770038\n"
          "  Entry    2:  Nest=1F   ************** wrap **************\n";
      for (int i = 3; i < 16; ++i) expect += vt::format("  Entry %4d:  Nest=00   Allocate 00000000\n", i);
    }
    EXPECT_EQ(f->out.str(), expect);
  }
}

TEST(HeapTrc, NothingWithoutTheTrace) {
  HeapDump d;
  auto f = session(d, true);
  testkit::write_text(f->dir.file("appl.sym"), "0010 OTHER\n");
  ASSERT_TRUE(f->s.symfile.open(f->dir.file("appl.sym")));
  morvik::HeapTrc(f->s);
  EXPECT_EQ(f->out.str(), "\n\t  Cannot find symbol 'HeapTrc_malloc_entries' in the SYM file.\n");
}

// A list head the dump file does not hold (the file ends before its page)
// gives the read's message and no verdict on the heap.
TEST(ControllerHeap, AListHeadNotInTheDumpGivesNoVerdict) {
  ControllerDump d;
  auto f = session(d, true);
  uint32_t at = std::min(morvik::getphysoffset(f->s, d.heap.usedlist), morvik::getphysoffset(f->s, d.heap.head));
  f->s.dumpfile.close();
  std::filesystem::resize_file(f->dir.file("dump.dat"), at & ~0xFFFu);
  ASSERT_TRUE(f->s.dumpfile.open(f->dir.file("dump.dat")));
  morvik::heapwalk_c(f->s, d.heap.usedlist);
  std::string out = f->out.str();
  EXPECT_TRUE(has(out, "readstuff error1 at ")) << out;
  EXPECT_FALSE(has(out, "appear to be wrong")) << out;
  EXPECT_FALSE(has(out, "Total free space")) << out;
}
