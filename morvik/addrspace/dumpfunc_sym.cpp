// Kernel symbol lookup in the BSX file, application symbols by name, and
// the hexadecimal conversion of SYM file offsets.
#include <cstring>
#include <vector>

#include "morvik/addrspace/dumpfunc.h"
#include "morvik/driver/morvik.h"

namespace morvik {

uint32_t sym_dump_offset(const Session& s, const sym_s& sym) {
  return sym.segment + sym.offset + s.space.kernal_offset;
}

void scan_kernel_symbols(Session& s, const std::function<bool(const sym_s&)>& visit) {
  // Records are read a block at a time; a short last record ends the scan.
  constexpr size_t kBlockRecords = 2048;
  std::vector<unsigned char> block(kBlockRecords * sym_s::kSize);
  uint64_t at = kBsxHeaderSize;
  for (;;) {
    size_t got = s.bsxfile.pread(at, block.data(), block.size());
    size_t records = got / sym_s::kSize;
    for (size_t i = 0; i < records; ++i)
      if (!visit(decode_sym_s(block.data() + i * sym_s::kSize))) return;
    if (got < block.size()) return;
    at += got;
  }
}

std::optional<sym_s> find_kernel_symbol(Session& s, std::string_view name) {
  std::optional<sym_s> found;
  scan_kernel_symbols(s, [&](const sym_s& sym) {
    if (sym.name != name) return true;
    found = sym;
    return false;
  });
  return found;
}

std::optional<uint32_t> kernel_symbol_offset(Session& s, std::string_view name) {
  auto sym = find_kernel_symbol(s, name);
  if (!sym) return std::nullopt;
  return sym_dump_offset(s, *sym);
}

bool read_kernel_datum(Session& s, const sym_s& sym, void* buf, size_t len) {
  s.dumpfile.seek(sym_dump_offset(s, sym));
  return s.dumpfile.read(buf, len) == len;
}

void check_bsx(Session& s, const std::string& bsxpath) {
  bool paging_kernel = find_kernel_symbol(s, "pagearea").has_value();
  if (paging_kernel && s.space.termMARRA) {
    vt::print(s.con.err, "\n\tIt's a MARRA dump, but %s is NOT a MARRA BSX file.\n", bsxpath.c_str());
    std::string next = bsxpath;
    size_t dot = next.rfind('.');
    if (dot != std::string::npos && dot >= 3) {
      next[dot - 3] = '1';
      next[dot - 2] = 's';
    }
    vt::print(s.con.err, "\n\tNext time try %s\n", next.c_str());
    end_run(s, -1);
  }
  if (!paging_kernel && s.space.page && !s.space.ELVELA) {
    s.con.err << "\n\tThis appears to be a MARRA BSX file, but it's NOT a MARRA dump.\n";
    end_run(s, 0);
  }
}

uint32_t get_symbol_address(Session& s, const char* symname) {
  if (s.symfile.is_open()) {
    s.symfile.seek(0);
    std::string hex, name;
    // Tokens two at a time: a hexadecimal offset and a name, whatever the
    // section; longer tokens are cut to the system's buffers.
    while (s.symfile.read_word(hex, 7) && s.symfile.read_word(name, 159)) {
      if (name == symname) return (static_cast<uint32_t>(s.DS_selector) << 16) + Hex_to_Decimal(hex.c_str());
    }
    s.outfile.print("\n\t  Cannot find symbol '%s' in the SYM file.\n", symname);
    return 0;
  }
  if (s.cdvfile.is_open()) return cdv_symbol_address(s, symname);
  return 0;
}

uint32_t Hex_to_Decimal(const char* cptr) {
  uint32_t value = 0;
  for (; *cptr; ++cptr) {
    unsigned c = static_cast<unsigned char>(*cptr);
    value = value * 16 + (c >= 'A' ? c - 55 : c & 0xF);
  }
  return value;
}

}  // namespace morvik
