#include "morvik/symbols/dumpfunc_symfile.h"

#include <algorithm>
#include <string>

#include "morvik/addrspace/ldt.h"
#include "morvik/symbols/readcdv.h"

namespace morvik {

uint32_t get_symbol_address(Session& s, const char* symname) {
  if (s.symfile.is_open()) {
    SymTokens tokens(s.symfile);
    std::string_view t;
    // Tokens two at a time: a hexadecimal offset and a name, whatever the
    // section; longer tokens are cut to the system's buffers.
    while (tokens.next(t, 7)) {
      std::string hex(t);
      if (!tokens.next(t, 159)) break;
      if (t == symname) return (static_cast<uint32_t>(s.DS_selector) << 16) + Hex_to_Decimal(hex.c_str());
    }
    s.outfile.print("\n\t  Cannot find symbol '%s' in the SYM file.\n", symname);
    return 0;
  }
  if (s.cdvfile.is_open()) {
    const listitem* item = findCDVName(s, symname);
    if (item && isSelector(s, static_cast<uint16_t>(static_cast<uint32_t>(item->addr) >> 16)) == kLdtData)
      return static_cast<uint32_t>(item->addr);
    s.outfile.print("\n\t  Cannot find symbol '%s' in the CDV file.\n", symname);
    s.outfile.flush();
    return 0;
  }
  return 0;
}

uint32_t Hex_to_Decimal(const char* cptr) {
  uint32_t value = 0;
  for (; *cptr; ++cptr) {
    unsigned c = static_cast<unsigned char>(*cptr);
    value = value * 16 + (c >= 'A' ? c - 55 : c & 0xF);
  }
  return value;
}

bool sym_pair_named(Session& s, std::string_view name) {
  SymTokens tokens(s.symfile);
  std::string_view t;
  while (tokens.next(t, 159) && tokens.next(t, 159))
    if (t == name) return true;
  return false;
}

namespace {

constexpr size_t kBlock = 64 * 1024;

// Bytes by what they do to a token: 1 white space ends it ("%s" stops
// there), 2 a NUL ends the part a C string keeps; 0 any other byte.
struct ByteKinds {
  unsigned char kind[256] = {};
  constexpr ByteKinds() {
    for (unsigned char c : {' ', '\t', '\n', '\r', '\v', '\f'}) kind[c] = 1;
    kind[0] = 2;
  }
};
constexpr ByteKinds kKinds;
bool is_space(char c) { return kKinds.kind[static_cast<unsigned char>(c)] == 1; }

// The end of a token from `at` in [p, end): the first white space or `end`;
// `kept` becomes the length before its first NUL (or up to the end).
size_t token_end(const char* p, size_t at, size_t end, size_t& kept) {
  const size_t start = at;
  while (at < end && kKinds.kind[static_cast<unsigned char>(p[at])] == 0) ++at;
  kept = at - start;
  while (at < end && !is_space(p[at])) ++at;
  return at;
}

}  // namespace

bool SymTokens::more() {
  buf_.resize(kBlock);
  size_t got = f_.pread(next_, buf_.data(), buf_.size());
  buf_.resize(got);
  next_ += got;
  at_ = 0;
  return got > 0;
}

bool SymTokens::next(std::string_view& token, size_t max) {
  for (;;) {
    while (at_ < buf_.size() && is_space(buf_[at_])) ++at_;
    if (at_ < buf_.size()) break;
    if (!more()) return false;
  }
  const size_t start = at_;
  size_t kept = 0;
  at_ = token_end(buf_.data(), at_, buf_.size(), kept);
  if (at_ < buf_.size()) {
    token = std::string_view(buf_.data() + start, std::min(kept, max));
    return true;
  }
  // The token goes on in the next block: keep what is wanted of it.
  long_.assign(buf_.data() + start, std::min(at_ - start, max));
  while (more()) {
    size_t end = 0;
    while (end < buf_.size() && !is_space(buf_[end])) ++end;
    if (long_.size() < max) long_.append(buf_.data(), std::min(end, max - long_.size()));
    at_ = end;
    if (end < buf_.size()) break;
  }
  token = std::string_view(long_);
  token = token.substr(0, token.find('\0'));
  return true;
}

}  // namespace morvik
