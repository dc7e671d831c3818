// Kernel symbol lookup in the BSX file.
#include <cstring>
#include <vector>

#include "morvik/addrspace/dumpfunc.h"

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

}  // namespace morvik
