// The RS-485 serial driver's records, as stored in the dump: the device
// channel buffer, the received-data record and the trace ring's entries.
#pragma once
#include <cstdint>

#include "common/le.h"

namespace morvik {

// Device channel buffer, 257 bytes: control (7), Message_Sent (1),
// Xmit_Data (247), crc (2).
struct Device_Channel_Buffer_s {
  static constexpr int kSize = 257;
  static constexpr int kSideAt = 2;         // within control
  static constexpr uint8_t kMpost = 0x11;  // that byte on the mpost side
};

// The received-data record, 287 bytes at a unit's address + 0x11D.
struct data_received_s {
  static constexpr int kSize = 287;
  static constexpr uint32_t kAt = 0x11D;
  static constexpr int kDataSize = 246;
  // 16-bit fields are sign-extended when printed, as they always were.
  int16_t appl_read_size = 0;
  int16_t last_write_size = 0;
  int16_t opened = 0;
  uint32_t return_error = 0;
  int16_t read_in_progress = 0;
  int16_t wait_in_progress = 0;
};

inline data_received_s decode_data_received(const unsigned char* p) {
  data_received_s d;
  d.appl_read_size = static_cast<int16_t>(vt::le16(p + 262));
  d.last_write_size = static_cast<int16_t>(vt::le16(p + 264));
  d.opened = static_cast<int16_t>(vt::le16(p + 266));
  d.return_error = vt::le32(p + 270);
  d.read_in_progress = static_cast<int16_t>(vt::le16(p + 276));
  d.wait_in_progress = static_cast<int16_t>(vt::le16(p + 278));
  return d;
}

// One entry of the driver's trace ring, 16 bytes; 32 entries make the ring.
struct PIRATrc_s {
  static constexpr int kSize = 16;
  static constexpr int kEntries = 32;
  uint8_t port = 0;
  uint8_t address = 0;
  uint8_t type = 0;   // 1 command, 2 message, 4 timer, 5 control lines, 6 pipe flushed
  uint16_t code = 0;  // command or message
  uint16_t data[4] = {};
};

inline PIRATrc_s decode_PIRATrc(const unsigned char* p) {
  PIRATrc_s t;
  t.port = p[0];
  t.address = p[1];
  t.type = p[2];
  t.code = vt::le16(p + 6);
  for (int i = 0; i < 4; ++i) t.data[i] = vt::le16(p + 8 + 2 * i);
  return t;
}

}  // namespace morvik
