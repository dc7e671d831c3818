#include "testkit/demo_runtime.h"

#include "testkit/runtimebuilder.h"

namespace testkit {

namespace {

// The places the demo's runtime may use: the version record in the code's
// last page, the runtime's data in 0x0800-0x3FFF of the data segment.
constexpr uint16_t kVersionAt = 0x3F00;

}  // namespace

void add_demo_runtime(DumpBuilder& b, int proc, uint16_t code, uint16_t /*data*/, bool terminal) {
  b.put(proc, uint32_t{code} << 16 | kVersionAt,
        version_record(terminal ? kDemoTerminalLevel : kDemoControllerLevel, "05/14/09"));
}

}  // namespace testkit
