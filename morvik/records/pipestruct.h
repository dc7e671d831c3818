// The kernel's pipe control block, as stored in the dump. Pipes and
// semaphores share the one chain and the one layout.
#pragma once
#include <cstdint>
#include <string>

#include "common/le.h"

namespace morvik {

// Pipe control block, 60 bytes; pointers are system selector:offsets.
struct pipestruct {
  static constexpr int kSize = 60;
  static constexpr uint16_t kSemaphore = 0x0008;  // in pi_flags
  uint32_t pi_link = 0;  // next block, 0 at the end
  unsigned char pi_name[10] = {};
  uint16_t pi_bufsiz = 0;
  uint16_t pi_recsiz = 0;
  uint16_t pi_secur = 0;
  uint8_t pi_user = 0;  // a semaphore's creator
  uint8_t pi_group = 0;
  uint16_t pi_flags = 0;
  uint32_t pi_of = 0;
  uint32_t pi_buffer = 0;
  uint32_t pi_reading = 0;
  uint32_t pi_writing = 0;
  uint32_t pi_id = 0;
  uint16_t pi_front = 0;  // read position
  uint16_t pi_cnt = 0;    // bytes in the pipe
  uint32_t pi_dle = 0;
  uint32_t pi_owner = 0;  // a semaphore's holder
  uint32_t pi_vaddr = 0;

  // The name as text, never longer than its 10 bytes.
  std::string name() const {
    size_t n = 0;
    while (n < sizeof pi_name && pi_name[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(pi_name), n);
  }
};

inline pipestruct decode_pipestruct(const unsigned char* p) {
  pipestruct b;
  b.pi_link = vt::le32(p + 0);
  for (size_t i = 0; i < sizeof b.pi_name; ++i) b.pi_name[i] = p[4 + i];
  b.pi_bufsiz = vt::le16(p + 14);
  b.pi_recsiz = vt::le16(p + 16);
  b.pi_secur = vt::le16(p + 18);
  b.pi_user = p[20];
  b.pi_group = p[21];
  b.pi_flags = vt::le16(p + 22);
  b.pi_of = vt::le32(p + 24);
  b.pi_buffer = vt::le32(p + 28);
  b.pi_reading = vt::le32(p + 32);
  b.pi_writing = vt::le32(p + 36);
  b.pi_id = vt::le32(p + 40);
  b.pi_front = vt::le16(p + 44);
  b.pi_cnt = vt::le16(p + 46);
  b.pi_dle = vt::le32(p + 48);
  b.pi_owner = vt::le32(p + 52);
  b.pi_vaddr = vt::le32(p + 56);
  return b;
}

}  // namespace morvik
