#include "morvik/sections/dumpfunc_con.h"

#include <string>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/dumpfunc_chain.h"
#include "morvik/addrspace/dumpfunc_sysmem.h"
#include "morvik/records/conblk.h"

namespace morvik {

namespace {

// A driver list this long is damaged; the run ends on it.
constexpr int kMostDrivers = 200;
constexpr int kWidestScreen = 80;

std::string upper(std::string t) {
  for (char& c : t)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return t;
}

// The virtual console after `v` in tree order: its first child,
// else its next sibling, else the next sibling of the nearest ancestor that
// has one. 0 at the end of the tree; a cut climb writes its note.
uint32_t next_console(Session& s, const _vcon& v, uint32_t& child) {
  child = v.vc_child;
  if (v.vc_child != 0) return v.vc_child;
  if (v.vc_order != 0) return v.vc_order;
  uint32_t next = 0;
  ChainResult climb =
      walk_system_chain(s, v.vc_parent, _vcon::kLinksSize, 0, [&](uint32_t, const unsigned char* rec) {
        _vcon up = decode_vcon_links(rec);
        child = up.vc_child;
        if (up.vc_child == 0 || up.vc_order == 0) return true;
        // A root's next sibling is a tree of its own; its screens follow.
        next = up.vc_order;
        return false;
      });
  std::string note = chain_note(climb, "Virtual console parents");
  if (!note.empty()) s.outfile.print("%s\n", note.c_str());
  return next;
}

// The screens of one console, from its first virtual console on.
void console_screens(Session& s, uint32_t first, int16_t& screenum) {
  ChainGuard guard;
  uint32_t child = 0;  // the child address read last
  auto within_gdt = [&](uint32_t a) { return (a >> 16) <= s.space.GDT_lim; };
  if (!within_gdt(first)) return;
  ChainResult walk = walk_system_records(
      s, guard, first, _vcon::kLinksSize, [&](uint32_t addr, const unsigned char* rec) -> std::optional<uint32_t> {
        s.outfile.print("Screen %d", screenum++);
        s.outfile.write(addr == child ? " (child)" : "\t");
        formatScreen(s, addr);
        uint32_t next = next_console(s, decode_vcon_links(rec), child);
        // A console outside the GDT ends this console's screens.
        return within_gdt(next) ? next : 0;
      });
  std::string note = chain_note(walk, "Virtual consoles");
  if (!note.empty()) s.outfile.print("%s\n", note.c_str());
}

}  // namespace

void formatTime(Session& s, int32_t msec) {
  int32_t hours = msec / 3600000;
  int32_t rest = msec % 3600000;
  int32_t minutes = rest / 60000;
  rest %= 60000;
  s.outfile.print(" time %d:%02d:%02d.%03d", static_cast<int>(hours), static_cast<int>(minutes),
                  static_cast<int>(rest / 1000), static_cast<int>(rest % 1000));
}

void formatScreen(Session& s, uint32_t addr) {
  unsigned char field[4];
  if (read_system(s, addr, _vcon::kSizeAt, field, 4) != 4) {
    s.outfile.print("*** the virtual console at %08lX is not in the dump.\n", static_cast<unsigned long>(addr));
    return;
  }
  int16_t columns = static_cast<int16_t>(vt::le16(field));
  int16_t rows = static_cast<int16_t>(vt::le16(field + 2));
  if (columns > kWidestScreen) {
    s.outfile.write("\tgarbage?\n");
    return;
  }
  if (read_system(s, addr, _vcon::kScreenAt, field, 4) != 4) {
    s.outfile.print("*** the virtual console at %08lX is not in the dump.\n", static_cast<unsigned long>(addr));
    return;
  }
  uint32_t screen = vt::le32(field);
  // A screen of no cells has nothing on it.
  size_t cells = columns > 0 && rows > 0 ? size_t(columns) * size_t(rows) : 0;
  std::vector<unsigned char> buf(2 * cells);
  size_t got = cells == 0 ? 0 : read_system(s, screen, 0, buf.data(), buf.size());
  if (got != buf.size()) {
    s.outfile.print("*** the screen buffer at %08lX is not in the dump.\n", static_cast<unsigned long>(screen));
    return;
  }
  size_t cell = 0;
  while (cell < cells && buf[2 * cell] == ' ') ++cell;
  if (cell == cells) {
    s.outfile.write("  This screen is blank.\n");
    return;
  }
  std::string text = "\n" + std::string(size_t(columns), '+') + "\n";
  for (size_t r = 0; r < size_t(rows); ++r) {
    text += '\n';
    for (size_t c = 0; c < size_t(columns); ++c) text += static_cast<char>(buf[2 * (r * size_t(columns) + c)]);
  }
  text += "\n" + std::string(size_t(columns), '-') + "\n\n";
  s.outfile.write(text);
}

void showConsoles(Session& s) {
  uint32_t addr = 0;
  if (auto dvrlst = find_kernel_symbol(s, "dvrlst")) {
    s.dumpfile.read_u32_at(sym_dump_offset(s, *dvrlst), addr);
    s.outfile.flush();
    s.outfile.write("\n\n SUB Consoles:");
    s.con.out.flush();
  }
  int16_t screenum = 0;
  int count = 0;  // driver entries visited
  ChainResult walk = walk_system_chain(s, addr, dlestruct::kSize, 0, [&](uint32_t, const unsigned char* rec) {
    dlestruct dvr = decode_dlestruct(rec);
    std::string name = upper(dvr.name());
    if (name.compare(0, 3, "CON") == 0) {
      s.con.err << "  Processing console...\n";
      uint32_t first = 0;
      if (dvr.dl_ctrl1 != 0) {
        unsigned char blk[_conblk::kSize];
        if (read_system(s, dvr.dl_ctrl1, 0, blk, sizeof blk) == sizeof blk) {
          first = decode_conblk(blk).c_vcid;
        } else {
          std::string note = chain_note({ChainEnd::Unreadable, dvr.dl_ctrl1}, "Console block");
          s.outfile.print("%s\n", note.c_str());
        }
      }
      if (first != 0) {
        screenum = 1;
        s.outfile.print("\n\n\t\t\tStart of Screens for %s\n\n", name.c_str());
        console_screens(s, first, screenum);
      }
    }
    if (count++ > kMostDrivers) {
      report(s, 66);
      s.outfile.write("The driver list is exorbitantly long!!\n");
      end_run(s, -1);
    }
    return true;
  });
  std::string note = chain_note(walk, "Driver list");
  if (!note.empty()) s.outfile.print("%s\n", note.c_str());
  if (screenum == 0) s.outfile.write("  None\n");
}

}  // namespace morvik
