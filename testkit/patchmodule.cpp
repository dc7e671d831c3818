#include "testkit/patchmodule.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace testkit {

namespace {
const Bytes kTrapT = {0x7E, 0x02, 0x33, 0xC0, 0xC1, 0xE0, 0x04, 0x8B, 0xD8, 0xB8, 0x40, 0x40, 0x89};
const Bytes kTrapC = {0x03, 0xD8, 0x2E, 0x8B, 0x0F, 0x81, 0xF9, 0x78, 0x78, 0x75, 0x16, 0x53, 0xBB};
const Bytes kDataT = {0x00, 0x50, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x50};
const Bytes kDataC = {0x00, 0x50, 0x41, 0x00, 0x00, 0x40, 0x99, 0x92, 0x50, 0x58, 0x02, 0x23};
}  // namespace

PatchModule::PatchModule(const PatchModuleLayout& layout)
    : image_(layout.size, layout.fill), base_(layout.zero_prefix ? 128 : 0), ldt_paragraphs_(layout.ldt_paragraphs) {
  if (layout.size < static_cast<size_t>(base_ + 128)) throw std::invalid_argument("module smaller than its header");
  std::fill(image_.begin(), image_.begin() + base_ + 128, 0);
  // Descriptor 0: a code group of one paragraph, so the header is never all zero.
  put(base_ + 0, {0x01, 0x01, 0x00});
  put(base_ + 72, {layout.srtl_type});
  put(base_ + 82, {static_cast<uint8_t>(layout.ldt_paragraphs), static_cast<uint8_t>(layout.ldt_paragraphs >> 8)});
}

void PatchModule::put(long pos, const Bytes& bytes) {
  if (pos < 0 || static_cast<size_t>(pos) + bytes.size() > image_.size()) throw std::out_of_range("planted past the module's end");
  std::copy(bytes.begin(), bytes.end(), image_.begin() + pos);
}

void PatchModule::put_text(long pos, const std::string& text) { put(pos, Bytes(text.begin(), text.end())); }

void PatchModule::trap_site(char env, long pos, const Bytes& slot) {
  put(pos, env == 'T' ? kTrapT : kTrapC);
  if (env == 'C') put(pos + 7, slot);
}

void PatchModule::missing_resume(char env, long pos, const Bytes& flag) {
  put(pos, env == 'T' ? kDataT : kDataC);
  put(env == 'T' ? pos + 168 : pos - 22, flag);
}

void PatchModule::trace_size(char env, long pos, uint16_t entries) {
  put(pos, env == 'T' ? kDataT : kDataC);
  put(env == 'T' ? pos + 12 : pos - 6, {static_cast<uint8_t>(entries), static_cast<uint8_t>(entries >> 8)});
}

void PatchModule::level(long pos, int cbrt) {
  char text[16];
  std::snprintf(text, sizeof text, "CBRT%03d", cbrt);
  put_text(pos, text);
}

void PatchModule::write(const std::string& path) const { write_file(path, image_); }

}  // namespace testkit
