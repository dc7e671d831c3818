#include "morvik/sections/dopipes.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/console.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/dumpfunc_chain.h"
#include "morvik/addrspace/dumpfunc_sysmem.h"
#include "morvik/records/conblk.h"
#include "morvik/records/pipestruct.h"
#include "morvik/report/doarray.h"

namespace morvik {

namespace {

// The buffer from its first byte to its last nonzero one (at least its
// first two bytes), 16 bytes a row in hexadecimal and as characters.
std::string buffer_dump(const std::vector<unsigned char>& buff) {
  size_t end = buff.size();
  while (end > 2 && buff[end - 1] == 0) --end;
  std::string out;
  size_t row = 0;
  for (size_t i = 0; i < end; ++i) {
    out += vt::format("%02x ", buff[i]);
    if ((i + 1) % 16 != 0) continue;
    out += "  ";
    for (size_t c = i - 15; c <= i; ++c) out += handle_unprintable_character(static_cast<char>(buff[c]));
    row = i + 1;
    if (row < end) out += "\n  ";
  }
  if (row < end) {
    for (size_t i = end; i % 16 != 0; ++i) out += "   ";
    out += "  ";
    for (size_t c = row; c < end; ++c) out += handle_unprintable_character(static_cast<char>(buff[c]));
  }
  return out;
}

// The application's pipe of this name, once: the first sight of it marks
// it listed.
bool first_sight(Session& s, const std::string& name) {
  for (pipelistItem& thisp : s.openfiles.pipelist) {
    if (thisp.name != name) continue;
    if (thisp.gotit) return false;
    thisp.gotit = 1;
    return true;
  }
  return false;
}

}  // namespace

void dopipes(Session& s) {
  auto bsxItem = find_kernel_symbol(s, "pipedle");
  if (!bsxItem) {
    s.con.err << "Cannot find 'pipedle' in the BSX file\n";
    return;
  }
  unsigned char dlebuf[dlestruct::kSize] = {};
  uint32_t head = 0;
  if (s.dumpfile.read_at(sym_dump_offset(s, *bsxItem), dlebuf, sizeof dlebuf) == sizeof dlebuf)
    head = decode_dlestruct(dlebuf).dl_ctrl1;
  if (!s.outfile.is_screen()) s.con.err << "  Processing pipes...\n";
  s.outfile.write("\n\n SUB Pipe Dump:  ");
  if (s.applprocess) s.outfile.print("pipes open by/for %s ", s.APPL_NAME.c_str());
  s.outfile.write("(trailing zeros are not formatted)\n\n  ");

  int pipenum = 0;
  ChainResult walk = walk_system_chain(s, head, pipestruct::kSize, 0, [&](uint32_t, const unsigned char* rec) {
    pipestruct pipebuf = decode_pipestruct(rec);
    std::string name = pipebuf.name();
    if (s.applprocess && !first_sight(s, name)) return true;
    if (pipebuf.pi_flags & pipestruct::kSemaphore) {
      s.outfile.print("\t%s\n", name.c_str());
      s.outfile.print("  semaphor:  creator %02x, holder %02x\n\n", pipebuf.pi_user,
                      static_cast<unsigned>(pipebuf.pi_owner));
      return true;
    }
    ++pipenum;
    s.outfile.print("%8.8s Bufsize %4d  ", name.c_str(), pipebuf.pi_bufsiz);
    s.outfile.print("count %d  ", pipebuf.pi_cnt);
    bool front = false;
    if (pipebuf.pi_cnt != 0) {
      s.outfile.print(" Next read at    %d ", pipebuf.pi_front);
      front = true;
    } else if (pipebuf.pi_front != 0) {
      s.outfile.print(" Last read ended %d ", pipebuf.pi_front);
      front = true;
    }
    if (front && pipebuf.pi_front > 9) s.outfile.print("(%02xh)", pipebuf.pi_front);
    if (pipebuf.pi_cnt == pipebuf.pi_bufsiz) s.outfile.write("  <<<< Pipe full! >>>>");
    s.outfile.write("\n  ");
    std::vector<unsigned char> buff(pipebuf.pi_bufsiz);
    if (read_system(s, pipebuf.pi_buffer, 0, buff.data(), buff.size()) == buff.size())
      s.outfile.write(buffer_dump(buff));
    else
      s.outfile.print("*** the pipe's buffer at %08lX is not in the dump.",
                      static_cast<unsigned long>(pipebuf.pi_buffer));
    s.outfile.write("\n\n  ");
    return true;
  });
  std::string note = chain_note(walk, "Pipe chain");
  if (!note.empty()) s.outfile.print("%s\n", note.c_str());
  s.outfile.write(pipenum > 0 ? "\n" : "   None found.\n\n");
  s.outfile.flush();
}

}  // namespace morvik
