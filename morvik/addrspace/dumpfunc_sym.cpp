// Kernel symbol lookup in the BSX file.
#include <cstring>
#include <string>
#include <vector>

#include "common/le.h"
#include "morvik/addrspace/dumpfunc.h"

namespace morvik {

uint32_t sym_dump_offset(const Session& s, const sym_s& sym) {
  return sym.segment + sym.offset + s.space.kernal_offset;
}

namespace {

// The BSX records, read the first time a lookup needs them (and again when
// another BSX file has been opened since). Records are read a block at a
// time; a short last record ends them, as it ended the scans of the file.
const KernelSymbols& kernel_symbols(Session& s) {
  KernelSymbols& k = s.space.kernel_symbols;
  if (k.loaded && k.path == s.bsxfile.path() && k.size == s.bsxfile.size()) return k;
  k.path = s.bsxfile.path();
  k.size = s.bsxfile.size();
  k.loaded = true;
  k.records.clear();
  k.first.clear();
  if (k.size > kBsxHeaderSize) k.records.reserve(static_cast<size_t>((k.size - kBsxHeaderSize) / sym_s::kSize));
  constexpr size_t kBlockRecords = 32768;
  std::vector<unsigned char> block(kBlockRecords * sym_s::kSize);
  uint64_t at = kBsxHeaderSize;
  for (;;) {
    size_t got = s.bsxfile.pread(at, block.data(), block.size());
    size_t records = got / sym_s::kSize;
    for (size_t i = 0; i < records; ++i) {
      const unsigned char* p = block.data() + i * sym_s::kSize;
      KernelSymbols::Record r;
      r.offset = vt::le16(p + 0);
      r.size = vt::le16(p + 2);
      r.segment = vt::le32(p + 4);
      r.section = p[8];
      while (r.name_len < 13 && p[9 + r.name_len] != 0) ++r.name_len;
      std::memcpy(r.name, p + 9, r.name_len);
      k.records.push_back(r);
    }
    if (got < block.size()) break;
    at += got;
  }
  return k;
}

void fill(sym_s& sym, const KernelSymbols::Record& r) {
  sym.offset = r.offset;
  sym.size = r.size;
  sym.segment = r.segment;
  sym.section = r.section;
  sym.name.assign(r.name, r.name_len);
}

}  // namespace

void scan_kernel_symbols(Session& s, const std::function<bool(const sym_s&)>& visit) {
  sym_s sym;
  for (const KernelSymbols::Record& r : kernel_symbols(s).records) {
    fill(sym, r);
    if (!visit(sym)) return;
  }
}

std::optional<sym_s> find_kernel_symbol(Session& s, std::string_view name) {
  kernel_symbols(s);
  KernelSymbols& k = s.space.kernel_symbols;
  auto it = k.first.find(name);
  if (it == k.first.end()) {
    size_t at = std::string::npos;
    for (size_t i = 0; i < k.records.size(); ++i)
      if (k.records[i].name_view() == name) {
        at = i;
        break;
      }
    it = k.first.emplace(std::string(name), at).first;
  }
  if (it->second == std::string::npos) return std::nullopt;
  sym_s sym;
  fill(sym, k.records[it->second]);
  return sym;
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
