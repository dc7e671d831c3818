// The runtime level: the version records ("CBRT" and the level's digits,
// the date after them) in the application's code or the shared runtime,
// and the code search that also finds the error codes KIVRA planted.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/le.h"
#include "common/console.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/dumpfunc_appmem.h"
#include "morvik/addrspace/dumpfunc_chain.h"
#include "morvik/addrspace/dumpfunc_sysmem.h"
#include "morvik/addrspace/ldt.h"
#include "morvik/report/doarray.h"
#include "morvik/sections/dumpfunc_errlist.h"

namespace morvik {

namespace {

constexpr unsigned char kCBRT[4] = {'C', 'B', 'R', 'T'};
constexpr size_t kPage = 4096;
// A version record: "CBRT", the digits, the date 21 bytes after the "C"
// (8 characters) or, in the shared runtime, 18 bytes after it (9).
constexpr size_t kRecord = 29;

bool is_cbrt(const unsigned char* p) { return std::memcmp(p, kCBRT, 4) == 0; }

std::string chars(const unsigned char* p, size_t n) {
  std::string t(reinterpret_cast<const char*>(p), n);
  return t.substr(0, t.find('\0'));
}

// The run of compare-CX-with-word and jump-if-equal instructions the
// error-trap patcher writes: four codes, each word high byte first.
bool kivra_run(Session& s, const unsigned char* b, size_t i, size_t got) {
  if (i + 22 > got) return false;
  const unsigned char* p = b + i;
  if (!(p[0] == 0x81 && p[1] == 0xF9 && p[4] == 0x74 && p[6] == 0x81 && p[7] == 0xF9 && p[10] == 0x74)) return false;
  std::string& k = s.runtime.kivra_codes;
  if (k.size() < 14) k = "??, ??, ??, ??.";
  const size_t words[4] = {2, 8, 14, 20};
  for (size_t n = 0; n < 4; ++n) {
    k[n * 4] = static_cast<char>(p[words[n] + 1]);
    k[n * 4 + 1] = static_cast<char>(p[words[n]]);
  }
  if (k[0] == 'x')
    s.outfile.write("\n\t No KIVRA codes are in use.\n");
  else
    s.outfile.print("\n\t KIVRA codes are %s\n", k.c_str());
  return true;
}

}  // namespace

int16_t version_level(const unsigned char* rec, size_t len) {
  int level = 0;
  for (size_t i = 4; i < len && i < 9 && rec[i] >= '0' && rec[i] <= '9'; ++i) level = level * 10 + (rec[i] - '0');
  return static_cast<int16_t>(level);
}

// Each code segment of the LDT is read a page at a time through the
// application's own translation, with `len` bytes of the next page, so that
// a find near a page's end is copied whole (a paged dump keeps a segment's
// pages apart).
int16_t searchCodeForString(Session& s, const char* str, unsigned char* result, int16_t len) {
  const size_t n = std::strlen(str);
  if (n == 0 || len <= 0) return 0;
  AppMemory mem(s);
  std::vector<unsigned char> buf(static_cast<size_t>(len) + kPage);
  const AddressSpace& a = s.space;
  for (size_t slot = 0; slot < a.ldt_slots(); ++slot) {
    const uint16_t sel = static_cast<uint16_t>(slot * 8 + 7);
    if (isSelector(s, sel) != kLdtCode) continue;
    const uint32_t limit = uint32_t{a.ldt_entry(slot).ld_len} + 1;
    for (uint32_t off = 0; off < limit; off += kPage) {
      const uint32_t far = uint32_t{sel} << 16 | off;
      const size_t want = std::min<size_t>(buf.size(), limit - off);
      std::fill(buf.begin(), buf.end(), 0);
      const size_t got = mem.read(far, buf.data(), want);
      if (got < want) s.outfile.print("ERROR reading from virtual address %08lX\n", static_cast<unsigned long>(far));
      for (size_t i = 0; i < got; ++i) {
        if (s.runtime.kivra_codes.empty() || s.runtime.kivra_codes[0] == '?') kivra_run(s, buf.data(), i, got);
        if (i + n >= got || std::memcmp(buf.data() + i, str, n) != 0) continue;
        if (buf[i + n] < '0' || buf[i + n] > '9') continue;
        std::memset(result, 0, static_cast<size_t>(len));
        std::memcpy(result, buf.data() + i, std::min<size_t>(static_cast<size_t>(len), got - i));
        return 1;
      }
    }
  }
  return 0;
}

int16_t search(Session& s, const unsigned char* buffer, int16_t bytes) {
  for (int16_t p = 0; p + 4 <= bytes; ++p) {
    if (!is_cbrt(buffer + p)) continue;
    s.cbrt = version_level(buffer + p, kRecord);
    s.runtime.verdate = chars(buffer + p + 21, 8);
    return 1;
  }
  return 0;
}

// MARRA memory blocks lie at their linear start less 512 KB per whole
// megabyte; each is read in pieces of 4 KB with 30 bytes of overlap, so
// that a record across two pieces is found whole.
void trythis(Session& s) {
  if (!s.applprocess) return;
  std::vector<md> blocks;
  ChainResult r = walk_system_chain(s, s.applprocess->p_mem[0], md::kSize, 0, [&](uint32_t, const unsigned char* rec) {
    blocks.push_back(decode_md(rec));
    return true;
  });
  std::string note = chain_note(r, "Code memory chain");
  if (!note.empty()) s.outfile.print("\t %s\n", note.c_str());
  constexpr size_t kOverlap = 30;
  std::vector<unsigned char> piece(kPage + kOverlap);
  for (const md& m : blocks) {
    const uint64_t start = uint64_t{m.m_start} - uint64_t{m.m_start >> 20} * 0x80000u;
    uint64_t done = 0;
    while (done < m.m_length) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(piece.size(), m.m_length - done));
      const size_t got = s.dumpfile.read_at(start + done, piece.data(), want);
      if (got <= kOverlap) break;
      if (search(s, piece.data(), static_cast<int16_t>(got - kOverlap))) return;
      if (got < want) break;
      done += got - kOverlap;
    }
  }
}

int16_t getcbrt(Session& s) {
  s.cbrt = 41;
  if (s.space.termMARRA) {
    trythis(s);
  } else {
    unsigned char rec[1024] = {};
    if (searchCodeForString(s, "CBRT", rec, 47)) {
      s.cbrt = version_level(rec, 47);
      s.runtime.verdate = chars(rec + 21, 8);
    }
  }
  return s.cbrt;
}

int16_t findWrenRTlevel(Session& s) {
  s.outfile.write("findWrenRTlevel\n");
  int16_t level = 0;
  unsigned char head[10] = {};
  if (s.dumpfile.read_at(s.CS_offset, head, sizeof head) == sizeof head) {
    const uint32_t target = head[0] == 0x9A ? vt::le32(head + 1) : vt::le32(head + 6);
    unsigned char call[5] = {};
    AppMemory mem(s);
    if (mem.read_all(target, call, sizeof call)) {
      const uint32_t entry = vt::le32(call + 1);
      const int16_t cls = isSelector(s, static_cast<uint16_t>(entry >> 16));
      std::vector<unsigned char> rt(1024);
      size_t got = 0;
      if ((cls == kGdtCode || cls == kGdtData) && (entry & 0xFFFF) <= 0xFFFF - 0x400)
        got = read_system(s, entry + 0x400, 0, rt.data(), rt.size());
      for (size_t i = 0; i + 27 <= got; ++i) {
        if (!is_cbrt(rt.data() + i)) continue;
        level = version_level(rt.data() + i, got - i);
        s.runtime.controller_cbrt = level;
        s.runtime.WrenRTdate = chars(rt.data() + i + 18, 9);
        s.outfile.print("\n\t BASIC shared runtimes version %d, dated %9.9s\n\n", level,
                        reinterpret_cast<const char*>(rt.data() + i + 18));
        return level;
      }
    }
  }
  s.outfile.write("\n\t Cannot find BASIC shared runtimes version\n\n");
  return level;
}

int16_t findNoshRTlevel(Session& s) {
  unsigned char rec[31] = {};
  if (searchCodeForString(s, "CBRT", rec, 30)) {
    const int16_t level = version_level(rec, 30);
    s.runtime.verdate = chars(rec + 21, 8);
    s.outfile.print("\n\t BASIC runtimes version %d, dated %s\n\n", level, s.runtime.verdate.c_str());
    s.runtime.controller_cbrt = level;
    return level;
  }
  vt::print(s.con.err, "\n\tCannot find the runtime version string...");
  vt::print(s.con.err, "\n\t  %s appears not to be a BASIC application.\n\n", s.applname.c_str());
  if (s.outfile.is_file()) add_summary_line(s, " %s appears not to be a BASIC application.", s.applname.c_str());
  end_run(s, 0);
}

}  // namespace morvik
