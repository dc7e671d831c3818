// The demo's SVC trace, open files and file operations trace: the
// application blocked in a READ of its journal, which the open files name.
#pragma once
#include <cstdint>
#include <vector>

#include "testkit/demo.h"

namespace testkit {

// `pipes` are the pipe chain's blocks; the first three are the application's.
void add_demo_svc(DumpBuilder& b, KernelBuilder& k, const DemoSpec& cfg, const DemoDump& d,
                  const std::vector<uint32_t>& pipes);

}  // namespace testkit
