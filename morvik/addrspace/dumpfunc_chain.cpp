#include "morvik/addrspace/dumpfunc_chain.h"

#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc_sysmem.h"

namespace morvik {

ChainResult walk_system_records(
    Session& s, ChainGuard& guard, uint32_t head, size_t size,
    const std::function<std::optional<uint32_t>(uint32_t addr, const unsigned char* rec)>& visit) {
  std::vector<unsigned char> rec(size);
  uint32_t addr = head;
  while (addr != 0) {
    if (guard.seen.size() >= kChainBound) return {ChainEnd::Bound, addr};
    if (!guard.seen.insert(addr).second) return {ChainEnd::Cycle, addr};
    if (read_walk_record(s, addr, rec.data(), size) != size) return {ChainEnd::Unreadable, addr};
    std::optional<uint32_t> next = visit(addr, rec.data());
    if (!next) return {ChainEnd::Stopped, addr};
    addr = *next;
  }
  return {};
}

ChainResult walk_system_chain(Session& s, uint32_t head, size_t size, size_t link_at,
                              const std::function<bool(uint32_t addr, const unsigned char* rec)>& visit) {
  ChainGuard guard;
  return walk_system_records(s, guard, head, size,
                             [&](uint32_t addr, const unsigned char* rec) -> std::optional<uint32_t> {
                               if (!visit(addr, rec)) return std::nullopt;
                               return vt::le32(rec + link_at);
                             });
}

bool walk_ring(size_t slots, size_t oldest, const std::function<void(size_t slot)>& visit) {
  if (oldest >= slots) return false;
  for (size_t i = 0; i < slots; ++i) visit((oldest + i) % slots);
  return true;
}

std::string chain_note(const ChainResult& r, const std::string& what) {
  unsigned long at = r.at;
  switch (r.end) {
    case ChainEnd::Cycle:
      return vt::format("*** %s: the descriptor at %08lX comes round again; the walk stops here.", what.c_str(), at);
    case ChainEnd::Bound:
      return vt::format("*** %s: more than %d descriptors; the walk stops here.", what.c_str(),
                        static_cast<int>(kChainBound));
    case ChainEnd::Unreadable:
      return vt::format("*** %s: the descriptor at %08lX is not in the dump; the walk stops here.", what.c_str(), at);
    default: return "";
  }
}

}  // namespace morvik
