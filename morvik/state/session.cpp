#include "morvik/state/session.h"

namespace morvik {

GDT_entry AddressSpace::gdt_entry(size_t slot) const {
  if (slot >= gdt_slots()) return GDT_entry{};
  return decode_GDT_entry(gdtptr.data() + slot * GDT_entry::kSize);
}

ldt_s AddressSpace::ldt_entry(size_t slot) const {
  if (slot >= ldt_slots()) return ldt_s{};
  return decode_ldt_s(ldtptr.data() + slot * ldt_s::kSize);
}

}  // namespace morvik
