// The CDV file: header and directory, the module table, the publics, the
// symbols (procedures, statics, locals) and the line numbers; and the
// lookups of the other sections.
#include "morvik/symbols/readcdv.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/ldt.h"

namespace morvik {

namespace {

constexpr uint8_t kModule = 1;
constexpr uint8_t kPublics = 2;
constexpr uint8_t kSymbols = 4;
constexpr uint8_t kLines = 5;

constexpr uint8_t kProcedure = 1;
constexpr uint8_t kLocal = 4;
constexpr uint8_t kStatic = 5;

// A symbols record is held in a 200-byte buffer with a zero after it: with
// its length byte it is at most 199 bytes.
constexpr size_t kRecordBytes = 198;
constexpr size_t kPublicName = 179;

// One 10-byte directory entry.
struct hdr_entry {
  static constexpr size_t kSize = 10;
  uint8_t id = 0;
  uint8_t id2 = 0;
  uint16_t nfile = 0;
  uint32_t offset = 0;
  uint16_t len = 0;
};

hdr_entry decode_hdr_entry(const unsigned char* p) {
  hdr_entry e;
  e.id = p[0];
  e.id2 = p[1];
  e.nfile = vt::le16(p + 2);
  e.offset = vt::le32(p + 4);
  e.len = vt::le16(p + 8);
  return e;
}

// The fixed part of a module subsection (the name follows it).
struct filedef {
  static constexpr size_t kSize = 13;
  uint16_t seg = 0;
  uint16_t offset = 0;
  uint32_t length = 0;
  uint32_t dunnoWhatThisIs = 0;
  uint8_t namelen = 0;
};

filedef decode_filedef(const unsigned char* p) {
  filedef f;
  f.seg = vt::le16(p + 0);
  f.offset = vt::le16(p + 2);
  f.length = vt::le32(p + 4);
  f.dunnoWhatThisIs = vt::le32(p + 8);
  f.namelen = p[12];
  return f;
}

// A public record's fixed part (the name follows it).
struct pubrec {
  static constexpr size_t kSize = 7;
  uint32_t addr = 0;
  uint16_t type = 0;
  uint8_t namelen = 0;
};

pubrec decode_pubrec(const unsigned char* p) {
  pubrec r;
  r.addr = vt::le32(p + 0);
  r.type = vt::le16(p + 4);
  r.namelen = p[6];
  return r;
}

// One symbols record after its length byte; bytes past what the file held
// read as zero.
struct Record {
  unsigned char b[kRecordBytes] = {};
  size_t len = 0;  // bytes of the record kept

  uint8_t rectype() const { return b[0]; }
  uint16_t u16(size_t at) const { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
  uint32_t u32(size_t at) const { return vt::le32(b + at); }
  // The name whose length byte is at `at`, cut to the record.
  std::string name(size_t at) const {
    size_t start = at + 1;
    if (start >= len) return std::string();
    size_t n = std::min<size_t>(b[at], len - start);
    return text(b + start, n);
  }
  static std::string text(const unsigned char* p, size_t n) {
    std::string t(reinterpret_cast<const char*>(p), n);
    t.resize(std::strlen(t.c_str()));  // a name ends at a NUL
    return t;
  }
};

// The items as they are read, in file order, before they are sorted.
struct ItemList {
  std::vector<listitem> items;
  std::unordered_map<int32_t, uint32_t> latest_at;  // address -> newest item there

  // Inserts by address as the system's list did: before the items of the
  // same address, unless the newest of them has the same name (neither of
  // the two a local), which then stands for both.
  void add(listitem item) {
    auto it = latest_at.find(item.addr);
    if (it != latest_at.end()) {
      listitem& old = items[it->second];
      if (!old.stack && !item.stack && old.name == item.name) {
        if (old.type != 0x201) old.file = 0;
        return;
      }
    }
    latest_at[item.addr] = static_cast<uint32_t>(items.size());
    items.push_back(std::move(item));
  }
};

// Reads of the CDV file through a block: its records are small and many,
// and mostly follow each other.
class CdvBytes {
 public:
  explicit CdvBytes(const vt::BinaryFile& f) : f_(f) {}
  size_t read(uint64_t at, void* out, size_t n) {
    if (at < start_ || at + n > start_ + block_.size()) {
      block_.resize(std::max<size_t>(n, kBlock));
      block_.resize(f_.pread(at, block_.data(), block_.size()));
      start_ = at;
    }
    size_t got = std::min<size_t>(n, static_cast<size_t>(start_ + block_.size() - at));
    std::memcpy(out, block_.data() + (at - start_), got);
    return got;
  }

 private:
  static constexpr size_t kBlock = 64 * 1024;
  const vt::BinaryFile& f_;
  uint64_t start_ = 0;
  std::vector<unsigned char> block_;
};

struct CdvReader {
  Session& s;
  CdvBytes f;
  AppSymbols& sym;
  ItemList list;

  size_t read(uint64_t at, void* buf, size_t n) { return n == 0 ? 0 : f.read(at, buf, n); }

  // The module table's entry of a subsection, or null when its index lies
  // outside the table; and the index an item keeps (0 for none).
  const cdvmodule* entry(uint16_t nfile) const { return nfile < sym.filelist.size() ? &sym.filelist[nfile] : nullptr; }
  uint16_t file_index(uint16_t nfile) const { return entry(nfile) ? nfile : 0; }

  void module(const hdr_entry& e) {
    unsigned char b[filedef::kSize] = {};
    read(e.offset, b, sizeof b);
    filedef d = decode_filedef(b);
    unsigned char name[256] = {};
    size_t got = read(uint64_t{e.offset} + filedef::kSize, name, d.namelen);
    cdvmodule& m = sym.filelist[e.nfile];
    m.addr = uint32_t{d.seg} << 16 | d.offset;
    m.length = d.length;
    m.name = Record::text(name, got);
  }

  void procedure(const Record& r, uint16_t nfile) {
    listitem item;
    item.file = file_index(nfile);
    uint16_t segoff = r.u16(1);
    item.type = r.u16(3);
    item.length = r.u16(5);
    item.name = r.name(14);
    const cdvmodule* m = entry(nfile);
    item.addr = static_cast<int32_t>((m ? m->addr & 0xFFFF0000u : 0u) | segoff);
    if (sym.callable_addresses.size() < AppSymbols::max_callable_addresses) {
      sym.callable_addresses.push_back(static_cast<uint32_t>(item.addr));
      sym.callable_lengths.push_back(item.length);
    }
    list.add(std::move(item));
  }

  void symbols(const hdr_entry& e) {
    uint16_t file = file_index(e.nfile);
    int32_t left = e.len;
    uint64_t at = e.offset;
    while (left > 8) {
      unsigned char reclen = 0;
      if (read(at, &reclen, 1) != 1) break;
      Record r;
      r.len = read(at + 1, r.b, std::min<size_t>(reclen, kRecordBytes));
      at += 1 + uint64_t{reclen};
      left -= 1 + reclen;
      if (r.len == 0) continue;
      switch (r.rectype()) {
        case kProcedure: procedure(r, e.nfile); break;
        case kLocal: {
          listitem item;
          item.file = file;
          item.addr = static_cast<int16_t>(r.u16(1));
          item.type = r.u16(3);
          item.stack = 1;
          item.name = r.name(5);
          if (item.name.compare(0, 1, "@") != 0) list.add(std::move(item));
          break;
        }
        case kStatic: {
          listitem item;
          item.file = file;
          item.addr = static_cast<int32_t>(r.u32(1));
          item.type = r.u16(5);
          item.name = r.name(7);
          if (item.name.compare(0, 1, "@") != 0) list.add(std::move(item));
          break;
        }
        default: break;
      }
    }
  }

  void publics(const hdr_entry& e) {
    uint16_t file = file_index(e.nfile);
    const cdvmodule* m = entry(e.nfile);
    int32_t left = e.len;
    uint64_t at = e.offset;
    while (left > 0) {
      unsigned char b[pubrec::kSize];
      if (read(at, b, sizeof b) != sizeof b) break;
      pubrec p = decode_pubrec(b);
      unsigned char name[kPublicName] = {};
      size_t got = read(at + pubrec::kSize, name, std::min<size_t>(p.namelen, kPublicName));
      at += pubrec::kSize + uint64_t{p.namelen};
      left -= static_cast<int32_t>(pubrec::kSize) + p.namelen;
      listitem item;
      item.addr = static_cast<int32_t>(p.addr);
      item.type = p.type;
      item.name = Record::text(name, got);
      // Kind 0 (data) keeps no module; kind 1 (a procedure's public) does,
      // unless it only names the module itself.
      if (p.type == 1) {
        if (m && item.name == m->name) continue;
        item.file = file;
      }
      list.add(std::move(item));
    }
  }

  void lines(const hdr_entry& e) {
    if (!entry(e.nfile)) return;
    unsigned char namelen = 0;
    if (read(e.offset, &namelen, 1) != 1) return;
    uint64_t at = uint64_t{e.offset} + 1 + namelen;
    unsigned char c[2];
    if (read(at, c, 2) != 2) return;
    size_t count = vt::le16(c);
    std::vector<unsigned char> b(count * 4);
    size_t got = read(at + 2, b.data(), b.size()) / 4;
    std::vector<cdvline>& table = sym.filelist[e.nfile].LineOffset;
    table.clear();
    for (size_t i = 0; i < got; ++i) table.push_back(cdvline{vt::le16(&b[i * 4]), vt::le16(&b[i * 4 + 2])});
  }

  // The lists in their orders: by address, the newest of equal addresses
  // first; by name (byte order), the newest of equal names first. Names
  // are compared by their first 8 bytes as one number first.
  void finish() {
    std::vector<listitem>& items = list.items;
    struct ByAddress {
      int32_t addr;
      uint32_t index;
    };
    std::vector<ByAddress> order(items.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = {items[i].addr, i};
    std::sort(order.begin(), order.end(), [](const ByAddress& a, const ByAddress& b) {
      return a.addr != b.addr ? a.addr < b.addr : a.index > b.index;
    });
    std::vector<uint32_t> position(items.size());
    sym.listhead.clear();
    sym.listhead.reserve(items.size());
    for (const ByAddress& o : order) {
      position[o.index] = static_cast<uint32_t>(sym.listhead.size());
      sym.listhead.push_back(std::move(items[o.index]));
    }
    struct ByName {
      uint64_t prefix;
      uint32_t index;
    };
    std::vector<ByName> names(position.size());
    for (uint32_t i = 0; i < names.size(); ++i) {
      const std::string& n = sym.listhead[position[i]].name;
      uint64_t p = 0;
      for (size_t k = 0; k < 8; ++k) p = p << 8 | (k < n.size() ? static_cast<unsigned char>(n[k]) : 0u);
      names[i] = {p, i};
    }
    std::sort(names.begin(), names.end(), [&](const ByName& a, const ByName& b) {
      if (a.prefix != b.prefix) return a.prefix < b.prefix;
      int c = sym.listhead[position[a.index]].name.compare(sym.listhead[position[b.index]].name);
      return c != 0 ? c < 0 : a.index > b.index;
    });
    sym.alphaHead.clear();
    sym.alphaHead.reserve(names.size());
    for (const ByName& n : names) sym.alphaHead.push_back(position[n.index]);
  }
};

void dot(Session& s) {
  if (!s.outfile.is_file()) return;
  s.con.err << ".";
  s.con.err.flush();
}

}  // namespace

int16_t readcdv(Session& s) {
  AppSymbols& sym = s.symbols;
  vt::BinaryFile& f = s.cdvfile;
  if (s.outfile.is_file()) {
    s.con.err << "  Reading the CDV file...";
    s.con.err.flush();
  }
  unsigned char head[8] = {};
  size_t got = f.pread(0, head, sizeof head);
  if (got >= 4 && std::memcmp(head, "NB00", 4) == 0) {
    s.con.err << "\n\tThe CDV file is in segment:offset format and cannot be used.\n";
    s.con.err << "\t      Please use tarnex of June 2002 or later.\n";
    f.close();
    return 0;
  }
  if (got < 4 || std::memcmp(head, "NS00", 4) != 0) {
    s.con.out << "Neither NB00 nor NS00 tag:  invalid CDV format.\n";
    f.close();
    return 0;
  }
  // The directory: a count and 10-byte entries. One that cannot be read
  // leaves the run without the CDV file rather than without a report.
  std::vector<hdr_entry> dir;
  {
    uint32_t at = vt::le32(head + 4);
    unsigned char c[2];
    bool ok = got == sizeof head && f.pread(at, c, 2) == 2;
    size_t count = ok ? vt::le16(c) : 0;
    std::vector<unsigned char> b(count * hdr_entry::kSize);
    if (!ok || f.pread(uint64_t{at} + 2, b.data(), b.size()) != b.size()) {
      s.con.err << "can't read CDV directory\n";
      f.close();
      return 0;
    }
    for (size_t i = 0; i < count; ++i) dir.push_back(decode_hdr_entry(&b[i * hdr_entry::kSize]));
  }

  uint16_t topfile = 0;
  for (const hdr_entry& e : dir)
    if (e.id == kModule) topfile = std::max(topfile, e.nfile);
  sym.topfile = topfile;
  sym.filelist.assign(size_t{topfile} + 2, cdvmodule{});
  CdvReader r{s, CdvBytes(f), sym, {}};
  for (const hdr_entry& e : dir)
    if (e.id == kModule) r.module(e);
  dot(s);
  for (const hdr_entry& e : dir) {
    switch (e.id) {
      case kSymbols:
        r.symbols(e);
        dot(s);
        break;
      case kPublics:
        r.publics(e);
        dot(s);
        break;
      case kLines: r.lines(e); break;
      default: break;  // modules are read; 3 is not used
    }
  }
  r.finish();
  return 0;
}

const listitem* findCDVName(Session& s, std::string_view name) { return s.symbols.cdv_item(name); }

int16_t printCDVname(Session& s, uint32_t addr) {
  const AppSymbols& sym = s.symbols;
  size_t i = sym.cdv_from(static_cast<int32_t>(addr));
  if (i < sym.listhead.size() && sym.listhead[i].addr == static_cast<int32_t>(addr)) {
    s.outfile.print("%s", sym.listhead[i].name.c_str());
    return 1;
  }
  s.outfile.write("(Not found)");
  return 0;
}

int getLineNum(Session& s, const listitem& item, uint32_t addr) { return s.symbols.cdv_line(item, addr); }

int16_t findCDVaddr2(Session& s, uint32_t addr) {
  const AppSymbols& sym = s.symbols;
  const std::vector<listitem>& list = sym.listhead;
  if (list.empty()) return 0;
  const uint16_t selector = static_cast<uint16_t>(addr >> 16);
  auto in_selector = [&](const listitem& i) { return static_cast<uint16_t>(static_cast<uint32_t>(i.addr) >> 16) == selector; };
  auto procedure = [](const listitem& i) { return i.type == 1 || i.type == 0x201; };
  // A procedure containing the address: its name and line.
  auto inside = [&](const listitem& p) {
    s.outfile.print(" %s", p.name.c_str());
    int line = getLineNum(s, p, addr);
    if (line) s.outfile.print(" (%s line %d)", sym.module(p.file)->name.c_str(), line);
  };
  size_t i = sym.cdv_from(static_cast<int32_t>(addr));
  if (i == list.size()) {
    // Past every item: only the last procedure, within its length, holds it.
    const listitem& last = list.back();
    if (in_selector(last) && procedure(last) && addr - static_cast<uint32_t>(last.addr) < last.length) inside(last);
    return 0;
  }
  const listitem& item = list[i];
  if (item.addr == static_cast<int32_t>(addr)) {
    s.outfile.print(" %s", item.name.c_str());
    const cdvmodule* m = sym.module(item.file);
    if (m && (isSelector(s, selector) == kLdtData || (m->addr >> 16) == selector)) {
      const std::string& n = m->name;
      s.outfile.print(" in %*s", static_cast<int>(std::min(n.find('.'), n.size())), n.c_str());
    }
    return 0;
  }
  const listitem& before = i > 0 ? list[i - 1] : list.front();
  if (in_selector(before) && procedure(before)) {
    inside(before);
    return 0;
  }
  if (in_selector(item) && procedure(item)) {
    int line = getLineNum(s, item, addr);
    if (line)
      s.outfile.print("%s line %d", sym.module(item.file)->name.c_str(), line);
    else
      s.outfile.print("%s - %x", item.name.c_str(), static_cast<unsigned>(static_cast<uint32_t>(item.addr) - addr));
  }
  return 0;
}

void showlinenum(Session& s, uint32_t addr) {
  const AppSymbols& sym = s.symbols;
  const uint16_t selector = static_cast<uint16_t>(addr >> 16);
  const uint16_t offset = static_cast<uint16_t>(addr & 0xFFFF);
  for (size_t m = 0; m <= sym.topfile && m < sym.filelist.size(); ++m) {
    const cdvmodule& mod = sym.filelist[m];
    if ((mod.addr >> 16) != selector) continue;
    for (const cdvline& e : mod.LineOffset) {
      if (e.line == 0 && e.offset == 0) break;  // the table's end
      if (e.offset == offset) {
        s.outfile.print("line %d ", e.line);
        return;
      }
    }
  }
}

}  // namespace morvik
