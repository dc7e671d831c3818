// Kernel symbol lookup in the BSX file.
#include <cstring>
#include <string>
#include <vector>

#include "morvik/addrspace/dumpfunc.h"

namespace morvik {

uint32_t sym_dump_offset(const Session& s, const sym_s& sym) {
  return sym.segment + sym.offset + s.space.kernal_offset;
}

namespace {

// Files larger than this are not real BSX files (the largest kernels' are
// about 22 MB): they are scanned as they stand rather than held in memory.
constexpr uint64_t kMostIndexed = 32u << 20;
constexpr size_t kBlockRecords = 32768;

// A name's first 8 bytes as one number: names are compared by it first.
uint64_t name_key(std::string_view name) {
  uint64_t key = 0;
  for (size_t i = 0; i < 8; ++i) key = key << 8 | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0u);
  return key;
}

// Visits the records of the file in order, a block at a time; a short last
// record ends them.
template <typename Visit>
void scan_file(Session& s, Visit&& visit) {
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

// The BSX records, read the first time a lookup needs them (and again when
// another BSX file has been opened since).
KernelSymbols& kernel_symbols(Session& s) {
  KernelSymbols& k = s.space.kernel_symbols;
  if (k.loaded && k.path == s.bsxfile.path() && k.size == s.bsxfile.size()) return k;
  k.path = s.bsxfile.path();
  k.size = s.bsxfile.size();
  k.loaded = true;
  k.indexed = k.size <= kMostIndexed;
  k.records.clear();
  k.records.shrink_to_fit();
  k.first.clear();
  k.keys.clear();
  if (!k.indexed) return k;
  size_t records = k.size > kBsxHeaderSize ? static_cast<size_t>((k.size - kBsxHeaderSize) / sym_s::kSize) : 0;
  k.records.reserve(records);
  k.keys.reserve(records);
  scan_file(s, [&](sym_s&& sym) {
    k.keys.push_back(name_key(sym.name));
    k.records.push_back(std::move(sym));
    return true;
  });
  return k;
}

}  // namespace

void scan_kernel_symbols(Session& s, const std::function<bool(const sym_s&)>& visit) {
  KernelSymbols& k = kernel_symbols(s);
  if (!k.indexed) {
    scan_file(s, [&](const sym_s& sym) { return visit(sym); });
    return;
  }
  for (const sym_s& sym : k.records)
    if (!visit(sym)) return;
}

std::optional<sym_s> find_kernel_symbol(Session& s, std::string_view name) {
  KernelSymbols& k = kernel_symbols(s);
  auto it = k.first.find(name);
  if (it == k.first.end()) {
    std::optional<sym_s> found;
    if (k.indexed) {
      const uint64_t key = name_key(name);
      for (size_t i = 0; i < k.keys.size(); ++i)
        if (k.keys[i] == key && k.records[i].name == name) {
          found = k.records[i];
          break;
        }
    } else {
      scan_file(s, [&](const sym_s& sym) {
        if (sym.name != name) return true;
        found = sym;
        return false;
      });
    }
    it = k.first.emplace(std::string(name), found).first;
  }
  return it->second;
}

std::optional<uint32_t> kernel_symbol_offset(Session& s, std::string_view name) {
  auto sym = find_kernel_symbol(s, name);
  if (!sym) return std::nullopt;
  return sym_dump_offset(s, *sym);
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
