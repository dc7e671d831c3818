#include "testkit/cdvfile.h"

#include <stdexcept>

#include "common/le.h"

namespace testkit {

namespace {

void add16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<unsigned char>(v));
  b.push_back(static_cast<unsigned char>(v >> 8));
}

void add32(Bytes& b, uint32_t v) {
  add16(b, static_cast<uint16_t>(v));
  add16(b, static_cast<uint16_t>(v >> 16));
}

void add_name(Bytes& b, const std::string& name) {
  if (name.size() > 255) throw std::runtime_error("a CDV name holds at most 255 bytes");
  b.push_back(static_cast<unsigned char>(name.size()));
  b.insert(b.end(), name.begin(), name.end());
}

// A record with its length byte in front.
Bytes with_length(const Bytes& body) {
  if (body.size() > 255) throw std::runtime_error("a CDV record holds at most 255 bytes");
  Bytes r{static_cast<unsigned char>(body.size())};
  r.insert(r.end(), body.begin(), body.end());
  return r;
}

}  // namespace

Bytes cdv_procedure(uint16_t segoff, uint16_t type, uint16_t length, const std::string& name) {
  Bytes b{1};
  add16(b, segoff);
  add16(b, type);
  add16(b, length);
  add16(b, 0);  // prolen
  add16(b, 0);  // bodlen
  b.insert(b.end(), 3, 0);  // pad
  add_name(b, name);
  return with_length(b);
}

Bytes cdv_local(int16_t frame_offset, uint16_t type, const std::string& name) {
  Bytes b{4};
  add16(b, static_cast<uint16_t>(frame_offset));
  add16(b, type);
  add_name(b, name);
  return with_length(b);
}

Bytes cdv_static(uint32_t addr, uint16_t type, const std::string& name) {
  Bytes b{5};
  add32(b, addr);
  add16(b, type);
  add_name(b, name);
  return with_length(b);
}

Bytes cdv_record(uint8_t rectype, const Bytes& body) {
  Bytes b{rectype};
  b.insert(b.end(), body.begin(), body.end());
  return with_length(b);
}

CdvFile& CdvFile::module(uint16_t nfile, uint16_t seg, uint16_t offset, uint32_t length, const std::string& name) {
  Bytes b;
  add16(b, seg);
  add16(b, offset);
  add32(b, length);
  add32(b, 0);
  add_name(b, name);
  return subsection(1, nfile, b);
}

CdvFile& CdvFile::publics(uint16_t nfile, const std::vector<CdvPublic>& records) {
  Bytes b;
  for (const CdvPublic& p : records) {
    add32(b, p.addr);
    add16(b, p.type);
    add_name(b, p.name);
  }
  return subsection(2, nfile, b);
}

CdvFile& CdvFile::symbols(uint16_t nfile, const std::vector<Bytes>& records) {
  Bytes b;
  for (const Bytes& r : records) b.insert(b.end(), r.begin(), r.end());
  return subsection(4, nfile, b);
}

CdvFile& CdvFile::lines(uint16_t nfile, const std::string& name,
                        const std::vector<std::pair<uint16_t, uint16_t>>& entries) {
  Bytes b;
  add_name(b, name);
  add16(b, static_cast<uint16_t>(entries.size()));
  for (const auto& [line, offset] : entries) {
    add16(b, line);
    add16(b, offset);
  }
  return subsection(5, nfile, b);
}

CdvFile& CdvFile::subsection(uint8_t id, uint16_t nfile, const Bytes& content, std::optional<uint16_t> len) {
  if (content.size() > 0xFFFF && !len) throw std::runtime_error("a CDV subsection holds at most 65535 bytes");
  subs_.push_back(Sub{id, nfile, content, len});
  return *this;
}

Bytes CdvFile::bytes() const {
  Bytes out(tag.begin(), tag.end());
  out.resize(8, 0);
  Bytes dir;
  add16(dir, directory_count.value_or(static_cast<uint16_t>(subs_.size())));
  for (const Sub& s : subs_) {
    dir.push_back(s.id);
    dir.push_back(0);
    add16(dir, s.nfile);
    add32(dir, static_cast<uint32_t>(out.size()));
    add16(dir, s.len.value_or(static_cast<uint16_t>(s.content.size())));
    out.insert(out.end(), s.content.begin(), s.content.end());
  }
  vt::put32(out.data() + 4, static_cast<uint32_t>(out.size()));
  out.insert(out.end(), dir.begin(), dir.end());
  return out;
}

}  // namespace testkit
