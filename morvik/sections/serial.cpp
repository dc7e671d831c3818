#include "morvik/sections/serial.h"

#include <array>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "common/binary_file.h"
#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc.h"
#include "morvik/addrspace/dumpfunc_sysmem.h"
#include "morvik/records/conblk.h"
#include "morvik/report/doarray.h"

namespace morvik {

namespace {

// Entries of the driver list between two instances of the driver; a list
// this long is damaged and the run ends on it.
constexpr int kMostEntries = 150;
constexpr size_t kNameField = 80;  // the file-name answer, with its NUL
constexpr int kUnits = 8;
constexpr uint32_t kRingBytes = PIRATrc_s::kSize * PIRATrc_s::kEntries;
constexpr uint32_t kIndexAt = kRingBytes + 12;  // PIRATr_Index, after the ring

// The driver's symbols: offsets into one instance's data.
struct DriverSymbols {
  uint32_t PIRSDCOM_offset = 0;
  uint32_t PIR1DCOM_offset = 0;
  uint32_t trace_offset = 0;
  bool time = false;  // "PIRATRtime" is there
};

// One character of an answer; a CR LF pair counts as the one newline.
int get_char(std::istream& in) {
  int c = in.get();
  if (c == '\r' && in.peek() == '\n') c = in.get();
  return c;
}

std::string upper(std::string t) {
  for (char& c : t)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return t;
}

DriverSymbols driver_symbols(Session& s, const vt::BinaryFile& f) {
  DriverSymbols d;
  std::vector<unsigned char> block(2048 * sym_s::kSize);
  for (uint64_t at = kBsxHeaderSize;;) {
    size_t got = f.pread(at, block.data(), block.size());
    for (size_t i = 0; i + sym_s::kSize <= got; i += sym_s::kSize) {
      sym_s sym = decode_sym_s(block.data() + i);
      uint32_t off = sym.offset + s.space.kernal_offset;
      if (sym.name == "PIRSDCOM") d.PIRSDCOM_offset = off;
      if (sym.name == "PIR1DCOM") d.PIR1DCOM_offset = off;
      if (sym.name == "PIRATrc_Buf") d.trace_offset = off;
      if (sym.name == "PIRATRtime") d.time = true;
    }
    if (got < block.size()) return d;
    at += got;
  }
}

// The command named by a trace entry of a sent command.
const char* command_name(uint16_t code) {
  switch (code) {
    case 0: return "No_Command_c      ";
    case 0x2000: return "Request_Status_c  ";
    case 0x4000: return "Power_On_Reset_c  ";
    case 0x8000: return "Request_EC_Level_c";
    case 1: return "Setup_c           ";
    case 2: return "Chnl_Ctrl_c       ";
    case 0x10: return "Receive_c         ";
    case 8: return "Xmit_c            ";
    case 0x40: return "Wrap_c            ";
    default: return " ";
  }
}

const char* message_name(uint16_t code) {
  switch (code) {
    case 1: return "PIX_msg_c";
    case 2: return "PIX_ack_c";
    case 4: return "PIX_rol_c";
    case 8: return "PIX_err_c";
    case 9: return "PIX_pto_c";
    case 0x10: return "PIX_rej_c";
    case 0x20: return "PIX_prt_c";
    case 0x40: return "PIX_nop_c";
    default: return " ";
  }
}

// The driver's buffers two bytes a step, 16 a row; each full row is
// followed by its characters. `buf` holds `len` + 1 bytes, the last zero,
// for the step that shows an odd length's last byte.
std::string buffer_dump(const std::vector<unsigned char>& buf, size_t len) {
  std::string out;
  for (size_t k = 0; k < len; k += 2) {
    if (k % 16 == 0) {
      if (k != 0) {
        out += " *";
        for (size_t j = k - 16; j < k; ++j) out += handle_unprintable_character(static_cast<char>(buf[j]));
        out += "*";
      }
      out += vt::format("\n      %04x : ", static_cast<unsigned>(k));
    }
    out += vt::format("%02x", buf[k]);
    out += vt::format("%02x ", buf[k + 1]);
  }
  return out;
}

void not_in_dump(Session& s, const char* what, uint64_t at) {
  s.outfile.print("\n  *** %s at %08lX is not in the dump.\n", what, static_cast<unsigned long>(at));
}

void show_unit(Session& s, uint32_t ptr) {
  std::vector<unsigned char> dcbbuff(Device_Channel_Buffer_s::kSize + 1, 0);
  if (read_system(s, ptr, 0, dcbbuff.data(), Device_Channel_Buffer_s::kSize) != Device_Channel_Buffer_s::kSize) {
    not_in_dump(s, "The device channel buffer", ptr);
    return;
  }
  bool mpost = dcbbuff[Device_Channel_Buffer_s::kSideAt] == Device_Channel_Buffer_s::kMpost;
  s.outfile.print("\n    Device Channel Buffer (%s):\n", mpost ? "mpost" : "rpost");
  s.outfile.write(buffer_dump(dcbbuff, Device_Channel_Buffer_s::kSize));
  s.outfile.write("\n");
  std::vector<unsigned char> data_received(data_received_s::kSize, 0);
  if (read_system(s, ptr, data_received_s::kAt, data_received.data(), data_received.size()) != data_received.size()) {
    not_in_dump(s, "The received data", ptr + data_received_s::kAt);
    return;
  }
  s.outfile.write("\n    Device Data Received:\n");
  s.outfile.write(buffer_dump(data_received, data_received_s::kDataSize));
  data_received_s d = decode_data_received(data_received.data());
  auto sx = [](int16_t v) { return static_cast<unsigned>(static_cast<int>(v)); };
  s.outfile.print("\n\n    Appl read buffer size:   %x\n", sx(d.appl_read_size));
  s.outfile.print("    Last write buffer size:  %x\n", sx(d.last_write_size));
  s.outfile.print("    Opened:  %04x\n", sx(d.opened));
  s.outfile.print("    Return error:  %08x\n", static_cast<unsigned>(d.return_error));
  s.outfile.print("    Read In Progress:  %04x\n", sx(d.read_in_progress));
  s.outfile.print("    Wait In Progress:  %04x\n", sx(d.wait_in_progress));
}

// One instance of the driver: its units and its trace.
void show_instance(Session& s, const DriverSymbols& sym, const DriverWalk& w) {
  if (w.driver_data_offset == kNoDumpOffset) {
    not_in_dump(s, "The driver's data", w.driver_data);
    return;
  }
  unsigned char sd[4 * kUnits], r1[4 * kUnits];
  uint64_t sd_at = uint64_t{sym.PIRSDCOM_offset} + w.driver_data_offset;
  uint64_t r1_at = uint64_t{sym.PIR1DCOM_offset} + w.driver_data_offset;
  if (s.dumpfile.read_at(sd_at, sd, sizeof sd) != sizeof sd) return not_in_dump(s, "PIRSDCOM", sd_at);
  if (s.dumpfile.read_at(r1_at, r1, sizeof r1) != sizeof r1) return not_in_dump(s, "PIR1DCOM", r1_at);
  if (!s.outfile.is_screen()) {
    s.con.err << "\n  Processing RS-485 serial driver data...\n";
    s.con.err.flush();
  }
  for (int u = 0; u < kUnits; ++u) {
    uint32_t ptr_pirsdcom = vt::le32(sd + 4 * u);
    uint32_t ptr_pir1dcom = vt::le32(r1 + 4 * u);
    s.outfile.print("\n  unit%d:    ptr_pirsdcom = %08lX, ptr_pir1dcom = %08lX\n", u,
                    static_cast<unsigned long>(ptr_pirsdcom), static_cast<unsigned long>(ptr_pir1dcom));
    if (ptr_pirsdcom != 0) show_unit(s, ptr_pirsdcom);
  }
  std::vector<unsigned char> PIRATrc_Buf(kRingBytes);
  uint64_t ring_at = uint64_t{sym.trace_offset} + w.driver_data_offset;
  uint16_t index = 0;
  if (s.dumpfile.read_at(ring_at, PIRATrc_Buf.data(), kRingBytes) != kRingBytes)
    return not_in_dump(s, "The trace buffer", ring_at);
  if (vt::le32(PIRATrc_Buf.data()) == 0) {
    // An empty ring ends this instance only; later instances follow.
    s.outfile.write("\n\tThe serial driver trace buffer is empty\n\n");
    return;
  }
  if (!s.dumpfile.read_u16_at(ring_at + kIndexAt, index)) return not_in_dump(s, "The trace index", ring_at + kIndexAt);
  int16_t PIRATr_Index = static_cast<int16_t>(index);
  s.outfile.write("\nFormatting PIRATrace  (oldest to newest):\n");
  if (PIRATr_Index >= 0)
    walk_ring(PIRATrc_s::kEntries, static_cast<size_t>(PIRATr_Index),
              [&](size_t slot) { doit(s, decode_PIRATrc(PIRATrc_Buf.data() + slot * PIRATrc_s::kSize)); });
  s.outfile.write("\n");
}

}  // namespace

void doit(Session& s, const PIRATrc_s& t) {
  auto lo = [](uint16_t w) { return static_cast<unsigned>(w & 0xFF); };
  auto hi = [](uint16_t w) { return static_cast<unsigned>(w >> 8); };
  const uint16_t* d = t.data;
  switch (t.type) {
    case 1:
      s.outfile.print("  Port %2x, Adr %2x ==> Send_Command %-15s Data %02x%02x %02x%02x %02x%02x %02x%02x\n", t.port,
                      t.address, command_name(t.code), lo(d[0]), hi(d[0]), lo(d[1]), hi(d[1]), lo(d[2]), hi(d[2]),
                      lo(d[3]), hi(d[3]));
      break;
    case 2:
      s.outfile.print("  Port %2x, Adr %2x <== Msg_Received %-15s Ctrl %02x Status %02x%02x Data %02x%02x %02x%02x\n",
                      t.port, t.address, message_name(t.code), lo(d[0]), lo(d[1]), hi(d[1]), lo(d[2]), hi(d[2]),
                      lo(d[3]), hi(d[3]));
      break;
    case 4: s.outfile.print("  Port %2x, Adr %2x =!= PIR_Timer_Popped \n", t.port, t.address); break;
    case 5: s.outfile.print("  Port %2x, Adr %2x =!= PIR_Control_Lines\n", t.port, t.address); break;
    case 6:
      s.outfile.print("  Port %2x, Adr %2x =!= flushpipe        %-15s\n", t.port, t.address, message_name(t.code));
      break;
    default: break;
  }
}

int16_t findDriver(Session& s, DriverWalk& w) {
  if (w.firstcall) {
    w.firstcall = 0;
    if (auto dvrlst = find_kernel_symbol(s, "dvrlst")) s.dumpfile.read_u32_at(sym_dump_offset(s, *dvrlst), w.addr);
  }
  int count = 0;  // entries visited in this call
  bool found = false;
  uint32_t resume = 0;
  ChainResult walk = walk_system_records(
      s, w.guard, w.addr, dlestruct::kSize, [&](uint32_t, const unsigned char* rec) -> std::optional<uint32_t> {
        dlestruct dle = decode_dlestruct(rec);
        if (upper(dle.name()).compare(0, 6, "OMKPIR") == 0 && dle.dl_lpb != w.addr2 && dle.dl_lpb != 0) {
          w.addr2 = dle.dl_lpb;
          unsigned char dd[4];
          bool got = read_system(s, dle.dl_lpb, 12, dd, sizeof dd) == sizeof dd;
          w.driver_data = got ? vt::le32(dd) : 0;
          // Without its data the instance can only be named as missing.
          w.driver_data_offset = w.driver_data != 0 ? getSYSphysoffset(s, w.driver_data) : kNoDumpOffset;
          found = true;
          resume = dle.dl_next;
          return std::nullopt;
        }
        if (count++ > kMostEntries) {
          s.outfile.write("The driver list is exorbitantly long!!\n");
          end_run(s, 0);
        }
        return dle.dl_next;
      });
  if (found) {
    w.addr = resume;
    return 1;
  }
  std::string note = chain_note(walk, "Driver list");
  if (!note.empty()) s.outfile.print("%s\n", note.c_str());
  w.addr = 0;
  return 0;
}

int16_t formatSerial(Session& s) {
  vt::BinaryFile drv;
  std::string name = s.serialBSXfile;
  if (name.empty() || !drv.open(name)) {
    s.con.err << "\n  Shall I format the serial device driver data?  ";
    s.con.err.flush();
    int c = get_char(s.con.in);
    if (c != 'y' && c != 'Y') {
      s.con.err << "    OK!\n";
      s.outfile.write(" \n SUB RS-485 Serial Driver Trace:  this option was not selected\n\n");
      return 0;
    }
    get_char(s.con.in);  // the end of the line
    name = s.prefix + "pir1l.bsx";
    vt::print(s.con.err, "\n    Name of serial device driver bsx file\n\t(default %s):  ", name.c_str());
    s.con.err.flush();
    c = get_char(s.con.in);
    if (c != EOF && c != '\n') {
      s.con.in.unget();
      std::string word;
      if (s.con.in >> word) name = word.substr(0, kNameField - 1);
      get_char(s.con.in);
    }
    if (!drv.open(name)) {
      vt::print(s.con.err, "\n\tCannot open %s\n", name.c_str());
      s.outfile.print("\n SUB RS-485 serial driver:  Cannot open %s\n", name.c_str());
      s.outfile.flush();
      s.con.out.flush();
      s.con.err.flush();
      return -1;
    }
  }
  DriverSymbols sym = driver_symbols(s, drv);
  s.outfile.write("\n SUB RS-485 serial driver data:\n");
  if (!sym.time) s.outfile.print("\n  Note:  optional symbol \"PIRATRtime\" is not present in %s\n", name.c_str());
  DriverWalk w;
  while (findDriver(s, w)) show_instance(s, sym, w);
  return 0;
}

}  // namespace morvik
