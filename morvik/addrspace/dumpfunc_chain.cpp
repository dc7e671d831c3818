#include "morvik/addrspace/dumpfunc_chain.h"

#include <set>
#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc_sysmem.h"

namespace morvik {

ChainResult walk_system_chain(Session& s, uint32_t head, size_t size, size_t link_at,
                              const std::function<bool(uint32_t addr, const unsigned char* rec)>& visit) {
  std::set<uint32_t> seen;
  std::vector<unsigned char> rec(size);
  uint32_t addr = head;
  while (addr != 0) {
    if (seen.size() == kChainBound) return {ChainEnd::Bound, addr};
    if (!seen.insert(addr).second) return {ChainEnd::Cycle, addr};
    if (read_walk_record(s, addr, rec.data(), size) != size) return {ChainEnd::Unreadable, addr};
    if (!visit(addr, rec.data())) return {ChainEnd::Stopped, addr};
    addr = vt::le32(rec.data() + link_at);
  }
  return {};
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
