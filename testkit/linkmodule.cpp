#include "testkit/linkmodule.h"

#include <stdexcept>

namespace testkit {

LinkGroup link_group(uint8_t type, uint16_t paras) {
  LinkGroup g;
  g.type = type;
  g.data.assign(static_cast<size_t>(paras) * 16, 0);
  return g;
}

void poke16(Bytes& data, size_t offset, uint16_t value) {
  data.at(offset) = static_cast<unsigned char>(value);
  data.at(offset + 1) = static_cast<unsigned char>(value >> 8);
}

namespace {

void put_desc(Bytes& h, int n, uint8_t type, uint16_t len, uint16_t base, uint16_t min, uint16_t max) {
  size_t at = static_cast<size_t>(9 * n);
  h[at] = type;
  poke16(h, at + 1, len);
  poke16(h, at + 3, base);
  poke16(h, at + 5, min);
  poke16(h, at + 7, max);
}

void put_fixups(Bytes& out, const std::vector<LinkFixup>& list) {
  for (const LinkFixup& f : list) {
    out.push_back(f.kind);
    out.push_back(static_cast<unsigned char>(f.para));
    out.push_back(static_cast<unsigned char>(f.para >> 8));
    out.push_back(f.off);
  }
  out.insert(out.end(), 4, 0);
}

}  // namespace

Bytes LinkModule::build() const {
  if (groups.size() > 8) throw std::invalid_argument("at most eight groups");
  Bytes header(128, 0);
  Bytes body;

  if (!srtls.empty() || srtl_paras >= 0) {
    Bytes table(2 + 18 * srtls.size(), 0);
    poke16(table, 0, static_cast<uint16_t>(srtls.size()));
    for (size_t k = 0; k < srtls.size(); ++k) {
      unsigned char* e = table.data() + 2 + 18 * k;
      std::string name = srtls[k].name;
      name.resize(8, ' ');
      for (size_t i = 0; i < 8; ++i) e[i] = static_cast<unsigned char>(name[i]);
      for (size_t i = 8; i < 14; ++i) e[i] = static_cast<unsigned char>(0xA0 + k + i);  // carried bytes
      e[14] = srtls[k].flags;
      e[15] = 0x5A;
      e[16] = 0xEE;  // not carried
      e[17] = 0xEE;
    }
    size_t paras = srtl_paras >= 0 ? static_cast<size_t>(srtl_paras) : (table.size() + 15) / 16;
    table.resize(paras * 16, 0);
    put_desc(header, 8, 0xFF, static_cast<uint16_t>(paras), 0, static_cast<uint16_t>(paras), static_cast<uint16_t>(paras));
    body.insert(body.end(), table.begin(), table.end());
  }

  for (size_t n = 0; n < groups.size(); ++n) {
    const LinkGroup& g = groups[n];
    Bytes data = g.data;
    data.resize((data.size() + 15) / 16 * 16, 0);
    auto len = static_cast<uint16_t>(data.size() / 16);
    put_desc(header, static_cast<int>(n), g.type, len, g.base,
             static_cast<uint16_t>(g.minimum < 0 ? len : g.minimum), g.maximum);
    body.insert(body.end(), data.begin(), data.end());
  }

  size_t fixat = (128 + body.size() + 127) / 128 * 128;
  body.resize(fixat - 128, 0);
  put_fixups(body, fixups);
  for (const LinkSrtl& s : srtls) put_fixups(body, s.fixups);

  poke16(header, 125, static_cast<uint16_t>(fixat / 128));
  header[127] = fixup_flag;
  for (const auto& [at, value] : header_bytes) header.at(at) = value;

  Bytes out(zero_prefix ? 128 : 0, 0);
  out.insert(out.end(), header.begin(), header.end());
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace testkit
