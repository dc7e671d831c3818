// Printing a BASIC array out of the dump: its shape, then one line per
// element.
#include <algorithm>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/report/doarray.h"
#include "morvik/report/morvik_string.h"

namespace morvik {

namespace {

// The array block's header, the 16 bytes from P - 2.
struct arrHdr {
  static constexpr size_t kSize = 16;
  uint16_t size = 0;  // bytes of dimension table and elements from P + 8
  uint32_t arrayOrString = 0;
  uint8_t type = 0;
  uint8_t dimensions = 0;
  uint16_t elemSize = 0;
  int16_t low = 0, hi = 0, stride = 0;  // the first dimension
};

arrHdr decode_arrHdr(const unsigned char* p) {
  arrHdr h;
  h.size = vt::le16(p + 0);
  h.arrayOrString = vt::le32(p + 2);
  h.type = p[6];
  h.dimensions = p[7];
  h.elemSize = vt::le16(p + 8);
  h.low = static_cast<int16_t>(vt::le16(p + 10));
  h.hi = static_cast<int16_t>(vt::le16(p + 12));
  h.stride = static_cast<int16_t>(vt::le16(p + 14));
  return h;
}

// The bytes read from P + 8. What lies beyond them (a block larger than the
// memory present, element offsets outside the block) reads as zero, so such
// elements show as empty.
class ArrayData {
 public:
  explicit ArrayData(size_t size) : bytes_(size, 0) {}
  std::span<unsigned char> span() { return bytes_; }
  unsigned char byte(int64_t pos) const {
    return pos >= 0 && pos < static_cast<int64_t>(bytes_.size()) ? bytes_[static_cast<size_t>(pos)] : 0;
  }
  void get(int64_t pos, unsigned char* out, size_t n) const {
    for (size_t i = 0; i < n; ++i) out[i] = byte(pos + static_cast<int64_t>(i));
  }
  // `hi` and `stride` of dimension d (from 2; the first is in the header).
  int16_t hi(int d) const { return word((d - 1) * 6 + 2); }
  int16_t stride(int d) const { return word((d - 1) * 6 + 4); }

 private:
  int16_t word(int64_t pos) const { return static_cast<int16_t>(byte(pos) | byte(pos + 1) << 8); }
  std::vector<unsigned char> bytes_;
};

// The end of a header line: the array's source file with a CDV file, else
// just the line end. An index outside the table names nothing.
void source_file_end(Session& s, int16_t file) {
  const cdvmodule* m = s.symbols.module(file);
  if (s.cdvfile.is_open() && m)
    s.outfile.print("%s\n", m->name.c_str());
  else
    s.outfile.write("\n");
}

struct TypeLayout {
  const char* header;  // after "%d dimensional " with the number of dimensions
  int width;           // padding width before the value
  int further;         // padding taken by each further index
};

const TypeLayout* layout_of(uint8_t code) {
  static constexpr TypeLayout kInt1Layout{"INT1 array  ", 38, 1};
  static constexpr TypeLayout kInt2Layout{"INT2 array  ", 30, 1};
  static constexpr TypeLayout kInt4Layout{"INT4 array  ", 31, 2};
  static constexpr TypeLayout kRealLayout{"REAL array    ", 22, 2};
  static constexpr TypeLayout kStringLayout{"STRING array   ", 25, 2};
  switch (code) {
    case kInt1:
      return &kInt1Layout;
    case kInt2:
      return &kInt2Layout;
    case kInt4:
      return &kInt4Layout;
    case kReal:
      return &kRealLayout;
    case kString:
      return &kStringLayout;
    default:
      return nullptr;
  }
}

size_t element_width(uint8_t code) {
  switch (code) {
    case kInt1:
      return 1;
    case kInt2:
      return 2;
    case kReal:
      return 10;
    default:
      return 4;  // INT4 and the STRING pointer
  }
}

// An index that passes its `hi` goes back to 0 and carries into the next.
bool step(int& index, int hi) {
  if (++index > hi) {
    index = 0;
    return true;
  }
  return false;
}

}  // namespace

int16_t doArray(Session& s, uint32_t addr, std::string_view name, int16_t flag, int16_t file) {
  vt::ReportSink& o = s.outfile;
  unsigned char first[4] = {};
  if (!readstuff(s, first, addr, 1, 4, 'a')) return -1;
  if (isSelector(s, static_cast<uint16_t>(vt::le32(first) >> 16)) != kLdtData) return -1;
  uint32_t offset = addr & 0xFFFF;
  if (offset < 2) return -1;
  // The dimension table at P + 8 must lie in the same segment.
  if (offset > 0xFFFF - 8) return -1;
  unsigned char hdr[arrHdr::kSize] = {};
  if (!readstuff(s, hdr, addr - 2, 1, arrHdr::kSize, 'a')) return -1;
  arrHdr h = decode_arrHdr(hdr);
  int dims = h.dimensions;

  if (h.hi == 0) {
    if (s.symfile.is_open()) o.write("Probable ");
    o.print("%d dimensional %s array, empty  ", dims, type(h.type));
    source_file_end(s, file);
    return 0;
  }
  if (h.size == 0) return -1;
  ArrayData data(h.size);
  if (!readstuff(s, data.span(), addr + 8, 1, static_cast<int16_t>(h.size), 'a')) return -1;

  int hi1 = h.hi, hi2 = 0, hi3 = 0;
  int stride1 = h.stride, stride2 = 0, stride3 = 0;
  if (dims > 1) {
    hi2 = data.hi(2);
    stride2 = data.stride(2);
  }
  if (dims > 2) {
    hi3 = data.hi(3);
    stride3 = data.stride(3);
  }
  // Counted in full: a count taken to 16 bits would let a large array
  // (256 x 256) pass for a tiny one.
  int64_t limit = int64_t{hi1 + 1} * (hi2 + 1) * (hi3 + 1);
  if (limit > s.userArrayLimit) limit = s.userArrayLimit + dims;

  const TypeLayout* lay = layout_of(h.type);
  if (!lay) return -1;
  std::string head = vt::format("[%2d", hi1);
  for (int d = 2; d <= dims; ++d) head += vt::format(",%d", data.hi(d));
  head += "] ";
  if (s.symfile.is_open()) head += "Probable ";
  head += vt::format("%d dimensional ", dims);
  head += lay->header;
  o.write(head);
  source_file_end(s, file);
  if (dims > 3) return 0;
  if (h.type == kInt2 && dims == 0) return 0;

  const int64_t elements = 6 * dims;  // element data follow the dimension table
  const size_t width = element_width(h.type);
  int i = 0, j = 0, k = 0;
  int64_t counter = 0;
  bool visited_all = false;
  for (;;) {
    int64_t eoff = int64_t{i} * stride1 + int64_t{j} * stride2 + int64_t{k} * stride3;
    unsigned char e[10] = {};
    data.get(elements + eoff, e, width);
    uint32_t ptr = vt::le32(e);
    bool valid_ptr = isSelector(s, static_cast<uint16_t>(ptr >> 16)) == kLdtData;
    bool empty = false;
    switch (h.type) {
      case kInt1:
        empty = e[0] == 0;
        break;
      case kInt2:
        empty = flag != 0 && vt::le16(e) == 0;
        break;
      case kInt4:
        empty = ptr == 0;
        break;
      case kReal:
        empty = e[0] == 0;
        break;
      default:
        empty = !valid_ptr;
        break;
    }
    if (!empty || counter == 0 || counter == limit - 1) {
      std::string line;
      if (s.debugmode) {
        uint32_t at = h.type == kString ? ptr : addr + 8 + static_cast<uint32_t>(elements + eoff);
        line += vt::format("%04lX:%04lX ", static_cast<unsigned long>(at >> 16), static_cast<unsigned long>(at & 0xFFFF));
      }
      line += name;
      line += vt::format("[%d", i);
      int pad = lay->width - static_cast<int>(name.size());
      if (i > 9) --pad;
      if (hi2 != 0) {
        line += vt::format(",%d", j);
        pad -= lay->further + (j > 9 ? 1 : 0);
      }
      if (hi3 != 0) {
        line += vt::format(",%d", k);
        pad -= lay->further + (k > 9 ? 1 : 0);
      }
      line += "]";
      line.append(static_cast<size_t>(std::max(pad, 0)), ' ');
      switch (h.type) {
        case kInt1:
          if (e[0] > 127)
            line += vt::format("-%03d\t    %02XH\n", 256 - e[0], e[0]);
          else
            line += vt::format("%3d\t    %02XH\n", e[0], e[0]);
          o.write(line);
          break;
        case kInt2: {
          uint16_t w = vt::le16(e);
          line += vt::format("\t%4ld\t     %04XH", static_cast<long>(static_cast<int16_t>(w)), w);
          if (flag == 0) line += vt::format("  %c%c", e[0], e[1]);
          line += "\n";
          o.write(line);
          break;
        }
        case kInt4:
          line += vt::format("%10ld  %08lXH\n", static_cast<long>(static_cast<int32_t>(ptr)),
                             static_cast<unsigned long>(ptr));
          o.write(line);
          break;
        case kReal:
          line += "\t";
          o.write(line);
          showreal(s, e);
          break;
        default:
          if (!valid_ptr) {
            o.write(line + "STR    0: \"\"\n");
          } else {
            o.write(line);
            doString(s, ptr);
            if (s.cdvfile.is_open()) o.write("\n");
          }
          break;
      }
    }
    // The last existing index runs fastest.
    if (hi3 != 0) {
      if (step(k, hi3) && step(j, hi2)) step(i, hi1);
    } else if (hi2 != 0) {
      if (step(j, hi2)) step(i, hi1);
    } else {
      step(i, hi1);
    }
    if (i == 0 && j == 0 && k == 0) {
      visited_all = true;
      break;
    }
    if (++counter >= limit) break;
  }
  // Only when the limit stopped the walk: an array that fits the limit
  // exactly has had every element visited.
  if (!visited_all) o.write("\t(additional elements were not printed)\n");
  return 0;
}

}  // namespace morvik
