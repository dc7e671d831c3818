#include "testkit/heapbuilder.h"

#include <algorithm>
#include <stdexcept>

#include "common/le.h"

namespace testkit {

namespace {

constexpr uint32_t kSentinel = 22;

uint32_t far(uint16_t selector, uint32_t offset) { return uint32_t{selector} << 16 | offset; }

void put16(Bytes& img, uint32_t at, uint16_t v) { vt::put16(img.data() + at, v); }
void put32(Bytes& img, uint32_t at, uint32_t v) { vt::put32(img.data() + at, v); }

}  // namespace

HeapItem used_item(uint16_t len, Bytes data) {
  HeapItem i;
  i.len = len;
  i.data = std::move(data);
  return i;
}

HeapItem free_item(uint16_t len, int list) {
  HeapItem i;
  i.kind = HeapItem::Kind::Free;
  i.len = len;
  i.list = list;
  return i;
}

HeapItem corrupt_item(uint16_t len, uint16_t trailer) {
  HeapItem i;
  i.kind = HeapItem::Kind::Corrupt;
  i.len = len;
  i.trailer = trailer;
  return i;
}

TerminalHeap HeapBuilder::add_terminal_heap(const TerminalHeapSpec& cfg) {
  TerminalHeap h;
  uint32_t hcb_size = 30 + 4 * static_cast<uint32_t>(cfg.homogeneous_lists) + 16;
  uint16_t hcb_sel = b_.add_segment(proc_, hcb_size, false);
  h.hcb = far(hcb_sel, 0);

  // Segments and items first: the links need every item's data address.
  std::vector<Bytes> images;
  std::vector<uint16_t> selectors;
  std::vector<std::vector<uint32_t>> lists(static_cast<size_t>(std::max(cfg.homogeneous_lists, 0)));
  std::vector<uint32_t> big;
  uint32_t total_free = 0;
  uint16_t free_items = 0;
  for (const HeapSegment& seg : cfg.segments) {
    uint16_t sel = b_.add_segment(proc_, seg.size, false);
    selectors.push_back(sel);
    h.segments.push_back(far(sel, 0));
    h.items.emplace_back();
    Bytes img(seg.size, 0);
    uint32_t o = kSentinel;
    auto place = [&](const HeapItem& it) {
      if (o + it.len + 4 > seg.size) throw std::runtime_error("heap items overflow their segment");
      put16(img, o, it.len);
      uint32_t data = far(sel, o + 2);
      h.items.back().push_back(data);
      uint32_t t = it.kind == HeapItem::Kind::Used   ? 0x10001u - it.len
                   : it.kind == HeapItem::Kind::Free ? 0x10000u - it.len
                                                     : it.trailer;
      put16(img, o + 2 + it.len, static_cast<uint16_t>(t));
      if (it.kind == HeapItem::Kind::Used)
        for (size_t i = 0; i < it.data.size() && i < it.len; ++i) img[o + 2 + i] = it.data[i];
      if (it.kind == HeapItem::Kind::Free) {
        total_free += it.len;
        ++free_items;
        if (it.list < 0)
          big.push_back(data);
        else
          lists.at(static_cast<size_t>(it.list)).push_back(data);
      }
      o += it.len + 4u;
    };
    for (const HeapItem& it : seg.items) place(it);
    if (seg.fill && seg.size - o >= 12) place(used_item(static_cast<uint16_t>(seg.size - o - 4)));
    images.push_back(std::move(img));
  }

  auto image_of = [&](uint32_t addr) -> Bytes& {
    for (size_t s = 0; s < selectors.size(); ++s)
      if (selectors[s] == addr >> 16) return images[s];
    throw std::runtime_error("no such heap segment");
  };
  // The big free list: each item's next and prev pointers.
  for (size_t i = 0; i < big.size(); ++i) {
    put32(image_of(big[i]), big[i] & 0xFFFF, i + 1 < big.size() ? big[i + 1] : 0);
    put32(image_of(big[i]), (big[i] & 0xFFFF) + 4, i > 0 ? big[i - 1] : 0);
  }
  h.free_list = big;
  // The homogeneous lists: the first 4 bytes of each item name the next.
  for (const auto& list : lists) {
    h.roots.push_back(list.empty() ? 0 : list.front());
    for (size_t i = 0; i < list.size(); ++i)
      put32(image_of(list[i]), list[i] & 0xFFFF, i + 1 < list.size() ? list[i + 1] : 0);
  }

  // The segment headers.
  for (size_t s = 0; s < images.size(); ++s) {
    Bytes& img = images[s];
    uint32_t size = static_cast<uint32_t>(img.size());
    put16(img, 0, 0);                                                  // len0a
    put16(img, 2, 1);                                                  // neg_len0a_plus_U
    put16(img, 4, static_cast<uint16_t>(size));                        // len
    put16(img, 6, static_cast<uint16_t>(size / cfg.granularity));      // seg_len
    img[8] = static_cast<unsigned char>(cfg.granularity);
    img[9] = 0;                                                        // seg_gas
    put32(img, 10, s + 1 < images.size() ? h.segments[s + 1] : 0);     // next_seg
    put16(img, 16, static_cast<uint16_t>(0x10001u - (size & 0xFFFF)));  // neg_len_plus_U
    put16(img, 18, 0);                                                 // len0b
    put16(img, 20, 1);                                                 // neg_len0b_plus_U
    b_.put(proc_, h.segments[s], img);
  }

  Bytes hcb(hcb_size, 0);
  put16(hcb, 0, cfg.granularity);
  put16(hcb, 2, static_cast<uint16_t>(cfg.homogeneous_lists));
  put16(hcb, 4, cfg.max_homogeneous);
  put32(hcb, 6, total_free / std::max<uint16_t>(cfg.granularity, 1));
  put16(hcb, 10, free_items);
  put16(hcb, 12, static_cast<uint16_t>(cfg.segments.size()));
  put16(hcb, 14, static_cast<uint16_t>(cfg.coalesce_strategy));
  put16(hcb, 20, cfg.os_malloc_limit);
  put32(hcb, 22, h.segments.empty() ? 0 : h.segments.front());
  put32(hcb, 26, h.free_list.empty() ? 0 : h.free_list.back());
  for (size_t i = 0; i < h.roots.size(); ++i) put32(hcb, 30 + 4 * static_cast<uint32_t>(i), h.roots[i]);
  b_.put(proc_, h.hcb, hcb);
  return h;
}

void HeapBuilder::put_new_heap(uint16_t data, uint16_t at, uint32_t hcb) {
  Bytes m = {'N', 'e', 'w', 'H', 'e', 'a', 'p', 0, 0, 0, 0};
  vt::put32(m.data() + 7, hcb);
  b_.put(proc_, far(data, at), m);
}

ControllerHeap HeapBuilder::add_controller_heap(uint16_t data, uint16_t usedlist_at, uint16_t head_at,
                                                const std::vector<ControllerSegment>& segments) {
  ControllerHeap h;
  h.usedlist = far(data, usedlist_at);
  h.head = far(data, head_at);
  struct Placed {
    size_t seg;
    uint32_t at;
  };
  std::vector<Bytes> images;
  std::vector<Placed> base, free;
  for (const ControllerSegment& seg : segments) {
    uint16_t sel = b_.add_segment(proc_, seg.size, false);
    h.segments.push_back(far(sel, 0));
    h.blocks.emplace_back();
    Bytes img(seg.size, 0);
    uint32_t o = 0;
    auto place = [&](const HeapBlock& k) {
      if (o + 8 + k.len > seg.size) throw std::runtime_error("heap blocks overflow their segment");
      uint16_t check = static_cast<uint16_t>(0xFFFF - k.len);
      put16(img, o, k.bad_check ? static_cast<uint16_t>(check ^ 0x0F0F) : check);
      put16(img, o + 6, k.len);
      h.blocks.back().push_back(far(sel, o));
      if (k.kind == HeapBlock::Kind::Base) base.push_back({images.size(), o});
      if (k.kind == HeapBlock::Kind::Free) free.push_back({images.size(), o});
      o += 8u + k.len;
    };
    for (const HeapBlock& k : seg.blocks) place(k);
    if (seg.fill && seg.size - o >= 8) {
      HeapBlock filler;
      filler.len = static_cast<uint16_t>(seg.size - o - 8);
      place(filler);
    }
    images.push_back(std::move(img));
  }
  auto addr = [&](const Placed& p) { return h.segments[p.seg] | p.at; };
  // The free-base ring comes back to the head; the free list to its first block.
  for (size_t i = 0; i < base.size(); ++i) {
    put32(images[base[i].seg], base[i].at + 2, i + 1 < base.size() ? addr(base[i + 1]) : h.head);
    h.freebase.push_back(addr(base[i]));
  }
  for (size_t i = 0; i < free.size(); ++i) {
    put32(images[free[i].seg], free[i].at + 2, addr(free[(i + 1) % free.size()]));
    h.flist.push_back(addr(free[i]));
  }
  for (size_t s = 0; s < images.size(); ++s) b_.put(proc_, h.segments[s], images[s]);

  Bytes head(16, 0);
  head[0] = head[1] = head[8] = head[9] = 0xFF;
  vt::put32(head.data() + 2, h.freebase.empty() ? h.head : h.freebase.front());
  vt::put32(head.data() + 10, h.flist.empty() ? 0 : h.flist.front());
  b_.put(proc_, h.head, head);
  b_.put(proc_, h.usedlist, le32_bytes(h.head));
  return h;
}

HeapTrace HeapBuilder::put_heap_trace(uint16_t data, uint16_t at, uint16_t count,
                                      const std::vector<uint32_t>& addresses, const std::vector<uint8_t>& nest) {
  HeapTrace t{at, static_cast<uint16_t>(at + 2), static_cast<uint16_t>(at + 2 + 64)};
  Bytes img(2 + 64 + 16, 0);
  vt::put16(img.data(), count);
  for (size_t i = 0; i < addresses.size() && i < 16; ++i) vt::put32(img.data() + 2 + 4 * i, addresses[i]);
  for (size_t i = 0; i < nest.size() && i < 16; ++i) img[66 + i] = nest[i];
  b_.put(proc_, far(data, at), img);
  return t;
}

void HeapBuilder::set_free_links(uint32_t item, uint32_t next, uint32_t prev) {
  Bytes l(8);
  vt::put32(l.data(), next);
  vt::put32(l.data() + 4, prev);
  b_.put(proc_, item, l);
}

void HeapBuilder::set_next_seg(uint32_t segment, uint32_t next) { b_.put(proc_, segment + 10, le32_bytes(next)); }

void HeapBuilder::set_block_next(uint32_t block, uint32_t next) { b_.put(proc_, block + 2, le32_bytes(next)); }

}  // namespace testkit
