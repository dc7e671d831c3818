// Writing the vanteriked module: the whole module is built from the patched
// bytes in memory, written to the scratch file beside the module, and only a
// complete scratch file replaces the module.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/platform.h"
#include "vanterik/run.h"

namespace vanterik {

namespace {

bool read_whole(const std::string& name, const char* mode, Bytes& data) {
  std::FILE* f = std::fopen(name.c_str(), mode);
  if (!f) return false;
  data.clear();
  unsigned char buf[SYM_CHUNK];
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + got);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool write_whole(const std::string& name, const std::vector<Span>& spans, const Bytes& tail) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return false;
  bool ok = true;
  for (const Span& sp : spans) ok = ok && std::fwrite(sp.data, 1, sp.len, f) == sp.len;
  ok = ok && std::fwrite(tail.data(), 1, tail.size(), f) == tail.size();
  return std::fclose(f) == 0 && ok;
}

Bytes ldt_image(const Vanterik& v) {
  Bytes img(get_grp(v.header, LDT_DESC).g_len * PARA, 0);
  ldthdr_s h;
  h.lh_max = static_cast<uint16_t>(v.nextfree + 14);
  h.lh_next = static_cast<uint16_t>(v.nextfree + LDT_RESERVED);
  h.lh_base = LDT_RESERVED;
  h.lh_first = static_cast<uint16_t>(v.firstpos + LDT_RESERVED);
  put_ldthdr(img.data(), h);
  size_t fit = (img.size() - LDT_HDR_SIZE) / LDT_ENTRY_SIZE;
  for (size_t i = 0; i < fit && i < v.ldtent.size(); ++i) put_ldt(img.data() + LDT_HDR_SIZE + i * LDT_ENTRY_SIZE, v.ldtent[i]);
  return img;
}

}  // namespace

void prepare_merge(Vanterik& v) {
  if (!v.mergeflag) return;
  v.symopen = read_whole(v.symname, "r+b", v.sym);
  if (!v.symopen) v.sym.clear();
}

void choose_merge_target(Vanterik& v, unsigned char* header) {
  v.mergetarget = -1;
  if (!v.mergeflag || !v.symopen || v.sym.empty()) return;
  uint64_t merged = (v.sym.size() + 15) / 16 + 1;
  for (int n = 0; n < NGROUPDESC; ++n) {
    grp_s g = get_grp(header, n);
    if (is_code_type(g.g_type) && g.g_len + merged < 0xFFFF) v.mergetarget = n;
  }
  if (v.mergetarget < 0) {
    v.symopen = false;
    return;
  }
  grp_s g = get_grp(header, v.mergetarget);
  g.g_len = static_cast<uint16_t>(g.g_len + merged);
  g.g_min = static_cast<uint16_t>(std::min<uint64_t>(g.g_min + merged, 0xFFFF));
  put_grp(header, v.mergetarget, g);
}

void write_output(Vanterik& v, Output& o) {
  // Header.
  unsigned char hdr[HDR_SIZE];
  std::memcpy(hdr, v.header, HDR_SIZE);
  hdr[H_FIXREC] = hdr[H_FIXREC + 1] = 0;
  hdr[H_FIXFLAG] = static_cast<unsigned char>(hdr[H_FIXFLAG] & 0x7F);
  for (int n = 0; n < NDESC; ++n)
    if (get_grp(hdr, n).g_type == DROPPED_TYPE) put_grp(hdr, n, grp_s{});
  choose_merge_target(v, hdr);
  o.head.assign(v.hdrbase, 0);
  o.head.insert(o.head.end(), hdr, hdr + HDR_SIZE);
  size_t header_end = o.head.size();

  grp_s srtl = get_grp(hdr, SRTL_DESC);
  if (srtl.g_type == SRTL_TYPE) {
    size_t size = srtl.g_len * PARA;
    if (v.srtltab.size() < size) v.srtltab.resize(size, 0);
    o.head.insert(o.head.end(), v.srtltab.begin(), v.srtltab.begin() + static_cast<long>(size));
  }
  size_t srtl_end = o.head.size();
  Bytes ldt = ldt_image(v);
  o.head.insert(o.head.end(), ldt.begin(), ldt.end());

  int symbucket = v.mergetarget >= 0 ? bucket_of(get_grp(hdr, v.mergetarget).g_type) : 0;
  if (symbucket) {
    Bytes trailer = sym_trailer(v.runtime, static_cast<uint32_t>(v.sym.size()));
    o.symtail = v.sym;
    o.symtail.insert(o.symtail.end(), trailer.begin(), trailer.end());
  }
  o.stamp = asctime_text(v.runtime) + "\n";

  // Every buffer is in place; now the stretches of the file, in order.
  const char bucket_error[] = "ERROR: Could not write bucket\n";
  o.spans.push_back({o.head.data(), header_end, "ERROR: Could not write header to output file \n", {}});
  if (srtl_end > header_end)
    o.spans.push_back({o.head.data() + header_end, srtl_end - header_end, "ERROR: Could not write SRTL\n", {}});
  o.spans.push_back({o.head.data() + srtl_end, o.head.size() - srtl_end, "ERROR: Could not write LDT\n", {}});
  size_t written = o.head.size();
  for (int t = 1; t <= 7; ++t) {
    if (!v.lay.present(t)) continue;
    size_t size = v.lay.grplen[t] * PARA;
    size_t at = v.hdrbase + v.lay.grppos[t];
    if (size > 0) {
      if (v.module.size() < at + size) fatal(v, "ERROR: Could not read old bucket\n");
      o.spans.push_back({v.module.data() + at, size, bucket_error, {}});
      written += size;
    }
    if (t == symbucket) {
      written += o.symtail.size();
      o.spans.push_back({o.symtail.data(), o.symtail.size(), bucket_error,
                         vt::format("\nThe SYM was merged into %s at file offset %08lX\n",
                                    bucket_name(static_cast<unsigned>(t)), static_cast<unsigned long>(written))});
      v.symopen = false;
      v.appendflag = false;
    }
  }
  o.spans.push_back({reinterpret_cast<const unsigned char*>(o.stamp.data()), o.stamp.size(), bucket_error, {}});

  std::FILE* f = std::fopen(v.pstname.c_str(), "wb");
  if (!f) fatal(v, "ERROR: Could not open %s\n", v.pstname.c_str());
  v.scratch_made = true;
  for (const Span& sp : o.spans) {
    if (std::fwrite(sp.data, 1, sp.len, f) != sp.len || std::fflush(f) != 0) {
      std::fclose(f);
      fatal(v, "%s", sp.error);
    }
    if (!sp.note.empty()) out(v, "%s", sp.note.c_str());
  }
  if (std::fclose(f) != 0) fatal(v, "%s", bucket_error);
}

void replace_module(Vanterik& v) {
  if (!vt::replace_file(v.pstname, v.modname)) fatal(v, "ERROR: Cannot rename file\n");
  v.scratch_made = false;
}

void stamp_and_append(Vanterik& v, const Output& written) {
  std::string stamp = "\n" + asctime_text(v.runtime) + "\n";
  std::FILE* s = std::fopen(v.symname.c_str(), "ab");
  bool stamped = s && std::fwrite(stamp.data(), 1, stamp.size(), s) == stamp.size();
  if (s && std::fclose(s) != 0) stamped = false;
  if (!stamped) out(v, "Can't open %s\n", v.symname.c_str());
  if (!v.appendflag) return;

  std::FILE* m = std::fopen(v.modname.c_str(), "ab");
  bool modok = m != nullptr;
  if (m) std::fclose(m);
  Bytes sym;
  bool symok = read_whole(v.symname, "rb", sym);
  if (modok && symok) {
    // The module with its SYM replaces the module in one step, as above.
    modok = write_whole(v.pstname, written.spans, sym) && vt::replace_file(v.pstname, v.modname);
    if (!modok) std::remove(v.pstname.c_str());
  }
  if (!modok) out(v, "\nerr 1\nERROR: Combine failed. Could not open  %s", v.modname.c_str());
  if (!symok) out(v, "\nerr 2\nERROR: Combine failed. Could not open  %s", v.symname.c_str());
  if (modok && symok) out(v, "Combine of  %s  and  %s  completed.", v.modname.c_str(), v.symname.c_str());
}

}  // namespace vanterik
