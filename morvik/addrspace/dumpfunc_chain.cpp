#include "morvik/addrspace/dumpfunc_chain.h"

#include <vector>

#include "common/console.h"
#include "common/le.h"
#include "morvik/addrspace/dumpfunc_sysmem.h"
#include "morvik/addrspace/ldt.h"

namespace morvik {

namespace {

using Visit = std::function<std::optional<uint32_t>(uint32_t addr, const unsigned char* rec)>;

// The one loop of every walk: `read` fills a record and says how it went.
template <typename Read>
ChainResult walk_records(ChainGuard& guard, uint32_t head, size_t size, size_t bound, Read read, const Visit& visit) {
  std::vector<unsigned char> rec(size);
  uint32_t addr = head;
  while (addr != 0) {
    if (guard.seen.size() >= bound) return {ChainEnd::Bound, addr, bound};
    if (!guard.seen.insert(addr).second) return {ChainEnd::Cycle, addr, bound};
    ChainEnd e = read(addr, rec.data());
    if (e != ChainEnd::Done) return {e, addr, bound};
    std::optional<uint32_t> next = visit(addr, rec.data());
    if (!next) return {ChainEnd::Stopped, addr, bound};
    addr = *next;
  }
  return {ChainEnd::Done, 0, bound};
}

}  // namespace

ChainResult walk_system_records(Session& s, ChainGuard& guard, uint32_t head, size_t size, const Visit& visit,
                                size_t bound) {
  auto read = [&](uint32_t addr, unsigned char* rec) {
    return read_walk_record(s, addr, rec, size) == size ? ChainEnd::Done : ChainEnd::Unreadable;
  };
  return walk_records(guard, head, size, bound, read, visit);
}

ChainResult walk_system_chain(Session& s, uint32_t head, size_t size, size_t link_at,
                              const std::function<bool(uint32_t addr, const unsigned char* rec)>& visit,
                              size_t bound) {
  ChainGuard guard;
  return walk_system_records(
      s, guard, head, size,
      [&](uint32_t addr, const unsigned char* rec) -> std::optional<uint32_t> {
        if (!visit(addr, rec)) return std::nullopt;
        return vt::le32(rec + link_at);
      },
      bound);
}

ChainResult walk_application_records(AppMemory& mem, ChainGuard& guard, uint32_t head, size_t size,
                                     const Visit& visit, size_t bound) {
  auto read = [&](uint32_t addr, unsigned char* rec) {
    if (isValidSelector(mem.session(), addr) != kLdtData) return ChainEnd::BadLink;
    return mem.read_all(addr, rec, size) ? ChainEnd::Done : ChainEnd::Unreadable;
  };
  return walk_records(guard, head, size, bound, read, visit);
}

bool walk_ring(size_t slots, size_t oldest, const std::function<void(size_t slot)>& visit) {
  if (oldest >= slots) return false;
  for (size_t i = 0; i < slots; ++i) visit((oldest + i) % slots);
  return true;
}

std::string chain_note(const ChainResult& r, const std::string& what, const char* record) {
  unsigned long at = r.at;
  switch (r.end) {
    case ChainEnd::Cycle:
      return vt::format("*** %s: the %s at %08lX comes round again; the walk stops here.", what.c_str(), record, at);
    case ChainEnd::Bound:
      return vt::format("*** %s: more than %lu %ss; the walk stops here.", what.c_str(),
                        static_cast<unsigned long>(r.bound), record);
    case ChainEnd::Unreadable:
      return vt::format("*** %s: the %s at %08lX is not in the dump; the walk stops here.", what.c_str(), record, at);
    case ChainEnd::BadLink:
      return vt::format("*** %s: the link %08lX is not an address of the application's data; the walk stops here.",
                        what.c_str(), at);
    default: return "";
  }
}

}  // namespace morvik
