// The kernel's device drivers in a built dump: the driver list ("dvrlst"),
// console drivers with their trees of virtual consoles and screens, the
// pipe chain ("pipedle") with pipes and semaphores, and instances of the
// RS-485 serial driver with the driver's own BSX file.
//
// Everything lives in system memory allocated from the DumpBuilder, so the
// same calls build all five variants; addresses are system selector:offset.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "testkit/dumpbuilder.h"

namespace testkit {

// One screen: its size and its rows of text (blank padded to the width;
// rows not given are blank).
struct ScreenSpec {
  uint16_t columns = 80;
  uint16_t rows = 25;
  std::vector<std::string> lines;
  uint8_t attribute = 0x07;
};

// A virtual console and the ones below it.
struct VconSpec {
  ScreenSpec screen;
  std::vector<VconSpec> children;
};

// A pipe, or a semaphore (which has no buffer).
struct PipeSpec {
  std::string name;  // up to 10 characters
  uint16_t bufsiz = 64;
  Bytes data;  // the buffer's first bytes; the rest is zero
  uint16_t front = 0, cnt = 0;
  bool semaphore = false;
  uint8_t user = 0;    // a semaphore's creator
  uint32_t owner = 0;  // a semaphore's holder
};

// One event of the serial driver's trace ring.
struct TraceEvent {
  uint8_t port = 0, address = 0, type = 0;
  uint16_t code = 0;
  uint16_t data[4] = {};
};

// A unit of the serial driver with a device channel buffer.
struct SerialUnit {
  int unit = 0;      // 0 to 7
  Bytes channel;     // the channel buffer's first bytes (257 at most)
  Bytes received;    // the received data's first bytes (246 at most)
  int16_t read_size = 0, write_size = 0, opened = 0;
  uint32_t return_error = 0;
  int16_t read_in_progress = 0, wait_in_progress = 0;
  uint32_t pir1dcom = 0;  // shown only
};

struct SerialSpec {
  std::string name = "OMKPIR1";  // the driver list entry
  std::vector<SerialUnit> units;
  std::vector<TraceEvent> trace;  // ring slots from 0 (32 at most)
  int16_t index = 0;              // the oldest slot
};

// Where a serial driver instance was built.
struct SerialInstance {
  uint32_t entry = 0;  // the driver list entry
  uint32_t lpb = 0;    // its parameter block
  uint32_t data = 0;   // the driver's data (page-aligned)
  uint32_t unit[8] = {};  // each unit's device channel buffer, 0 for none
};

// Offsets of the serial driver's symbols within an instance's data.
constexpr uint16_t kPirsdcomAt = 0x000;
constexpr uint16_t kPir1dcomAt = 0x020;
constexpr uint16_t kTraceAt = 0x040;

class DeviceBuilder {
 public:
  explicit DeviceBuilder(DumpBuilder& b) : b_(b) {}

  // Appends an entry to the driver list (the first makes "dvrlst");
  // returns its address.
  uint32_t add_driver(const std::string& name, uint32_t ctrl1 = 0, uint32_t lpb = 0);
  const std::vector<uint32_t>& drivers() const { return drivers_; }
  // Rewrites an entry's dl_next (to damage the list).
  void set_next(uint32_t entry, uint32_t next) { b_.put_system32(entry, next); }

  // A console driver with its console block and a tree of virtual
  // consoles; returns the virtual consoles' addresses in tree order.
  std::vector<uint32_t> add_console(const std::string& driver, const std::vector<VconSpec>& roots);
  // Rewrites a virtual console's parent, child and next sibling.
  void set_links(uint32_t vcon, uint32_t parent, uint32_t child, uint32_t order);
  // Rewrites a virtual console's size word.
  void set_size(uint32_t vcon, uint16_t columns, uint16_t rows);

  // The pipe chain at "pipedle", in the order given; returns the blocks'
  // addresses.
  std::vector<uint32_t> add_pipes(const std::vector<PipeSpec>& pipes);
  // Rewrites a block's pi_link (to damage the chain).
  void set_pipe_link(uint32_t block, uint32_t next) { b_.put_system32(block, next); }

  // An instance of the serial driver: its driver list entry, parameter
  // block and data.
  SerialInstance add_serial(const SerialSpec& cfg);
  // The driver's BSX file (symbols at the k...At offsets), with or without
  // the optional "PIRATRtime".
  static Bytes serial_bsx(bool with_time = true);

 private:
  uint32_t vcon(const ScreenSpec& screen);
  void link_tree(const std::vector<VconSpec>& nodes, uint32_t parent, std::vector<uint32_t>& order);

  DumpBuilder& b_;
  std::vector<uint32_t> drivers_;
};

}  // namespace testkit
