// The demo application's runtime: the version record in its code and, for
// either runtime, its errors, sessions and saved errors.
#pragma once
#include <cstdint>

#include "testkit/dumpbuilder.h"

namespace testkit {

// The runtime level of the demo's terminal and controller runtimes.
constexpr int kDemoTerminalLevel = 64;
constexpr int kDemoControllerLevel = 629;
// Data offset of the runtime's SWI enable/disable trace in the demo.
constexpr uint16_t kDemoSwiTraceAt = 0x3000;

void add_demo_runtime(DumpBuilder& b, int proc, uint16_t code, uint16_t data, bool terminal);
// The controller runtime's data (data block at 0x232, the rest in
// 0x0800 .. 0x3FFF of the data segment).
void add_demo_controller_runtime(DumpBuilder& b, int proc, uint16_t code, uint16_t data);

}  // namespace testkit
