// Application data symbols by name, from the SYM or the CDV file, and the
// token reading the SYM file's readers share.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/binary_file.h"
#include "morvik/state/session.h"

namespace morvik {

// An application data symbol's selector:offset, or 0.
uint32_t get_symbol_address(Session& s, const char* symname);
// Hexadecimal text (upper-case digits) to a value.
uint32_t Hex_to_Decimal(const char* cptr);

// True when a pair of the SYM file (read from its start two tokens at a
// time, whatever the section) has the name `name`.
bool sym_pair_named(Session& s, std::string_view name);

// The elements of `read` (in file order) by the number `key` gives each,
// equal keys in file order: a stable sort that moves each element once.
template <typename T, typename Key>
std::vector<T> in_order(std::deque<T>& read, Key key) {
  std::vector<std::pair<uint64_t, uint32_t>> order(read.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = {key(read[i]), i};
  std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<T> sorted;
  sorted.reserve(read.size());
  for (const auto& o : order) sorted.push_back(std::move(read[o.second]));
  return sorted;
}

// A SYM file's white-space-delimited tokens from a file position on, read a
// block at a time (the file may be large; its tokens are short).
class SymTokens {
 public:
  explicit SymTokens(const vt::BinaryFile& f, uint64_t from = 0) : f_(f), next_(from) {}
  // The next token, cut to `max` characters (the rest of a longer token is
  // passed over, so the pairs stay in step) and at a NUL byte. False at the
  // end of the file. The view lasts until the next call.
  bool next(std::string_view& token, size_t max);

 private:
  bool more();
  const vt::BinaryFile& f_;
  uint64_t next_;          // file position of the next block
  std::vector<char> buf_;  // the current block
  size_t at_ = 0;
  std::string long_;  // a token that crosses the end of a block
};

}  // namespace morvik
