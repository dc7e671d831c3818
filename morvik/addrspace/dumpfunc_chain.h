// The bounded walk of linked kernel records: every chain in a dump (process
// lists, memory chains, consoles, pipes, free lists, trace rings) is walked
// here, so that a damaged one ends with a note instead of a hang.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "morvik/state/session.h"

namespace morvik {

// No chain in a dump is longer than this; a longer one is damaged.
constexpr size_t kChainBound = 4096;

enum class ChainEnd { Done, Stopped, Cycle, Bound, Unreadable };

struct ChainResult {
  ChainEnd end = ChainEnd::Done;
  uint32_t at = 0;  // the descriptor where the walk was cut
};

// Walks records of `size` bytes linked by the 32-bit system address at
// `link_at`, from `head` to a 0 link. `visit` gets each record's address and
// bytes and returns false to stop. The walk is cut after kChainBound
// records, at a record already seen, and at one that is not in the dump
// (its address does not translate, or its bytes lie outside the file).
ChainResult walk_system_chain(Session& s, uint32_t head, size_t size, size_t link_at,
                              const std::function<bool(uint32_t addr, const unsigned char* rec)>& visit);
// The one-line note of a cut walk ("" when it was not cut), naming the chain.
std::string chain_note(const ChainResult& r, const std::string& what);

}  // namespace morvik
