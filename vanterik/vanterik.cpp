#include "vanterik/vanterik.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "common/le.h"
#include "common/platform.h"
#include "vanterik/run.h"

namespace vanterik {

namespace {

const char VERSION[] = "2.06-Big";

void banner(Vanterik& v) {
  out(v, "--------------------------------------------------\n");
  out(v, "VELA Linkage Postprocessor        Version %s\n", VERSION);
  out(v, "--------------------------------------------------\n\n");
}

const char USAGE[] = "USAGE: vanterik [-d] filename\nHELP:  vanterik -h\n\n";

[[noreturn]] void help(Vanterik& v) {
  out(v, "%s", USAGE);
  out(v, "The VANTERIK utility is a postprocessor that converts a \n");
  out(v, "LINK86 load module into a module that loads faster.\n\n");
  out(v, "\tOPTIONS:\n");
  out(v, "\t   -d          Dump the LDT of a vanteriked file.\n");
  out(v, "\t   -h          Print this help information.\n");
  out(v, "\t   -c          Append SYM file to 286 file (default).\n");
  out(v, "\t   -m          Merge SYM file to last code section.\n");
  out(v, "\t   -n          Do not append SYM file to 286 file.\n");
  out(v, "Invoke the VANTERIK utility with the following command\n");
  out(v, "line format:");
  out(v, "\n\n  VANTERIK filespec.286\n\n\n");
  vt::end_run(v.con, 0);
}

// Up to four hexadecimal digits; no digits read as 0.
long hex_value(const char* s) {
  long value = 0;
  for (int i = 0; i < 4 && std::isxdigit(static_cast<unsigned char>(s[i])); ++i) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
    value = value * 16 + (c <= '9' ? c - '0' : c - 'a' + 10);
  }
  return value;
}

// Returns the argument index of the module name (argc when there is none).
int parse_switches(Vanterik& v, int argc, char** argv) {
  const char only_d[] = "SWITCH ERROR:  '-d' switch may not be used with any other switch\n";
  const char both[] = "SWITCH ERROR:  both the index, '-i' and selector, '-s' were present\n";
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    char letter = argv[i][1];
    const char* value = letter ? argv[i] + 2 : argv[i] + 1;
    switch (letter) {
      case 'c': v.appendflag = true; break;
      case 'm': v.mergeflag = true; break;
      case 'n': v.appendflag = v.mergeflag = false; break;
      case 'h': help(v);
      case 'd':
        if (v.iflag || v.sflag || v.xflag) fatal(v, only_d);
        v.dumpflag = true;
        break;
      case 'i':
        if (v.dumpflag) fatal(v, only_d);
        if (v.sflag) fatal(v, both);
        v.iflag = true;
        v.reqindex = hex_value(value);
        break;
      case 's':
        if (v.dumpflag) fatal(v, only_d);
        if (v.iflag) fatal(v, both);
        v.sflag = true;
        v.reqindex = (hex_value(value) - 7) / 8;
        break;
      case 'x':
        if (v.dumpflag) fatal(v, only_d);
        v.xflag = true;
        break;
      default: fatal(v, "SWITCH ERROR:  only the \"d\" switch is allowed.\n");
    }
  }
  return i;
}

void read_module(Vanterik& v) {
  std::FILE* f = std::fopen(v.modname.c_str(), "r+b");
  if (!f) fatal(v, "ERROR: Could not open %s\n", v.modname.c_str());
  // Sized from the end position, but taken as long as reads give bytes.
  int64_t size = vt::seek_file_end(f) ? vt::tell_file(f) : -1;
  std::rewind(f);
  v.module.resize(size > 0 && static_cast<uint64_t>(size) <= SIZE_MAX ? static_cast<size_t>(size) : 0);
  size_t have = std::fread(v.module.data(), 1, v.module.size(), f);
  v.module.resize(have);
  unsigned char buf[SYM_CHUNK];
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) v.module.insert(v.module.end(), buf, buf + got);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) fatal(v, "ERROR: Could not read header\n");
}

// The scratch name replaces the extension by ".PST"; the SYM name replaces
// the last three characters by "SYM".
void form_names(Vanterik& v) {
  const std::string& name = v.modname;
  size_t slash = name.find_last_of("/\\");
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    fatal(v, "ERROR: %s has no file extension\n", name.c_str());
  const char* ext = name.c_str() + dot + 1;
  if (std::strlen(ext) >= 3 && std::tolower(static_cast<unsigned char>(ext[0])) == 'p' &&
      std::tolower(static_cast<unsigned char>(ext[1])) == 's' &&
      std::tolower(static_cast<unsigned char>(ext[2])) == 't')
    fatal(v, "ERROR: Cannot Vanterik a file with extension .pst \n");
  v.pstname = name.substr(0, dot) + ".PST";
  v.symname = (name.size() >= 3 ? name.substr(0, name.size() - 3) : std::string()) + "SYM";
  // A module named like its own SYM file would be merged into and stamped itself.
  bool same = v.symname.size() == name.size();
  for (size_t i = 0; same && i < name.size(); ++i)
    same = std::tolower(static_cast<unsigned char>(name[i])) == std::tolower(static_cast<unsigned char>(v.symname[i]));
  if (same) fatal(v, "ERROR: %s would be its own SYM file\n", name.c_str());
}

void read_header(Vanterik& v) {
  if (v.module.size() < HDR_SIZE) fatal(v, "ERROR: Could not read header\n");
  v.hdrbase = header_base(v.module.data());
  if (v.module.size() < v.hdrbase + HDR_SIZE) fatal(v, "ERROR: Could not read header\n");
  std::memcpy(v.header, v.module.data() + v.hdrbase, HDR_SIZE);
  v.lay = register_groups(v.header);
  for (int b = 1; b < NBUCKETS; ++b) {
    if (!v.lay.present(b)) continue;
    grp_s g = get_grp(v.header, v.lay.grpdesc[b]);
    v.tgtbound[b] = g.g_len > g.g_min ? g.g_len : g.g_min;
  }
}

void read_srtl_table(Vanterik& v) {
  grp_s d = get_grp(v.header, SRTL_DESC);
  if (d.g_len > SRTL_GROUP_MAX_PARAS)
    fatal(v, "ERROR: SRTL table group of %u paragraphs is larger than the %u the table can hold\n",
          static_cast<unsigned>(d.g_len), static_cast<unsigned>(SRTL_GROUP_MAX_PARAS));
  size_t size = d.g_len * PARA;
  size_t at = v.hdrbase + v.lay.grppos[0];
  if (size == 0 || v.module.size() < at + size) fatal(v, "ERROR: Could not read SRTL header\n");
  const unsigned char* tab = v.module.data() + at;
  v.srtlcount = vt::le16(tab);
  if (v.srtlcount > MAX_SRTL || 2 + v.srtlcount * SRTL_LINK_SIZE > size) fatal(v, "ERROR: too many SRTLs found\n");
  v.srtltab.assign(std::max<size_t>(size, srtl_group_paras(MAX_SRTL) * PARA), 0);
  vt::put16(v.srtltab.data(), static_cast<uint16_t>(v.srtlcount));
  for (int k = 0; k < v.srtlcount; ++k)
    srtl_to_vanteriked(tab + 2 + k * SRTL_LINK_SIZE, v.srtltab.data() + 2 + k * SRTL_VT_SIZE);
}

void check_first_index(Vanterik& v) {
  if (v.reqindex >= LDT_RESERVED) v.firstpos = static_cast<int>(v.reqindex - LDT_RESERVED);
  if (v.firstpos >= MAX_POSITIONS)
    fatal(v, "ERROR: first index %lX is beyond the selector table (highest %X)\n", v.reqindex,
          static_cast<unsigned>(MAX_POSITIONS - 1 + LDT_RESERVED));
  v.nextfree = v.firstpos;
}

void run(Vanterik& v, int argc, char** argv) {
  banner(v);
  if (argc <= 1) help(v);
  int name_at = parse_switches(v, argc, argv);
  if (name_at >= argc) {
    v.con.err << USAGE;
    vt::end_run(v.con, 0);
  }
  v.modname = argv[name_at];
  check_first_index(v);
  read_module(v);
  form_names(v);
  read_header(v);

  if (get_grp(v.header, LDT_DESC).g_type == LDT_TYPE) {
    if (v.dumpflag) list_ldt(v);
    fatal(v, "ERROR: File %s is already Vanteriked\n", v.modname.c_str());
  }
  if (v.dumpflag) fatal(v, "%s is not vanteriked, no LDT table present\n", v.modname.c_str());

  if (v.header[H_LIBTYPE] != 0 && (v.header[H_LIBFLAGS] & 1))
    v.header[H_LIBFLAGS] = static_cast<unsigned char>(v.header[H_LIBFLAGS] | 0x80);
  if (v.lay.present(0)) read_srtl_table(v);
  if (!v.lay.present(STACK_BUCKET) && !v.xflag) fatal(v, "ERROR: Invalid .286 file format\n");
  if (v.header[H_FIXFLAG] != FIXFLAG_SET)
    fatal(v, "%s has un-vanteriked SRTLs and could not be processed\n", v.modname.c_str());

  assign_selectors(v);
  size_selectors(v);
  finish_ldt(v);
  prepare_merge(v);
  Output written;
  write_output(v, written);
  out(v, "\n");
  replace_module(v);
  out(v, "File successfully vanteriked\n");
  stamp_and_append(v, written);
  vt::end_run(v.con, 0);
}

}  // namespace

void fatal(Vanterik& v, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  v.con.err << vt::vformat(fmt, ap);
  va_end(ap);
  if (v.scratch_made) std::remove(v.pstname.c_str());
  vt::end_run(v.con, 1);
}

void out(Vanterik& v, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  v.con.out << vt::vformat(fmt, ap);
  va_end(ap);
}

std::tm system_local_time() { return vt::local_time(std::time(nullptr)); }

int vanterik_run(int argc, char** argv, vt::Console& con, const LocalClock& clock) {
  Vanterik v(con);
  try {
    v.runtime = clock();
    run(v, argc, argv);
  } catch (const vt::RunEnd& e) {
    return e.status;
  }
  return 0;
}

}  // namespace vanterik

int vanterik_main(int argc, char** argv, vt::Console& con) {
  return vanterik::vanterik_run(argc, argv, con, vanterik::system_local_time);
}
