// The bounded walk of linked records: every chain in a dump (process lists,
// memory chains, driver lists, console trees, pipes, trace rings, and the
// heap's segments and free lists in application memory) is walked here, so
// that a damaged one ends with a note instead of a hang.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "morvik/addrspace/dumpfunc_appmem.h"
#include "morvik/state/session.h"

namespace morvik {

// No chain in a dump is longer than this unless its walk names a bound of
// its own; a longer one is damaged.
constexpr size_t kChainBound = 4096;

enum class ChainEnd { Done, Stopped, Cycle, Bound, Unreadable, BadLink };

struct ChainResult {
  ChainEnd end = ChainEnd::Done;
  uint32_t at = 0;     // the record (or link) where the walk was cut
  size_t bound = 0;    // the walk's bound, for its note
};

// The records a walk has visited. A walk made in steps (the serial section
// takes one driver at a time) keeps one guard across its steps, so that a
// loop is caught across them too.
struct ChainGuard {
  std::set<uint32_t> seen;
};

// Walks records of `size` bytes linked by the 32-bit system address at
// `link_at`, from `head` to a 0 link. `visit` gets each record's address and
// bytes and returns false to stop. The walk is cut after `bound` records, at
// a record already seen, and at one that is not in the dump (its address
// does not translate, or its bytes lie outside the file).
ChainResult walk_system_chain(Session& s, uint32_t head, size_t size, size_t link_at,
                              const std::function<bool(uint32_t addr, const unsigned char* rec)>& visit,
                              size_t bound = kChainBound);

// The same walk where the visitor names each record's successor: 0 ends
// the walk, nothing stops it at this record (a tree walked in order, a walk
// resumed later with the same guard).
ChainResult walk_system_records(
    Session& s, ChainGuard& guard, uint32_t head, size_t size,
    const std::function<std::optional<uint32_t>(uint32_t addr, const unsigned char* rec)>& visit,
    size_t bound = kChainBound);

// The same walk over application memory, whose links are selector:offset
// addresses of the application's data: records are read through `mem`. A
// link that is not an address of application data (isValidSelector) cuts
// the walk as BadLink, a record not wholly in the dump or in its segment
// as Unreadable; nothing ends the run.
ChainResult walk_application_records(
    AppMemory& mem, ChainGuard& guard, uint32_t head, size_t size,
    const std::function<std::optional<uint32_t>(uint32_t addr, const unsigned char* rec)>& visit,
    size_t bound = kChainBound);

// Visits the slots of a ring of `slots` entries from the oldest to the last
// and then from the first up to the oldest. An oldest slot outside the ring
// visits nothing and returns false.
bool walk_ring(size_t slots, size_t oldest, const std::function<void(size_t slot)>& visit);

// The one-line note of a cut walk ("" when it was not cut), naming the chain
// and what its records are.
std::string chain_note(const ChainResult& r, const std::string& what, const char* record = "descriptor");

}  // namespace morvik
