#include "morvik/state/app_symbols.h"

#include <algorithm>
#include <utility>

namespace morvik {

void AppSymbols::index_data() {
  std::vector<std::pair<int32_t, uint32_t>> order(DataList.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = {DataList[i].offset, i};
  std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  data_by_offset_.clear();
  data_by_offset_.reserve(order.size());
  for (const auto& o : order) data_by_offset_.push_back(o.second);
}

const dataNode* AppSymbols::data_at(uint16_t offset) const {
  auto it = std::lower_bound(data_by_offset_.begin(), data_by_offset_.end(), offset,
                             [&](uint32_t i, int32_t v) { return DataList[i].offset < v; });
  if (it == data_by_offset_.end() || DataList[*it].offset != offset) return nullptr;
  return &DataList[*it];
}

uint32_t AppSymbols::data_address(uint32_t offset) const {
  const dataseg* prev = nullptr;
  const dataseg* found = nullptr;
  for (const dataseg& d : dlisthead) {
    if (!d.placed) continue;
    if (d.offset_in_appl >= offset) {
      found = &d;
      break;
    }
    prev = &d;
  }
  if (found && offset == found->offset_in_appl) return uint32_t{found->selector} << 16;
  if (!prev) return 0;
  return (uint32_t{prev->selector} << 16) | ((offset - prev->offset_in_appl) & 0xFFFF);
}

const codeseg* AppSymbols::code_segment(uint16_t selector) const {
  for (const codeseg& c : clisthead)
    if (c.selector == selector) return &c;
  return nullptr;
}

uint32_t AppSymbols::offset_in_appl(uint32_t addr) const {
  const codeseg* c = code_segment(static_cast<uint16_t>(addr >> 16));
  return c ? (addr & 0xFFFF) + c->offset_in_appl : 0;
}

uint32_t AppSymbols::code_address(uint32_t offset) const {
  if (clisthead.empty()) return 0;
  const codeseg* best = &clisthead.front();
  for (size_t i = 1; i < clisthead.size(); ++i) {
    const codeseg& c = clisthead[i];
    if (c.offset_in_appl == offset) {
      best = &c;
      break;
    }
    if (c.offset_in_appl < offset && offset - c.offset_in_appl < offset - best->offset_in_appl) best = &c;
  }
  uint32_t d = offset - best->offset_in_appl;
  if (d > 0xFFFF) return 0;
  return (uint32_t{best->selector} << 16) + d;
}

size_t AppSymbols::labels_up_to(uint64_t limit) const {
  auto it = std::upper_bound(CodeHead.begin(), CodeHead.end(), limit,
                             [](uint64_t v, const symNode& n) { return v < n.offset; });
  return static_cast<size_t>(it - CodeHead.begin());
}

const symNode* AppSymbols::vector_label(uint32_t offset) const {
  auto it = std::lower_bound(VectHead.begin(), VectHead.end(), offset,
                             [](const symNode& n, uint32_t v) { return n.offset < v; });
  return it != VectHead.end() && it->offset == offset ? &*it : nullptr;
}

const listitem* AppSymbols::cdv_item(std::string_view name) const {
  auto lo = std::lower_bound(alphaHead.begin(), alphaHead.end(), name,
                             [&](uint32_t i, std::string_view v) { return std::string_view(listhead[i].name) < v; });
  auto hi = std::upper_bound(lo, alphaHead.end(), name,
                             [&](std::string_view v, uint32_t i) { return v < std::string_view(listhead[i].name); });
  if (lo == hi) return nullptr;
  return &listhead[*std::min_element(lo, hi)];  // the first in address order
}

size_t AppSymbols::cdv_from(int32_t addr) const {
  auto it = std::lower_bound(listhead.begin(), listhead.end(), addr,
                             [](const listitem& i, int32_t v) { return i.addr < v; });
  return static_cast<size_t>(it - listhead.begin());
}

const cdvmodule* AppSymbols::module(int file) const {
  if (file <= 0 || static_cast<size_t>(file) >= filelist.size()) return nullptr;
  return &filelist[static_cast<size_t>(file)];
}

int AppSymbols::cdv_line(const listitem& item, uint32_t addr) const {
  const cdvmodule* m = module(item.file);
  if (!m) return 0;
  uint16_t at = static_cast<uint16_t>(addr & 0xFFFF);
  const cdvline* prev = nullptr;
  for (const cdvline& e : m->LineOffset) {
    if (e.line == 0 && e.offset == 0) break;  // the table's end
    if (e.offset >= at) {
      if (e.offset == at) return e.line;
      break;
    }
    prev = &e;
  }
  return prev ? prev->line : 0;
}

}  // namespace morvik
